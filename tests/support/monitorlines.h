#pragma once

#include "session/monitormodel.h"

// The monitor's lines as bytes, and the replies among them without "Reply: ".
inline QList<QByteArray> lines(const MonitorModel& m) {
    QList<QByteArray> out;
    for (int i = 0; i < m.count(); ++i)
        out.append(m.line(i));
    return out;
}

inline QList<QByteArray> replies(const MonitorModel& m) {
    QList<QByteArray> out;
    for (const QByteArray& line : lines(m))
        if (line.startsWith("Reply: "))
            out.append(line.mid(7));
    return out;
}
