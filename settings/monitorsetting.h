#pragma once

#include <QString>

// How many lines the communication monitor holds: key "monitorLines" of
// section "SETTINGS" in config.ini. Read only; the program never writes it.
struct MonitorLinesSetting {
    static constexpr int defaultLines = 100000;
    static constexpr int minLines = 1000;
    static constexpr int maxLines = 10000000;

    int lines = defaultLines;
    // Why a value that is there was not used, else empty.
    QString problem;
};

MonitorLinesSetting readMonitorLinesSetting();
// The same rules applied to a value as read from the file (empty: missing).
MonitorLinesSetting monitorLinesFrom(const QString& value);
