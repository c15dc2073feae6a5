#pragma once

#include "app/sessionrows.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTimer>
#include <deque>
#include <functional>

// What a row must be to be shown or found: one of the kinds asked for and,
// when a text is given, holding it (any case) or matching it as a regular
// expression. Rows are looked at as the log writes them.
struct RowMatcher {
    static constexpr quint32 allKinds = (1u << rowKindCount) - 1;
    quint32 kinds = allKinds;
    QString text;
    bool regex = false;

    bool takesKind(RowKind kind) const { return kinds & (1u << int(kind)); }
    bool hasText() const { return !text.isEmpty(); }
    bool takesAll() const { return kinds == allKinds && !hasText(); }
    // Why the text is no good as a regular expression, or an empty text.
    QString problem() const;

    // Made ready before matching many rows.
    void prepare();
    bool matchesText(QByteArrayView visible, QByteArray& scratch) const;
    bool matches(QByteArrayView visible, RowKind kind, QByteArray& scratch) const {
        return takesKind(kind) && (!hasText() || matchesText(visible, scratch));
    }

private:
    QByteArray m_lower;
    QRegularExpression m_re;
};

// The rows of a SessionRows that a filter lets through, in order, as view
// rows 0 .. count() - 1. Without a filter nothing is kept per row: view row r
// is simply the r-th row held. With one, the numbers of the matching rows are
// kept, found in slices of a few milliseconds so that the window answers
// meanwhile (the first matches show at once, the rest as they are found); new
// rows that match join at the end as they come.
class ShownRows : public QObject {
    Q_OBJECT
public:
    explicit ShownRows(SessionRows& rows, QObject* parent = nullptr);

    SessionRows& rows() const { return m_rows; }
    const RowMatcher& filter() const { return m_filter; }
    void setFilter(const RowMatcher& filter);
    bool filtered() const { return !m_filter.takesAll(); }
    // Whether rows are still being looked at, and how far it has come (0..1).
    bool filtering() const { return m_scanTimer.isActive(); }
    double progress() const;

    qint64 count() const;
    qint64 numberAt(qint64 row) const;
    // The view row of a row number, -1 when it is not shown.
    qint64 rowOf(qint64 number) const;
    // The first view row whose number is number or later (count() if none).
    qint64 rowAtOrAfter(qint64 number) const;

    // Looks, in slices, from view row from (exclusive) in direction step (+1
    // or -1) for a shown row that test accepts; done gets its view row, or
    // -1 at the end. A new search, or a new filter, ends the last one.
    using RowTest = std::function<bool(QByteArrayView visible, RowKind kind, QByteArray& scratch)>;
    void search(qint64 from, int step, RowTest test, std::function<void(qint64 row)> done);
    bool searching() const { return m_searchTimer.isActive(); }

    // Memory the kept numbers take, for the benchmarks.
    qint64 indexBytes() const { return qint64(m_matches.size()) * qint64(sizeof(qint64)); }

Q_SIGNALS:
    // Rows came at the end, left at the front, or all changed.
    void rowsAppended(qint64 count);
    void rowsDropped(qint64 count);
    void rowsReset();

private:
    void onAppended();
    void onDropped();
    void onCleared();
    void scanSome();
    void searchSome();
    // Looks at rows from m_scanned up to the end; false when out of time.
    bool scan(const QElapsedTimer* clock);

    SessionRows& m_rows;
    RowMatcher m_filter;
    qint64 m_first = 0; // the first number held, as the view knows it
    qint64 m_end = 0;   // one past the last, without a filter
    std::deque<qint64> m_matches;
    qint64 m_scanned = 0; // with a filter: rows before this number have been looked at
    qint64 m_scanFrom = 0;
    QTimer m_scanTimer;
    QByteArray m_scratch, m_scratch2;

    qint64 m_searchAt = 0; // the next number to look at
    int m_searchStep = 1;
    RowTest m_searchTest;
    std::function<void(qint64)> m_searchDone;
    QTimer m_searchTimer;
};
