#pragma once

#include "settings/monitorsetting.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>
#include <deque>

// The communication monitor: an ordered list of lines, only ever appended to
// or cleared, with one selected line (-1 for none). Lines are kept as the
// bytes they were made of; views get a visible rendering of them.
//
// It holds at most lineLimit() lines, and lines of at most byteLimit() bytes
// in all: the oldest leave as new ones come (the session log keeps them), so
// a device that talks for days costs flat memory. The byte bound matters in a
// flood, where each read is one long line.
//
// Appends are cheap and immediate for count(), line() and the selection; the
// rows reach attached views in batches, at most one per publishIntervalMs, so
// a chatty device costs a few view updates a second rather than one per read.
// A line arriving after a quiet spell is published at once.
class MonitorModel : public QAbstractListModel {
    Q_OBJECT
public:
    struct Line {
        QByteArray text;
        qint64 msecsSinceEpoch = 0; // when it happened
        // For a reply: microseconds since the latest send (-1: none), and how
        // many rows back that send's line is (0: not in the monitor).
        qint32 sinceSendUs = -1;
        qint32 sendRowsBack = 0;
        // A reply cut at its length bound: the line goes on in the next row.
        bool continues = false;
    };

    // The shortest time between two batches of rows reaching the views.
    static constexpr int publishIntervalMs = 40;
    // Views show at most this many bytes of a line, then its length: a
    // megabyte line would otherwise be laid out whole at every repaint.
    static constexpr int displayedBytes = 128;
    static constexpr int defaultLineLimit = MonitorLinesSetting::defaultLines;
    // The byte bound is room for lineLimit() lines of a generous length, so
    // that in ordinary chatter the line bound is the one that binds, and at
    // least 8 MiB: at the default limit a flood then costs the program some
    // 10 MiB of text and line records at most.
    static constexpr qsizetype bytesPerLine = 80;
    static constexpr qsizetype minByteLimit = qsizetype(8) << 20;

    explicit MonitorModel(QObject* parent = nullptr);

    // A line and when it happened (what it records, not when it is added):
    // for a reply when it arrived, with how long after the latest send it came
    // and that send line's number (see droppedCount()).
    void append(const QByteArray& line, qint64 msecsSinceEpoch, qint32 sinceSendUs = -1,
                qint64 sendNumber = -1, bool continues = false);
    // A line of the program's own, which happens as it is added.
    void append(const QByteArray& line);
    void clear();
    int count() const { return int(m_lines.size()); }
    const Line& at(int row) const { return m_lines[std::size_t(row)]; }
    QByteArray line(int row) const { return at(row).text; }
    // What a line's tooltip says: its time, and for a reply how long after
    // which send it came ("12.4 ms after "Key: 5 - 0B 05 10"").
    QString toolTip(int row) const;
    // The same for a row the views have been told of (see shownLine()).
    QString shownToolTip(int row) const;

    int lineLimit() const { return m_limit; }
    qsizetype byteLimit() const { return qMax(minByteLimit, m_limit * bytesPerLine); }
    // The bytes of the lines held.
    qsizetype heldBytes() const { return m_bytes; }
    // Lines beyond the new limit leave at once, oldest first.
    void setLineLimit(int lines);
    // How many lines have left since the last clear: the line at row r is
    // the (droppedCount() + r)-th since then, a number that stays with it.
    qint64 droppedCount() const { return m_dropped; }

    int selectedIndex() const { return m_selected; }
    // Out-of-range indices mean "no selection", as -1 does.
    void setSelectedIndex(int index);
    void selectLast() { setSelectedIndex(count() - 1); }

    // What views show for a line.
    static QString displayText(const Line& line);

    // Makes every appended line a row of the attached views now.
    void publish();

    // For views, in the rows they have been told of: the line behind a row,
    // null once it has left (its removal reaches the views with the next
    // batch), and the selected row, -1 if none or not published yet.
    const Line* shownLine(int row) const;
    int shownSelection() const;
    // The number since the last clear of the line behind a row (see droppedCount()).
    qint64 shownNumber(int row) const { return m_shownFrom + row; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void lineAppended(int row);
    // The selected row changed; views follow it once the row is published.
    void selectedIndexChanged(int index);

private:
    void schedulePublish();
    void dropOldest(std::size_t lines);
    std::size_t linesOverByteLimit() const;

    std::deque<Line> m_lines;
    int m_limit = defaultLineLimit;
    qsizetype m_bytes = 0;
    qint64 m_dropped = 0;
    // Rows the views know: lines numbered m_shownFrom .. m_shownFrom + m_published - 1.
    qint64 m_shownFrom = 0;
    int m_published = 0;
    int m_selected = -1;
    QTimer m_publishTimer;
    QElapsedTimer m_sincePublish;
};
