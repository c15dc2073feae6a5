#include "settings/portsetting.h"

QString readPortSetting(QString* error) {
    return readIniValue(settingsSection, portKey, configFile(), error);
}

IniWriteResult writePortSetting(const QString& value) {
    return saveConfigValue(settingsSection, portKey, value);
}
