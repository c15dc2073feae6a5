// How the Session Monitor's rows look: the cells' texts, the tint of a
// kind, and the painting of the rows in view.
#include "app/sessionmonitorview.h"
#include "app/shownrows.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

namespace {

// Characters of a row's text laid out at most: the rest is past any screen.
constexpr qsizetype laidOutChars = 1024;

QColor mixed(const QColor& base, const QColor& hue, qreal share) {
    return QColor::fromRgbF(float(base.redF() * (1 - share) + hue.redF() * share),
                            float(base.greenF() * (1 - share) + hue.greenF() * share),
                            float(base.blueF() * (1 - share) + hue.blueF() * share));
}

} // namespace

QColor SessionMonitorView::kindColor(int kind) const {
    QColor hue;
    qreal share = 0.3;
    switch (RowKind(kind)) {
    case RowKind::Nak:
    case RowKind::Error:
        hue = QColor(230, 40, 40);
        break;
    case RowKind::ExpectFailed:
        hue = QColor(210, 30, 140);
        break;
    case RowKind::Crc:
        hue = QColor(240, 170, 0);
        break;
    case RowKind::NotSent:
        hue = QColor(240, 110, 0);
        break;
    case RowKind::Ack:
        hue = QColor(40, 170, 60);
        share = 0.1;
        break;
    default:
        return {};
    }
    return mixed(palette().color(QPalette::Base), hue, share);
}

QString SessionMonitorView::cellText(const SessionRow& row, int column) const {
    switch (column) {
    case TimeColumn:
        return QString::fromLatin1(row.time);
    case KindColumn:
        return kindLabel(row.kind);
    case TextColumn:
        return row.text;
    case AfterColumn:
        return row.after;
    }
    return {};
}

QString SessionMonitorView::rowText(qint64 row) const {
    const qint64 number = m_shown.numberAt(row);
    if (number < 0)
        return {};
    const SessionRow r = m_shown.rows().row(number);
    QStringList parts;
    if (!r.date.isEmpty())
        parts << QString::fromLatin1(r.date + ' ' + r.time);
    // Read out as a word: the symbol is for the eye.
    parts << kindName(r.kind);
    for (int c : {int(TextColumn), int(AfterColumn)})
        if (const QString t = cellText(r, c); !t.isEmpty())
            parts << t;
    return parts.join(QStringLiteral(", "));
}

void SessionMonitorView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect area = event->rect();
    const qint64 first = qMax(qint64(0), rowAt(qMax(0, area.top())));
    const qint64 value = verticalScrollBar()->value();
    const qint64 last = qMin(m_shown.count() - 1, value + area.bottom() / m_rowHeight);
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    const qint64 current = currentRow(), anchor = m_shown.rowOf(m_anchor);
    const qint64 selFrom = anchor < 0 ? current : qMin(anchor, current);
    const qint64 selTo = anchor < 0 ? current : qMax(anchor, current);
    const QFontMetrics fm = fontMetrics();
    QFont bold = font();
    bold.setBold(true);
    // The date shows where it changes from the row above.
    QByteArray dateAbove;
    if (first > 0 && first <= last)
        dateAbove = m_shown.rows().row(m_shown.numberAt(first - 1)).date;
    const int baseline = (m_rowHeight - fm.height()) / 2 + fm.ascent();
    for (qint64 row = first; row <= last && first <= last; ++row) {
        const qint64 number = m_shown.numberAt(row);
        const SessionRow r = m_shown.rows().row(number);
        const QRect rect = rowRect(row);
        const bool isSelected = current >= 0 && row >= selFrom && row <= selTo;
        const QColor tint = kindColor(int(r.kind));
        painter.fillRect(rect.intersected(area),
                         isSelected       ? palette().brush(group, QPalette::Highlight)
                         : tint.isValid() ? QBrush(tint)
                                          : palette().brush(group, QPalette::Base));
        painter.setPen(
            palette().color(group, isSelected ? QPalette::HighlightedText : QPalette::Text));
        for (int c = 0; c < ColumnCount; ++c) {
            const int x = m_header->sectionViewportPosition(c) + cellMargin;
            const int w = m_header->sectionSize(c) - 2 * cellMargin;
            if (w <= 0 || x > area.right() || x + w < area.left())
                continue;
            QString text = cellText(r, c);
            if (text.isEmpty())
                continue;
            if (c == TimeColumn && !r.date.isEmpty() && r.date != dateAbove)
                text = QString::fromLatin1(r.date + ' ' + r.time);
            if (text.size() > laidOutChars)
                text.truncate(laidOutChars);
            painter.setFont(c == KindColumn && isProblem(r.kind) ? bold : font());
            // Laid out once: elided only when it may not fit.
            if (qsizetype(text.size()) * fm.maxWidth() > w)
                text = (c == KindColumn && isProblem(r.kind) ? QFontMetrics(bold) : fm)
                           .elidedText(text, Qt::ElideRight, w);
            painter.drawText(QPoint(x, rect.top() + baseline), text);
        }
        dateAbove = r.date;
    }
    const int below = last >= first ? rowRect(last).bottom() + 1 : area.top();
    if (below <= area.bottom())
        painter.fillRect(QRect(area.left(), below, area.width(), area.bottom() - below + 1),
                         palette().brush(group, QPalette::Base));
}
