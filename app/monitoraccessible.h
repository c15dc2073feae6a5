#pragma once

#include "app/monitorview.h"
#include "app/rowlistaccessible.h"
#include "session/monitormodel.h"

// What screen readers get of the monitor: a list of its rows (see
// RowListAccessible), each read as its text, and a table of one column.
class MonitorAccessible : public RowListAccessible, public QAccessibleTableInterface {
public:
    explicit MonitorAccessible(MonitorView* view) : RowListAccessible(view) {}

    // Makes every MonitorView answer with this interface (once per program).
    static void install() { RowListAccessible::install<MonitorAccessible, MonitorView>(); }

    MonitorView* view() const { return static_cast<MonitorView*>(widget()); }
    qint64 rowOf(qint64 number) const override {
        const qint64 row = number - view()->monitor().shownNumber(0);
        return row >= 0 && row < view()->rowCount() ? row : -1;
    }
    qint64 shownRows() const override { return view()->rowCount(); }
    qint64 numberAt(int index) const override {
        return index < 0 || index >= view()->rowCount() ? -1 : view()->monitor().shownNumber(index);
    }
    QString rowText(qint64 row) const override { return view()->rowText(int(row)); }
    QRect rowRect(qint64 row) const override { return view()->rowRect(int(row)); }
    qint64 rowAt(int y) const override { return view()->rowAt(y); }
    bool isSelected(qint64, qint64 row) const override { return row == view()->selectedRow(); }
    qint64 currentRow() const override { return view()->selectedRow(); }

    void* interface_cast(QAccessible::InterfaceType type) override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int) const override { return {}; }
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override;
    int columnCount() const override { return 1; }
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override {}
};
