#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>
#include <vector>

// The communication monitor: an ordered list of lines, only ever appended to
// or cleared, with one selected line (-1 for none). Lines are kept as the
// bytes they were made of; views get a visible rendering of them.
//
// Appends are cheap and immediate for count(), line() and the selection; the
// rows reach attached views in batches, at most one per publishIntervalMs, so
// a chatty device costs a few dozen view updates a second rather than one per
// read. A line arriving after a quiet spell is published at once.
class MonitorModel : public QAbstractListModel {
    Q_OBJECT
public:
    struct Line {
        QByteArray text;
        qint64 msecsSinceEpoch = 0; // when the line was added
        // For a reply: microseconds since the latest send (-1: none), and how
        // many rows back that send's line is (0: not in the monitor).
        qint32 sinceSendUs = -1;
        qint32 sendRowsBack = 0;
    };

    // The shortest time between two batches of rows reaching the views.
    static constexpr int publishIntervalMs = 30;
    // Views show at most this many bytes of a line, then its length: a
    // megabyte line would otherwise be laid out whole at every repaint.
    static constexpr int displayedBytes = 128;

    explicit MonitorModel(QObject* parent = nullptr);

    void append(const QByteArray& line);
    // A reply line, timed from the latest send; sendRow is that send's row
    // (-1 when it is no longer in the monitor).
    void appendReply(const QByteArray& line, qint64 sinceSendUs, int sendRow);
    void clear();
    int count() const { return int(m_lines.size()); }
    const Line& at(int row) const { return m_lines[std::size_t(row)]; }
    QByteArray line(int row) const { return at(row).text; }
    // What a row's tooltip says: its time, and for a reply how long after
    // which send it came ("12.4 ms after "Key: 5 - 0B 05 10"").
    QString toolTip(int row) const;

    int selectedIndex() const { return m_selected; }
    // Out-of-range indices mean "no selection", as -1 does.
    void setSelectedIndex(int index);
    void selectLast() { setSelectedIndex(count() - 1); }

    // Makes every appended line a row of the attached views now.
    void publish();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void lineAppended(int row);
    // The selected row changed; views follow it once the row is published.
    void selectedIndexChanged(int index);

private:
    void schedulePublish();

    std::vector<Line> m_lines;
    int m_published = 0;
    int m_selected = -1;
    QTimer m_publishTimer;
    QElapsedTimer m_sincePublish;
};
