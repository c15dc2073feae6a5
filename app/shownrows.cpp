#include "app/shownrows.h"

#include <algorithm>
#include <cstring>

namespace {

// How long one slice of filtering or searching may hold the window's thread.
constexpr qint64 sliceMs = 8;

constexpr uchar lower(uchar c) {
    return c >= 'A' && c <= 'Z' ? uchar(c + ('a' - 'A')) : c;
}

constexpr uchar upper(uchar c) {
    return c >= 'a' && c <= 'z' ? uchar(c - ('a' - 'A')) : c;
}

void lowerAscii(QByteArray& bytes) {
    for (char& c : bytes)
        if (c >= 'A' && c <= 'Z')
            c = char(c + ('a' - 'A'));
}

} // namespace

QString RowMatcher::problem() const {
    if (!regex || text.isEmpty())
        return {};
    const QRegularExpression re(text);
    return re.isValid() ? QString() : re.errorString();
}

void RowMatcher::prepare() {
    m_lower = text.toUtf8();
    lowerAscii(m_lower);
    m_re = QRegularExpression(text, QRegularExpression::CaseInsensitiveOption);
    m_re.optimize();
}

bool RowMatcher::matchesText(QByteArrayView visible, QByteArray&) const {
    if (regex)
        return m_re.isValid() && m_re.match(QString::fromUtf8(visible)).hasMatch();
    // Compared in place, a byte at a time: rows are short, and a lowered
    // copy of each would cost more than the search.
    const auto* h = reinterpret_cast<const uchar*>(visible.data());
    const auto* n = reinterpret_cast<const uchar*>(m_lower.constData());
    const qsizetype size = visible.size(), length = m_lower.size();
    if (length == 0)
        return true;
    const uchar first = n[0], firstUpper = upper(first);
    for (qsizetype i = 0; i + length <= size; ++i) {
        if (h[i] != first && h[i] != firstUpper)
            continue;
        qsizetype k = 1;
        while (k < length && lower(h[i + k]) == n[k])
            ++k;
        if (k == length)
            return true;
    }
    return false;
}

ShownRows::ShownRows(SessionRows& rows, QObject* parent) : QObject(parent), m_rows(rows) {
    m_first = rows.first();
    m_end = rows.end();
    connect(&rows, &SessionRows::appended, this, &ShownRows::onAppended);
    connect(&rows, &SessionRows::dropped, this, &ShownRows::onDropped);
    connect(&rows, &SessionRows::cleared, this, &ShownRows::onCleared);
    connect(&m_scanTimer, &QTimer::timeout, this, &ShownRows::scanSome);
    connect(&m_searchTimer, &QTimer::timeout, this, &ShownRows::searchSome);
}

void ShownRows::setFilter(const RowMatcher& filter) {
    m_filter = filter;
    m_filter.prepare();
    m_searchTimer.stop();
    m_matches.clear();
    m_matches.shrink_to_fit();
    m_first = m_rows.first();
    m_end = m_rows.end();
    m_scanned = m_scanFrom = m_first;
    if (filtered() && m_filter.problem().isEmpty())
        m_scanTimer.start(0);
    else
        m_scanTimer.stop();
    Q_EMIT rowsReset();
    if (m_scanTimer.isActive())
        scanSome();
}

double ShownRows::progress() const {
    if (!filtering())
        return 1;
    const qint64 all = m_rows.end() - m_scanFrom;
    return all > 0 ? double(m_scanned - m_scanFrom) / double(all) : 1;
}

qint64 ShownRows::count() const {
    return filtered() ? qint64(m_matches.size()) : m_end - m_first;
}

qint64 ShownRows::numberAt(qint64 row) const {
    if (row < 0 || row >= count())
        return -1;
    return filtered() ? m_matches[std::size_t(row)] : m_first + row;
}

qint64 ShownRows::rowAtOrAfter(qint64 number) const {
    if (!filtered())
        return qBound(qint64(0), number - m_first, count());
    return std::lower_bound(m_matches.begin(), m_matches.end(), number) - m_matches.begin();
}

qint64 ShownRows::rowOf(qint64 number) const {
    const qint64 row = rowAtOrAfter(number);
    return row < count() && numberAt(row) == number ? row : -1;
}

bool ShownRows::scan(const QElapsedTimer* clock) {
    const qint64 end = m_rows.end();
    RowKind kind = RowKind::Text;
    // The kind is looked at only when some are left out.
    RowKind* wanted = m_filter.kinds == RowMatcher::allKinds ? nullptr : &kind;
    for (qint64 n = qMax(m_scanned, m_rows.first()); n < end; ++n) {
        const QByteArrayView text = m_rows.visible(n, m_scratch, wanted);
        if (m_filter.matches(text, kind, m_scratch2))
            m_matches.push_back(n);
        if (clock && (n & 1023) == 1023 && clock->elapsed() >= sliceMs) {
            m_scanned = n + 1;
            return false;
        }
    }
    m_scanned = end;
    return true;
}

void ShownRows::scanSome() {
    QElapsedTimer clock;
    clock.start();
    const qint64 before = count();
    if (scan(&clock))
        m_scanTimer.stop();
    Q_EMIT rowsAppended(count() - before);
}

void ShownRows::onAppended() {
    if (!filtered()) {
        const qint64 before = m_end;
        m_end = m_rows.end();
        if (m_end > before)
            Q_EMIT rowsAppended(m_end - before);
        return;
    }
    // While the older rows are still being looked at, the new ones wait their turn.
    if (filtering() || !m_filter.problem().isEmpty())
        return;
    const qint64 before = count();
    scan(nullptr);
    if (count() > before)
        Q_EMIT rowsAppended(count() - before);
}

void ShownRows::onDropped() {
    const qint64 first = m_rows.first();
    qint64 gone = 0;
    if (!filtered()) {
        gone = qMax(qint64(0), qMin(first, m_end) - m_first);
    } else {
        while (!m_matches.empty() && m_matches.front() < first) {
            m_matches.pop_front();
            ++gone;
        }
        m_scanned = qMax(m_scanned, first);
    }
    m_first = first;
    if (gone > 0)
        Q_EMIT rowsDropped(gone);
}

void ShownRows::onCleared() {
    m_searchTimer.stop();
    m_matches.clear();
    m_matches.shrink_to_fit();
    m_first = m_scanned = m_scanFrom = m_rows.first();
    m_end = m_rows.end();
    Q_EMIT rowsReset();
}

void ShownRows::search(qint64 from, int step, RowTest test, std::function<void(qint64)> done) {
    m_searchStep = step < 0 ? -1 : 1;
    const qint64 start = numberAt(from);
    if (start >= 0)
        m_searchAt = start + m_searchStep;
    else
        m_searchAt = m_searchStep > 0 ? m_rows.first() : m_rows.end() - 1;
    m_searchTest = std::move(test);
    m_searchDone = std::move(done);
    m_searchTimer.start(0);
    searchSome();
}

void ShownRows::searchSome() {
    QElapsedTimer clock;
    clock.start();
    RowKind kind = RowKind::Text;
    for (qint64 done = 0;; ++done) {
        const qint64 n = m_searchAt;
        if (n < m_rows.first() || n >= m_rows.end() || (filtered() && n >= m_scanned)) {
            // Rows not yet filtered are not shown yet: the end for now.
            m_searchTimer.stop();
            if (m_searchDone)
                m_searchDone(-1);
            return;
        }
        m_searchAt += m_searchStep;
        const QByteArrayView text = m_rows.visible(n, m_scratch, &kind);
        if ((!filtered() || m_filter.matches(text, kind, m_scratch2)) &&
            m_searchTest(text, kind, m_scratch2)) {
            m_searchTimer.stop();
            if (m_searchDone)
                m_searchDone(rowOf(n));
            return;
        }
        if ((done & 1023) == 1023 && clock.elapsed() >= sliceMs)
            return;
    }
}
