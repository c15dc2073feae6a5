#pragma once

#include "app/rowlistaccessible.h"

class MonitorView;

// What screen readers get of the monitor: a list of its rows (see
// RowListAccessible), each read as its text, and a table of one column.
class MonitorAccessible : public RowListAccessible, public QAccessibleTableInterface {
public:
    explicit MonitorAccessible(MonitorView* view);

    // Makes every MonitorView answer with this interface (once per program).
    static void install();

    MonitorView* view() const;
    qint64 rowOf(qint64 number) const override;
    qint64 shownRows() const override;
    qint64 numberAt(int index) const override;
    QString rowText(qint64 row) const override;
    QRect rowRect(qint64 row) const override;
    qint64 rowAt(int y) const override;
    bool isSelected(qint64, qint64 row) const override;
    qint64 currentRow() const override;

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
