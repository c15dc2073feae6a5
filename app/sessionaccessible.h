#pragma once

#include "app/rowlistaccessible.h"
#include "app/sessionmonitorview.h"
#include "app/shownrows.h"

// What screen readers get of the Session Monitor: a list of its rows (see
// RowListAccessible), each read as its time, kind, text and latency, as they
// get the main window's monitor.
class SessionAccessible : public RowListAccessible {
public:
    explicit SessionAccessible(SessionMonitorView* view) : RowListAccessible(view) {}

    static void install() { RowListAccessible::install<SessionAccessible, SessionMonitorView>(); }

    SessionMonitorView* view() const { return static_cast<SessionMonitorView*>(widget()); }
    qint64 rowOf(qint64 number) const override { return view()->shown().rowOf(number); }
    qint64 shownRows() const override { return view()->shown().count(); }
    qint64 numberAt(int index) const override { return view()->shown().numberAt(index); }
    QString rowText(qint64 row) const override { return view()->rowText(row); }
    QRect rowRect(qint64 row) const override { return view()->rowRect(row); }
    qint64 rowAt(int y) const override { return view()->rowAt(y); }
    bool isSelected(qint64 number, qint64) const override { return view()->isSelected(number); }
    qint64 currentRow() const override { return view()->currentRow(); }
};
