#include "app/sessionmonitorview.h"

#include "app/rownavigation.h"
#include "app/sessionaccessible.h"
#include "app/shownrows.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QToolTip>

namespace {

// New rows reach this view at most this often while they come now and then,
// so that a click's reply shows at once; during a stream (batches closer
// than streamGapMs, streamBatches of them in a row) only twice a second, as
// each repaint of a second window costs about a millisecond of X round trip.
// The main window's monitor shows every row sooner; the times are the rows'.
constexpr int quietIntervalMs = 40;
constexpr int streamIntervalMs = 500;
constexpr int streamGapMs = 150;
constexpr int streamBatches = 10;

} // namespace

SessionMonitorView::SessionMonitorView(ShownRows& shown, QWidget* parent)
    : QAbstractScrollArea(parent), m_shown(shown) {
    SessionAccessible::install();
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    m_rowHeight = fontMetrics().height() + 4;

    m_headerModel = new QStandardItemModel(0, ColumnCount, this);
    m_headerModel->setHorizontalHeaderLabels({QStringLiteral("Time"), QStringLiteral("Kind"),
                                              QStringLiteral("Text"),
                                              QStringLiteral("Reply after")});
    m_header = new QHeaderView(Qt::Horizontal, this);
    m_header->setObjectName(QStringLiteral("sessionHeader"));
    m_header->setModel(m_headerModel);
    m_header->setSectionsMovable(false);
    m_header->setStretchLastSection(false);
    const QFontMetrics fm = fontMetrics();
    QFont bold = font(); // problems' kinds are in bold
    bold.setBold(true);
    m_header->resizeSection(TimeColumn,
                            fm.horizontalAdvance(QStringLiteral("2026-12-07 00:00:00.000")) +
                                3 * cellMargin);
    m_header->resizeSection(
        KindColumn, QFontMetrics(bold).horizontalAdvance(QStringLiteral("\u2716 expect failed")) +
                        3 * cellMargin);
    m_header->resizeSection(AfterColumn,
                            fm.horizontalAdvance(QStringLiteral("9999.9 ms after Comm Test")) +
                                3 * cellMargin);
    m_header->setSectionResizeMode(TextColumn, QHeaderView::Stretch);
    connect(m_header, &QHeaderView::sectionResized, viewport(), qOverload<>(&QWidget::update));
    setViewportMargins(0, m_header->sizeHint().height(), 0, 0);

    m_flush.setSingleShot(true);
    m_flush.setTimerType(Qt::PreciseTimer);
    connect(&m_flush, &QTimer::timeout, this, &SessionMonitorView::flush);
    connect(&shown, &ShownRows::rowsAppended, this, &SessionMonitorView::onAppended);
    connect(&shown, &ShownRows::rowsDropped, this, &SessionMonitorView::onDropped);
    connect(&shown, &ShownRows::rowsReset, this, &SessionMonitorView::onReset);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_silentScroll)
            setFollow(value >= verticalScrollBar()->maximum());
    });
    updateRange();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

qint64 SessionMonitorView::scrollRows() const {
    return qMax(1, viewport()->height() / m_rowHeight);
}

void SessionMonitorView::updateRange() {
    QScrollBar* bar = verticalScrollBar();
    const bool silent = m_silentScroll;
    m_silentScroll = true;
    bar->setSingleStep(1);
    bar->setPageStep(int(scrollRows()));
    bar->setRange(0, int(qMax(qint64(0), m_shown.count() - scrollRows())));
    m_silentScroll = silent;
}

void SessionMonitorView::placeHeader() {
    const QRect vp = viewport()->geometry();
    m_header->setGeometry(vp.left(), vp.top() - m_header->sizeHint().height(), vp.width(),
                          m_header->sizeHint().height());
}

QRect SessionMonitorView::rowRect(qint64 row) const {
    const qint64 top = (row - verticalScrollBar()->value()) * m_rowHeight;
    return {0, int(qBound(qint64(-m_rowHeight), top, qint64(1) << 24)), viewport()->width(),
            m_rowHeight};
}

qint64 SessionMonitorView::rowAt(int y) const {
    if (y < 0)
        return -1;
    const qint64 row = verticalScrollBar()->value() + y / m_rowHeight;
    return row < m_shown.count() ? row : -1;
}

qint64 SessionMonitorView::currentRow() const {
    return m_current < 0 ? -1 : m_shown.rowOf(m_current);
}

QList<qint64> SessionMonitorView::selectedNumbers() const {
    QList<qint64> out;
    const qint64 a = m_shown.rowOf(m_anchor), c = currentRow();
    if (c < 0)
        return out;
    const qint64 from = a < 0 ? c : qMin(a, c), to = a < 0 ? c : qMax(a, c);
    out.reserve(to - from + 1);
    for (qint64 row = from; row <= to; ++row)
        out << m_shown.numberAt(row);
    return out;
}

bool SessionMonitorView::isSelected(qint64 number) const {
    const qint64 row = m_shown.rowOf(number), c = currentRow(), a = m_shown.rowOf(m_anchor);
    if (row < 0 || c < 0)
        return false;
    return a < 0 ? row == c : row >= qMin(a, c) && row <= qMax(a, c);
}

void SessionMonitorView::setCurrentRow(qint64 row, bool extend) {
    if (row < 0 || row >= m_shown.count())
        return;
    m_current = m_shown.numberAt(row);
    if (!extend || m_anchor < 0)
        m_anchor = m_current;
    QScrollBar* bar = verticalScrollBar();
    if (row < bar->value())
        bar->setValue(int(row));
    else if (row >= bar->value() + scrollRows())
        bar->setValue(int(row - scrollRows() + 1));
    viewport()->update();
    SessionAccessible::currentChanged(this, row);
    Q_EMIT currentChanged(m_current);
}

void SessionMonitorView::setFollow(bool follow) {
    if (follow == m_follow && (!follow || m_newRows == 0))
        return;
    m_follow = follow;
    if (follow)
        m_newRows = 0;
    Q_EMIT followChanged(m_follow, m_newRows);
}

void SessionMonitorView::showFromTop() {
    setFollow(false);
    m_silentScroll = true;
    verticalScrollBar()->setValue(0);
    m_silentScroll = false;
    viewport()->update();
}

void SessionMonitorView::followNewest() {
    updateRange();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    setFollow(true);
}

void SessionMonitorView::onAppended(qint64 count) {
    if (count <= 0)
        return;
    m_pendingAppended += count;
    const bool close = m_sinceBatch.isValid() && m_sinceBatch.elapsed() < streamGapMs;
    m_streak = close ? m_streak + 1 : 0;
    m_sinceBatch.start();
    if (m_flush.isActive())
        return;
    const int interval = m_streak >= streamBatches ? streamIntervalMs : quietIntervalMs;
    const qint64 since = m_sinceFlush.isValid() ? m_sinceFlush.elapsed() : interval;
    m_flush.start(int(qBound(qint64(0), interval - since, qint64(interval))));
}

void SessionMonitorView::flush() {
    m_sinceFlush.start();
    const qint64 appended = m_pendingAppended;
    m_pendingAppended = 0;
    QScrollBar* bar = verticalScrollBar();
    const int before = bar->value();
    updateRange();
    if (m_follow) {
        m_silentScroll = true;
        bar->setValue(bar->maximum());
        m_silentScroll = false;
    } else if (appended > 0) {
        m_newRows += appended;
        Q_EMIT followChanged(false, m_newRows);
    }
    // The rows drawn move up as pixels; only the new ones are painted.
    const int moved = bar->value() - before;
    if (moved > 0 && moved < scrollRows())
        viewport()->scroll(0, -moved * m_rowHeight);
    else if (moved != 0)
        viewport()->update();
    const qint64 count = m_shown.count();
    const QRect fresh = rowRect(count - qMin(appended, count))
                            .united(rowRect(count - 1))
                            .intersected(viewport()->rect());
    if (!fresh.isEmpty())
        viewport()->update(fresh);
    SessionAccessible::rowsChanged(this, QAccessibleTableModelChangeEvent::RowsInserted,
                                   count - appended, count - 1);
    Q_EMIT flushed();
}

void SessionMonitorView::onDropped(qint64 count) {
    // Rows leave only at the top: the rest keep their place on screen.
    QScrollBar* bar = verticalScrollBar();
    const qint64 wanted = bar->value() - count;
    m_silentScroll = true;
    updateRange();
    bar->setValue(int(qMax(qint64(0), wanted)));
    m_silentScroll = false;
    // Following, the rows that came with them move the view at the next flush.
    if (wanted < 0)
        viewport()->update();
    SessionAccessible::rowsChanged(this, QAccessibleTableModelChangeEvent::RowsRemoved, 0,
                                   count - 1);
}

void SessionMonitorView::onReset() {
    m_flush.stop();
    m_pendingAppended = 0;
    updateRange();
    const qint64 current = currentRow();
    m_silentScroll = true;
    if (m_follow)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    else if (current >= 0)
        verticalScrollBar()->setValue(int(qMax(qint64(0), current - scrollRows() / 2)));
    m_silentScroll = false;
    m_newRows = 0;
    Q_EMIT followChanged(m_follow, 0);
    viewport()->update();
    SessionAccessible::rowsChanged(this, QAccessibleTableModelChangeEvent::ModelReset, 0, 0);
}

void SessionMonitorView::scrollContentsBy(int, int dy) {
    if (m_silentScroll)
        return;
    if (qAbs(dy) < scrollRows())
        viewport()->scroll(0, dy * m_rowHeight);
    else
        viewport()->update();
}

void SessionMonitorView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    placeHeader();
    updateRange();
    if (m_follow) {
        m_silentScroll = true;
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        m_silentScroll = false;
    }
}

void SessionMonitorView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        m_rowHeight = fontMetrics().height() + 4;
        updateRange();
    }
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        viewport()->update();
    QAbstractScrollArea::changeEvent(event);
}

bool SessionMonitorView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const qint64 row = rowAt(help->pos().y());
        if (row >= 0)
            QToolTip::showText(help->globalPos(), rowText(row).left(4096), viewport(),
                               rowRect(row));
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void SessionMonitorView::mousePressEvent(QMouseEvent* event) {
    const qint64 row = rowAt(event->position().toPoint().y());
    if (row >= 0 && event->button() == Qt::LeftButton)
        setCurrentRow(row, event->modifiers() & Qt::ShiftModifier);
    QAbstractScrollArea::mousePressEvent(event);
}

void SessionMonitorView::keyPressEvent(QKeyEvent* event) {
    const std::optional<qint64> row =
        navigatedRow(event->key(), currentRow(), m_shown.count(), scrollRows());
    if (!row) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (*row >= 0)
        setCurrentRow(*row, event->modifiers() & Qt::ShiftModifier);
    if (event->key() == Qt::Key_End)
        followNewest();
    event->accept();
}
