#include "app/monitoraccessible.h"

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
