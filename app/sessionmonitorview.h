#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QTimer>

class QHeaderView;
class QStandardItemModel;
class ShownRows;
struct SessionRow;

// The Session Monitor's rows in columns: time, kind, text, and for a reply
// how long after which send it came. Rows are painted, not made into items:
// ten million rows cost nothing until they are looked at. New rows reach the
// screen at most a few times a second during a stream (at once after a quiet
// spell), the rows already drawn move as pixels, and only the new strip is
// painted.
//
// The view follows the newest row until the operator scrolls up; then it
// counts the rows that came since (newRows()) until it is back at the end.
// The current row and the selection are row numbers, so they stay with
// their lines as older lines leave.
class SessionMonitorView : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum Column { TimeColumn, KindColumn, TextColumn, AfterColumn, ColumnCount };
    static constexpr int cellMargin = 4;

    explicit SessionMonitorView(ShownRows& shown, QWidget* parent = nullptr);

    ShownRows& shown() const { return m_shown; }
    // The current view row (-1 for none) and the selected range of rows.
    qint64 currentRow() const;
    QList<qint64> selectedNumbers() const;
    bool isSelected(qint64 number) const;
    // Makes a view row current (and the only one selected), scrolled into view.
    void setCurrentRow(qint64 row, bool extend = false);

    bool following() const { return m_follow; }
    // Shows the first rows and stops following (a log opens at its top).
    void showFromTop();
    // Scrolls to the newest row and follows it again.
    void followNewest();
    qint64 newRows() const { return m_newRows; }

    // A row's cells as text, and all of it as one line, as read out.
    QString cellText(const SessionRow& row, int column) const;
    QString rowText(qint64 row) const;
    QRect rowRect(qint64 row) const;
    qint64 rowAt(int y) const;
    int rowHeight() const { return m_rowHeight; }
    QHeaderView* header() const { return m_header; }
    // The fill behind a row of a kind, in this palette; invalid for none.
    QColor kindColor(int kind) const;

Q_SIGNALS:
    // The current row changed (its number, -1 for none).
    void currentChanged(qint64 number);
    void followChanged(bool following, qint64 newRows);
    // New rows have reached the screen (at most a few times a second).
    void flushed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void onAppended(qint64 count);
    void onDropped(qint64 count);
    void onReset();
    void flush();
    void updateRange();
    void placeHeader();
    void setFollow(bool follow);
    qint64 scrollRows() const;

    ShownRows& m_shown;
    QHeaderView* m_header = nullptr;
    QStandardItemModel* m_headerModel = nullptr;
    int m_rowHeight = 0;
    qint64 m_current = -1; // row numbers
    qint64 m_anchor = -1;
    bool m_follow = true;
    bool m_silentScroll = false;
    qint64 m_newRows = 0;
    // Rows come in a few times a second during a stream: coalesced here.
    qint64 m_pendingAppended = 0;
    bool m_pendingRepaint = false;
    QTimer m_flush;
    QElapsedTimer m_sinceFlush;
    QElapsedTimer m_sinceBatch;
    int m_streak = 0; // batches in a row that came close together
};
