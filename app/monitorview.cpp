#include "app/monitorview.h"

#include "app/monitoraccessible.h"
#include "app/rownavigation.h"
#include "app/stillscrollbar.h"
#include "session/monitormodel.h"

#include <QAccessible>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

namespace {

constexpr int textMargin = 3;

} // namespace

MonitorView::MonitorView(const MonitorModel& model, QWidget* parent)
    : QAbstractScrollArea(parent), m_model(model) {
    MonitorAccessible::install();
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBar(new StillScrollBar(Qt::Vertical, this));
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    // The view paints its whole area itself, one row slot at a time: a fill
    // of the whole exposed strip at once is tall enough for the raster
    // engine to hand it to its pool of threads, a dozen thread wakes for
    // every batch of a stream.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    m_rowHeight = fontMetrics().height() + 2;
    connect(&model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { onRowsInserted(first, last); });
    connect(&model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) { onRowsRemoved(first, last); });
    connect(&model, &QAbstractItemModel::modelReset, this, &MonitorView::onReset);
    connect(&model, &MonitorModel::selectedIndexChanged, this, &MonitorView::onSelection);
    updateRange();
    m_shownSelection = m_model.shownSelection();
}

int MonitorView::rowCount() const {
    return m_model.rowCount();
}

int MonitorView::selectedRow() const {
    return m_model.shownSelection();
}

QString MonitorView::rowText(int row) const {
    const MonitorModel::Line* line = m_model.shownLine(row);
    return line ? MonitorModel::displayText(*line) : QString();
}

QRect MonitorView::rowRect(int row) const {
    return {0, row * m_rowHeight - verticalScrollBar()->value(), viewport()->width(), m_rowHeight};
}

int MonitorView::rowAt(int y) const {
    if (y < 0)
        return -1;
    const int row = (y + verticalScrollBar()->value()) / m_rowHeight;
    return row < rowCount() ? row : -1;
}

void MonitorView::scrollToRow(int row) {
    QScrollBar* bar = verticalScrollBar();
    const int top = row * m_rowHeight;
    if (top < bar->value())
        bar->setValue(top);
    else if (top + m_rowHeight > bar->value() + viewport()->height())
        bar->setValue(top + m_rowHeight - viewport()->height());
}

void MonitorView::updateRange() {
    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(m_rowHeight);
    bar->setPageStep(viewport()->height());
    bar->setRange(0, qMax(0, rowCount() * m_rowHeight - viewport()->height()));
}

void MonitorView::updateRow(int row) {
    if (row >= 0)
        viewport()->update(rowRect(row));
}

void MonitorView::onRowsInserted(int first, int last) {
    updateRange();
    // Only the part of the new rows that is in view needs painting; rows
    // that come into view by scrolling are painted as they are exposed.
    const QRect fresh = rowRect(first).united(rowRect(last)).intersected(viewport()->rect());
    if (!fresh.isEmpty())
        viewport()->update(fresh);
    MonitorAccessible::rowsChanged(this, QAccessibleTableModelChangeEvent::RowsInserted, first,
                                   last);
}

void MonitorView::onRowsRemoved(int first, int last) {
    // Lines leave only from the top: the rest keep their place on screen if
    // the scroll position moves up by as much.
    const int gone = last - first + 1;
    QScrollBar* bar = verticalScrollBar();
    const int wanted = bar->value() - gone * m_rowHeight;
    m_silentScroll = true;
    updateRange();
    bar->setValue(wanted);
    m_silentScroll = false;
    if (bar->value() != wanted)
        viewport()->update();
    if (m_shownSelection >= 0)
        m_shownSelection = qMax(-1, m_shownSelection - gone);
    MonitorAccessible::rowsChanged(this, QAccessibleTableModelChangeEvent::RowsRemoved, first,
                                   last);
}

void MonitorView::onReset() {
    forgetLayouts();
    m_shownSelection = -1;
    updateRange();
    verticalScrollBar()->setValue(0);
    viewport()->update();
    MonitorAccessible::rowsChanged(this, QAccessibleTableModelChangeEvent::ModelReset, 0, 0);
}

void MonitorView::onSelection() {
    const int row = m_model.shownSelection();
    if (row == m_shownSelection)
        return;
    updateRow(m_shownSelection);
    m_shownSelection = row;
    if (row >= 0) {
        scrollToRow(row);
        updateRow(row);
    }
    MonitorAccessible::currentChanged(this, row);
}

void MonitorView::scrollContentsBy(int, int dy) {
    if (!m_silentScroll)
        viewport()->scroll(0, dy);
}

void MonitorView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    // Rows are elided to the width, so a new width lays them out anew.
    forgetLayouts();
    updateRange();
}

void MonitorView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        m_rowHeight = fontMetrics().height() + 2;
        forgetLayouts();
        updateRange();
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(event);
}

void MonitorView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    updateRow(m_shownSelection); // the highlight shows whether the list has focus
}

void MonitorView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    updateRow(m_shownSelection);
}

void MonitorView::forgetLayouts() {
    m_layouts.clear();
    m_asciiKnown = false;
}

bool MonitorView::placeAscii(const QString& text, int width, QGlyphRun& run) {
    if (!m_asciiKnown) {
        m_asciiKnown = true;
        m_rawFont = QRawFont::fromFont(font());
        QString ascii;
        for (char c = 0x20; c <= 0x7E; ++c)
            ascii += QLatin1Char(c);
        const QList<quint32> glyphs = m_rawFont.glyphIndexesForString(ascii);
        const QList<QPointF> advances = m_rawFont.advancesForGlyphIndexes(glyphs);
        if (glyphs.size() != 95 || advances.size() != 95 || glyphs.contains(0u))
            m_rawFont = QRawFont();
        for (qsizetype i = 0; m_rawFont.isValid() && i < 95; ++i) {
            m_asciiGlyphs[std::size_t(i)] = glyphs[i];
            m_asciiAdvances[std::size_t(i)] = advances[i].x();
        }
    }
    if (!m_rawFont.isValid())
        return false;
    QList<quint32> glyphs(text.size());
    QList<QPointF> positions(text.size());
    qreal x = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20 || c > 0x7E)
            return false;
        glyphs[i] = m_asciiGlyphs[c - 0x20];
        positions[i] = QPointF(x, 0);
        x += m_asciiAdvances[c - 0x20];
    }
    if (x > width)
        return false;
    run.setRawFont(m_rawFont);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    return true;
}

const MonitorView::Layout& MonitorView::laidOut(int row) {
    const qint64 number = m_model.shownNumber(row);
    auto it = m_layouts.find(number);
    if (it == m_layouts.end()) {
        // Shaping is most of what a new row costs, and the rows of a device
        // are plain ASCII: placed glyph by glyph, without it.
        const QString text = rowText(row);
        const int width = viewport()->width() - 2 * textMargin;
        Layout laid;
        if (!placeAscii(text, width, laid.glyphs)) {
            laid.text.setText(fontMetrics().elidedText(text, Qt::ElideRight, width));
            laid.text.setTextFormat(Qt::PlainText);
            laid.text.prepare(QTransform(), font());
        }
        it = m_layouts.insert(number, laid);
    }
    return *it;
}

void MonitorView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect area = event->rect();
    const int value = verticalScrollBar()->value();
    const int first = qMax(0, (area.top() + value) / m_rowHeight);
    const int last = qMin(rowCount() - 1, (area.bottom() + value) / m_rowHeight);
    const int selected = m_model.shownSelection();
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    const int textTop = (m_rowHeight - fontMetrics().height()) / 2;
    const int baseline = textTop + fontMetrics().ascent();
    for (int row = first; row <= last; ++row) {
        const QRect r = rowRect(row);
        if (row == selected) {
            painter.fillRect(r.intersected(area), palette().brush(group, QPalette::Highlight));
            painter.setPen(palette().color(group, QPalette::HighlightedText));
        } else {
            painter.fillRect(r.intersected(area), palette().brush(group, QPalette::Base));
            painter.setPen(palette().color(group, QPalette::Text));
        }
        const Layout& laid = laidOut(row);
        if (laid.text.text().isEmpty())
            painter.drawGlyphRun(QPointF(r.left() + textMargin, r.top() + baseline), laid.glyphs);
        else
            painter.drawStaticText(r.left() + textMargin, r.top() + textTop, laid.text);
    }
    // Below the last row, empty slots of a row's height.
    for (int top = rowRect(qMax(first, last + 1)).top(); top <= area.bottom(); top += m_rowHeight)
        painter.fillRect(QRect(area.left(), top, area.width(), m_rowHeight).intersected(area),
                         palette().brush(group, QPalette::Base));
    // Layouts of rows far out of view are of no more use.
    if (m_layouts.size() > 4 * (viewport()->height() / m_rowHeight + 1)) {
        const qint64 top = m_model.shownNumber(rowAt(0) < 0 ? rowCount() : rowAt(0));
        const qint64 span = viewport()->height() / m_rowHeight + 1;
        m_layouts.removeIf([top, span](const auto& entry) {
            return entry.key() < top || entry.key() > top + span;
        });
    }
}

bool MonitorView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int row = rowAt(help->pos().y());
        if (m_model.shownLine(row))
            QToolTip::showText(help->globalPos(), m_model.shownToolTip(row), viewport(),
                               rowRect(row));
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void MonitorView::mousePressEvent(QMouseEvent* event) {
    const int row = rowAt(event->position().toPoint().y());
    if (row >= 0 && event->button() == Qt::LeftButton)
        Q_EMIT rowPicked(row);
    QAbstractScrollArea::mousePressEvent(event);
}

void MonitorView::keyPressEvent(QKeyEvent* event) {
    const std::optional<qint64> row = navigatedRow(event->key(), selectedRow(), rowCount(),
                                                   qMax(1, viewport()->height() / m_rowHeight));
    if (!row) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (*row >= 0)
        Q_EMIT rowPicked(int(*row));
    event->accept();
}
