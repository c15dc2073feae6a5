#pragma once

#include <QByteArray>
#include <QString>

// A monitor line with the local time it was added, as the session log and
// the clipboard carry it: "YYYY-MM-DD HH:MM:SS.mmm  <line>", the line's
// control and non-ASCII bytes shown as visible escapes.
QString stampedLine(qint64 msecsSinceEpoch, const QByteArray& line);

// Just the time part, as a line's tooltip shows it.
QString lineTime(qint64 msecsSinceEpoch);
