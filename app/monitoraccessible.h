#pragma once

#include <QAccessibleWidget>
#include <QHash>

class MonitorView;

// What screen readers get of the monitor: a list whose children are its rows,
// each with its text and whether it is the selected one, as a list view
// offers them. Row objects are made when asked for and keyed by the line's
// number, so one keeps meaning its line as older lines leave.
class MonitorAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit MonitorAccessible(MonitorView* view);
    ~MonitorAccessible() override;

    // Makes every MonitorView answer with this interface (once per program).
    static void install();
    // Tell assistive tools, when one listens, what changed in the view.
    static void rowsChanged(MonitorView* view,
                            QAccessibleTableModelChangeEvent::ModelChangeType type, int first,
                            int last);
    static void selectionChanged(MonitorView* view, int row);

    MonitorView* view() const;
    // The row a row object stands for now, -1 once its line has left.
    int rowOf(qint64 number) const;

    void* interface_cast(QAccessible::InterfaceType type) override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

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

private:
    mutable QHash<qint64, QAccessible::Id> m_rows;
};
