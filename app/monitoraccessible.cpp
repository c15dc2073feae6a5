#include "app/monitoraccessible.h"

#include "app/monitorview.h"
#include "session/monitormodel.h"

MonitorAccessible::MonitorAccessible(MonitorView* view) : RowListAccessible(view) {}

void MonitorAccessible::install() {
    RowListAccessible::install<MonitorAccessible, MonitorView>();
}

MonitorView* MonitorAccessible::view() const {
    return static_cast<MonitorView*>(widget());
}

qint64 MonitorAccessible::rowOf(qint64 number) const {
    const qint64 row = number - view()->monitor().shownNumber(0);
    return row >= 0 && row < view()->rowCount() ? row : -1;
}

qint64 MonitorAccessible::shownRows() const {
    return view()->rowCount();
}

qint64 MonitorAccessible::numberAt(int index) const {
    return index < 0 || index >= view()->rowCount() ? -1 : view()->monitor().shownNumber(index);
}

QString MonitorAccessible::rowText(qint64 row) const {
    return view()->rowText(int(row));
}

QRect MonitorAccessible::rowRect(qint64 row) const {
    return view()->rowRect(int(row));
}

qint64 MonitorAccessible::rowAt(int y) const {
    return view()->rowAt(y);
}

bool MonitorAccessible::isSelected(qint64, qint64 row) const {
    return row == view()->selectedRow();
}

qint64 MonitorAccessible::currentRow() const {
    return view()->selectedRow();
}

void* MonitorAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return RowListAccessible::interface_cast(type);
}

QAccessibleInterface* MonitorAccessible::cellAt(int row, int column) const {
    return column == 0 ? child(row) : nullptr;
}

int MonitorAccessible::selectedCellCount() const {
    return view()->selectedRow() >= 0 ? 1 : 0;
}

QList<QAccessibleInterface*> MonitorAccessible::selectedCells() const {
    const int row = view()->selectedRow();
    return row >= 0 ? QList<QAccessibleInterface*>{child(row)} : QList<QAccessibleInterface*>{};
}

int MonitorAccessible::selectedRowCount() const {
    return selectedCellCount();
}

int MonitorAccessible::rowCount() const {
    return view()->rowCount();
}

QList<int> MonitorAccessible::selectedRows() const {
    const int row = view()->selectedRow();
    return row >= 0 ? QList<int>{row} : QList<int>{};
}

bool MonitorAccessible::isRowSelected(int row) const {
    return row >= 0 && row == view()->selectedRow();
}

bool MonitorAccessible::selectRow(int row) {
    if (row < 0 || row >= rowCount())
        return false;
    Q_EMIT view()->rowPicked(row);
    return true;
}
