#include "settings/portsetting.h"

#include "app/mainsession.h"
#include "settings/configuration.h"

void loadSettings(MainSession& session) {
    session.setPortNumber(readIniValue(settingsSection, portKey, configPath()));
}
