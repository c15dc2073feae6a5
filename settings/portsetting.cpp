#include "settings/portsetting.h"

QString readPortSetting(QString* error) {
    return readIniValue(settingsSection, portKey, configPath(), error);
}

IniWriteResult writePortSetting(const QString& value) {
    return writeIniValue(settingsSection, portKey, value, configPath());
}
