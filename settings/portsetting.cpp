#include "settings/portsetting.h"

QString readPortSetting() {
    return readIniValue(settingsSection, portKey, configPath());
}

IniWriteResult writePortSetting(const QString& value) {
    return saveConfigValue(settingsSection, portKey, value);
}
