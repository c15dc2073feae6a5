#pragma once

#include <QtCore/qnamespace.h>
#include <QtGlobal>
#include <optional>

// Where a navigation key takes the current row of a list of count rows
// (current -1: none yet, where Up starts from the end; page: the rows a
// screenful holds). Nothing for a key that does not move; -1 with no rows.
inline std::optional<qint64> navigatedRow(int key, qint64 current, qint64 count, qint64 page) {
    qint64 row = 0;
    switch (key) {
    case Qt::Key_Up:
        row = current < 0 ? count - 1 : current - 1;
        break;
    case Qt::Key_Down:
        row = current + 1;
        break;
    case Qt::Key_PageUp:
        row = current < 0 ? count - 1 : current - page;
        break;
    case Qt::Key_PageDown:
        row = current + page;
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = count - 1;
        break;
    default:
        return std::nullopt;
    }
    return count > 0 ? qBound(qint64(0), row, count - 1) : qint64(-1);
}
