#pragma once

#include <QAccessibleWidget>
#include <QHash>

class SessionMonitorView;

// What screen readers get of the Session Monitor: a list whose children are
// its rows, each read as its time, kind, text and latency, and whether it is
// selected, as they get the main window's monitor. Row objects are made when
// asked for and keyed by the row's number, so one keeps meaning its line.
class SessionAccessible : public QAccessibleWidget {
public:
    explicit SessionAccessible(SessionMonitorView* view);
    ~SessionAccessible() override;

    static void install();
    static void rowsChanged(SessionMonitorView* view,
                            QAccessibleTableModelChangeEvent::ModelChangeType type, qint64 first,
                            qint64 last);
    static void currentChanged(SessionMonitorView* view, qint64 row);

    SessionMonitorView* view() const;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

private:
    mutable QHash<qint64, QAccessible::Id> m_rows;
};
