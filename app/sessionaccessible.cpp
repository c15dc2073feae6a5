#include "app/sessionaccessible.h"

#include "app/sessionmonitorview.h"
#include "app/shownrows.h"

SessionAccessible::SessionAccessible(SessionMonitorView* view) : RowListAccessible(view) {}

void SessionAccessible::install() {
    RowListAccessible::install<SessionAccessible, SessionMonitorView>();
}

SessionMonitorView* SessionAccessible::view() const {
    return static_cast<SessionMonitorView*>(widget());
}

qint64 SessionAccessible::rowOf(qint64 number) const {
    return view()->shown().rowOf(number);
}

qint64 SessionAccessible::shownRows() const {
    return view()->shown().count();
}

qint64 SessionAccessible::numberAt(int index) const {
    return view()->shown().numberAt(index);
}

QString SessionAccessible::rowText(qint64 row) const {
    return view()->rowText(row);
}

QRect SessionAccessible::rowRect(qint64 row) const {
    return view()->rowRect(row);
}

qint64 SessionAccessible::rowAt(int y) const {
    return view()->rowAt(y);
}

bool SessionAccessible::isSelected(qint64 number, qint64) const {
    return view()->isSelected(number);
}

qint64 SessionAccessible::currentRow() const {
    return view()->currentRow();
}
