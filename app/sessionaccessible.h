#pragma once

#include "app/rowlistaccessible.h"

class SessionMonitorView;

// What screen readers get of the Session Monitor: a list of its rows (see
// RowListAccessible), each read as its time, kind, text and latency, as they
// get the main window's monitor.
class SessionAccessible : public RowListAccessible {
public:
    explicit SessionAccessible(SessionMonitorView* view);

    static void install();

    SessionMonitorView* view() const;
    qint64 rowOf(qint64 number) const override;
    qint64 shownRows() const override;
    qint64 numberAt(int index) const override;
    QString rowText(qint64 row) const override;
    QRect rowRect(qint64 row) const override;
    qint64 rowAt(int y) const override;
    bool isSelected(qint64 number, qint64) const override;
    qint64 currentRow() const override;
};
