#include "settings/portsetting.h"

#include "app/mainsession.h"
#include "serial/portname.h"
#include "settings/configuration.h"

void loadSettings(MainSession& session) {
    session.setPortNumber(readIniValue(settingsSection, portKey, configPath()));
}

QString portSettingError(const QString& typed) {
    return resolvePortName(typed).error;
}
