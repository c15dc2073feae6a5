#include "app/rowlistaccessible.h"

#include <QAbstractScrollArea>

namespace {

// One row, as a list item; a cell too where the list is a table.
class RowAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    RowAccessible(RowListAccessible* list, qint64 number) : m_list(list), m_number(number) {}

    qint64 row() const { return m_list->rowOf(m_number); }

    bool isValid() const override { return row() >= 0; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_list->window(); }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return m_list; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? m_list->rowText(row()) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        const QRect r = m_list->rowRect(row());
        return QRect(m_list->scrollArea()->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State s;
        const QAbstractScrollArea* v = m_list->scrollArea();
        const qint64 r = row();
        s.selectable = true;
        s.focusable = true;
        s.selected = r >= 0 && m_list->isSelected(m_number, r);
        s.focused = r >= 0 && r == m_list->currentRow() && v->hasFocus();
        s.invisible = r < 0;
        s.offscreen = r < 0 || !m_list->rowRect(r).intersects(v->viewport()->rect());
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::TableCellInterface &&
                       m_list->interface_cast(QAccessible::TableInterface)
                   ? static_cast<QAccessibleTableCellInterface*>(this)
                   : nullptr;
    }

    bool isSelected() const override { return state().selected; }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return 0; }
    int rowIndex() const override { return int(row()); }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return m_list; }

private:
    RowListAccessible* m_list;
    qint64 m_number;
};

int clampedRow(qint64 row) {
    return int(qMin<qint64>(row, INT_MAX));
}

} // namespace

RowListAccessible::RowListAccessible(QAbstractScrollArea* view)
    : QAccessibleWidget(view, QAccessible::List) {}

RowListAccessible::~RowListAccessible() {
    for (QAccessible::Id id : std::as_const(m_rows))
        QAccessible::deleteAccessibleInterface(id);
}

void RowListAccessible::rowsChanged(QWidget* view,
                                    QAccessibleTableModelChangeEvent::ModelChangeType type,
                                    qint64 first, qint64 last) {
    if (!QAccessible::isActive())
        return;
    QAccessibleTableModelChangeEvent event(view, type);
    event.setFirstRow(clampedRow(first));
    event.setLastRow(clampedRow(last));
    QAccessible::updateAccessibility(&event);
}

void RowListAccessible::currentChanged(QWidget* view, qint64 row) {
    if (!QAccessible::isActive() || row < 0 || row > INT_MAX)
        return;
    QAccessibleEvent selection(view, QAccessible::Selection);
    selection.setChild(int(row));
    QAccessible::updateAccessibility(&selection);
    if (view->hasFocus()) {
        QAccessibleEvent focus(view, QAccessible::Focus);
        focus.setChild(int(row));
        QAccessible::updateAccessibility(&focus);
    }
}

QAbstractScrollArea* RowListAccessible::scrollArea() const {
    return static_cast<QAbstractScrollArea*>(widget());
}

int RowListAccessible::childCount() const {
    return clampedRow(shownRows());
}

QAccessibleInterface* RowListAccessible::child(int index) const {
    const qint64 number = numberAt(index);
    if (number < 0)
        return nullptr;
    if (const auto it = m_rows.constFind(number); it != m_rows.constEnd())
        if (QAccessibleInterface* known = QAccessible::accessibleInterface(*it))
            return known;
    // Rows that are no longer shown are of no more use to anyone.
    if (m_rows.size() >= 1024) {
        for (auto it = m_rows.begin(); it != m_rows.end();) {
            if (rowOf(it.key()) < 0) {
                QAccessible::deleteAccessibleInterface(*it);
                it = m_rows.erase(it);
            } else {
                ++it;
            }
        }
    }
    auto* row = new RowAccessible(const_cast<RowListAccessible*>(this), number);
    m_rows.insert(number, QAccessible::registerAccessibleInterface(row));
    return row;
}

int RowListAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const auto* row = dynamic_cast<const RowAccessible*>(child);
    return row && row->parent() == this ? int(row->row()) : -1;
}

QAccessibleInterface* RowListAccessible::childAt(int x, int y) const {
    const QPoint at = scrollArea()->viewport()->mapFromGlobal(QPoint(x, y));
    if (!scrollArea()->viewport()->rect().contains(at))
        return nullptr;
    const qint64 row = rowAt(at.y());
    return row >= 0 ? child(int(row)) : nullptr;
}
