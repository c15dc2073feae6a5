#include "app/monitoraccessible.h"

#include "app/monitorview.h"
#include "session/monitormodel.h"

namespace {

// One row of the monitor, as a list item.
class RowAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    RowAccessible(MonitorAccessible* list, qint64 number) : m_list(list), m_number(number) {}

    int row() const { return m_list->rowOf(m_number); }

    bool isValid() const override { return row() >= 0; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_list->window(); }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return m_list; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? m_list->view()->rowText(row()) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        MonitorView* v = m_list->view();
        const QRect r = v->rowRect(row());
        return QRect(v->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State s;
        MonitorView* v = m_list->view();
        const int r = row();
        s.selectable = true;
        s.focusable = true;
        s.selected = r >= 0 && r == v->selectedRow();
        s.focused = s.selected && v->hasFocus();
        s.invisible = r < 0;
        s.offscreen = r < 0 || !v->rowRect(r).intersects(v->viewport()->rect());
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::TableCellInterface
                   ? static_cast<QAccessibleTableCellInterface*>(this)
                   : nullptr;
    }

    bool isSelected() const override { return state().selected; }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return 0; }
    int rowIndex() const override { return row(); }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return m_list; }

private:
    MonitorAccessible* m_list;
    qint64 m_number;
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (className == QLatin1String("MonitorView") && object && object->isWidgetType())
        return new MonitorAccessible(static_cast<MonitorView*>(object));
    return nullptr;
}

} // namespace

MonitorAccessible::MonitorAccessible(MonitorView* view)
    : QAccessibleWidget(view, QAccessible::List) {}

MonitorAccessible::~MonitorAccessible() {
    for (QAccessible::Id id : std::as_const(m_rows))
        QAccessible::deleteAccessibleInterface(id);
}

void MonitorAccessible::install() {
    static bool installed = false;
    if (!installed)
        QAccessible::installFactory(factory);
    installed = true;
}

void MonitorAccessible::rowsChanged(MonitorView* view,
                                    QAccessibleTableModelChangeEvent::ModelChangeType type,
                                    int first, int last) {
    if (!QAccessible::isActive())
        return;
    QAccessibleTableModelChangeEvent event(view, type);
    event.setFirstRow(first);
    event.setLastRow(last);
    QAccessible::updateAccessibility(&event);
}

void MonitorAccessible::selectionChanged(MonitorView* view, int row) {
    if (!QAccessible::isActive() || row < 0)
        return;
    QAccessibleEvent selection(view, QAccessible::Selection);
    selection.setChild(row);
    QAccessible::updateAccessibility(&selection);
    if (view->hasFocus()) {
        QAccessibleEvent focus(view, QAccessible::Focus);
        focus.setChild(row);
        QAccessible::updateAccessibility(&focus);
    }
}

MonitorView* MonitorAccessible::view() const {
    return static_cast<MonitorView*>(widget());
}

int MonitorAccessible::rowOf(qint64 number) const {
    const qint64 row = number - view()->monitor().shownNumber(0);
    return row >= 0 && row < view()->rowCount() ? int(row) : -1;
}

void* MonitorAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

int MonitorAccessible::childCount() const {
    return view()->rowCount();
}

QAccessibleInterface* MonitorAccessible::child(int index) const {
    if (index < 0 || index >= childCount())
        return nullptr;
    const qint64 number = view()->monitor().shownNumber(index);
    if (const auto it = m_rows.constFind(number); it != m_rows.constEnd())
        if (QAccessibleInterface* known = QAccessible::accessibleInterface(*it))
            return known;
    // Rows whose lines have left are of no more use to anyone.
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
    auto* row = new RowAccessible(const_cast<MonitorAccessible*>(this), number);
    m_rows.insert(number, QAccessible::registerAccessibleInterface(row));
    return row;
}

int MonitorAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const auto* row = dynamic_cast<const RowAccessible*>(child);
    return row && row->parent() == this ? row->row() : -1;
}

QAccessibleInterface* MonitorAccessible::childAt(int x, int y) const {
    const QPoint at = view()->viewport()->mapFromGlobal(QPoint(x, y));
    if (!view()->viewport()->rect().contains(at))
        return nullptr;
    const int row = view()->rowAt(at.y());
    return row >= 0 ? child(row) : nullptr;
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
