#include "settings/monitorsetting.h"

#include "settings/portsetting.h"

MonitorLinesSetting readMonitorLinesSetting() {
    return monitorLinesFrom(
        readIniValue(settingsSection, QStringLiteral("monitorLines"), configFile()));
}

MonitorLinesSetting monitorLinesFrom(const QString& value) {
    MonitorLinesSetting s;
    if (value.isEmpty())
        return s;
    bool ok = false;
    const qlonglong n = value.toLongLong(&ok);
    if (ok && n >= MonitorLinesSetting::minLines && n <= MonitorLinesSetting::maxLines) {
        s.lines = int(n);
        return s;
    }
    s.problem = QStringLiteral("monitorLines=%1 in %2 is not a whole number from %3 to %4; the "
                               "monitor keeps the last %5 lines.")
                    .arg(value, configPath())
                    .arg(MonitorLinesSetting::minLines)
                    .arg(MonitorLinesSetting::maxLines)
                    .arg(MonitorLinesSetting::defaultLines);
    return s;
}
