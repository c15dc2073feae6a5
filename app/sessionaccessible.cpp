#include "app/sessionaccessible.h"

#include "app/sessionmonitorview.h"
#include "app/shownrows.h"

namespace {

class RowAccessible : public QAccessibleInterface {
public:
    RowAccessible(SessionAccessible* list, qint64 number) : m_list(list), m_number(number) {}

    qint64 row() const { return m_list->view()->shown().rowOf(m_number); }

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
        SessionMonitorView* v = m_list->view();
        const QRect r = v->rowRect(row());
        return QRect(v->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State s;
        SessionMonitorView* v = m_list->view();
        const qint64 r = row();
        s.selectable = true;
        s.focusable = true;
        s.selected = r >= 0 && v->isSelected(m_number);
        s.focused = r >= 0 && r == v->currentRow() && v->hasFocus();
        s.invisible = r < 0;
        s.offscreen = r < 0 || !v->rowRect(r).intersects(v->viewport()->rect());
        return s;
    }

private:
    SessionAccessible* m_list;
    qint64 m_number;
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (className == QLatin1String("SessionMonitorView") && object && object->isWidgetType())
        return new SessionAccessible(static_cast<SessionMonitorView*>(object));
    return nullptr;
}

} // namespace

SessionAccessible::SessionAccessible(SessionMonitorView* view)
    : QAccessibleWidget(view, QAccessible::List) {}

SessionAccessible::~SessionAccessible() {
    for (QAccessible::Id id : std::as_const(m_rows))
        QAccessible::deleteAccessibleInterface(id);
}

void SessionAccessible::install() {
    static bool installed = false;
    if (!installed)
        QAccessible::installFactory(factory);
    installed = true;
}

void SessionAccessible::rowsChanged(SessionMonitorView* view,
                                    QAccessibleTableModelChangeEvent::ModelChangeType type,
                                    qint64 first, qint64 last) {
    if (!QAccessible::isActive())
        return;
    QAccessibleTableModelChangeEvent event(view, type);
    event.setFirstRow(int(qMin<qint64>(first, INT_MAX)));
    event.setLastRow(int(qMin<qint64>(last, INT_MAX)));
    QAccessible::updateAccessibility(&event);
}

void SessionAccessible::currentChanged(SessionMonitorView* view, qint64 row) {
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

SessionMonitorView* SessionAccessible::view() const {
    return static_cast<SessionMonitorView*>(widget());
}

int SessionAccessible::childCount() const {
    return int(qMin<qint64>(view()->shown().count(), INT_MAX));
}

QAccessibleInterface* SessionAccessible::child(int index) const {
    const qint64 number = view()->shown().numberAt(index);
    if (number < 0)
        return nullptr;
    if (const auto it = m_rows.constFind(number); it != m_rows.constEnd())
        if (QAccessibleInterface* known = QAccessible::accessibleInterface(*it))
            return known;
    // Rows that are no longer shown are of no more use to anyone.
    if (m_rows.size() >= 1024) {
        for (auto it = m_rows.begin(); it != m_rows.end();) {
            if (view()->shown().rowOf(it.key()) < 0) {
                QAccessible::deleteAccessibleInterface(*it);
                it = m_rows.erase(it);
            } else {
                ++it;
            }
        }
    }
    auto* row = new RowAccessible(const_cast<SessionAccessible*>(this), number);
    m_rows.insert(number, QAccessible::registerAccessibleInterface(row));
    return row;
}

int SessionAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const auto* row = dynamic_cast<const RowAccessible*>(child);
    return row && row->parent() == this ? int(row->row()) : -1;
}

QAccessibleInterface* SessionAccessible::childAt(int x, int y) const {
    const QPoint at = view()->viewport()->mapFromGlobal(QPoint(x, y));
    if (!view()->viewport()->rect().contains(at))
        return nullptr;
    const qint64 row = view()->rowAt(at.y());
    return row >= 0 ? child(int(row)) : nullptr;
}
