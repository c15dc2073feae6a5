#include "app/elidedlabel.h"

#include <QPainter>
#include <QStyle>

namespace {
constexpr int leastLetters = 12;
}

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

QSize ElidedLabel::sizeHint() const {
    return minimumSizeHint();
}

QSize ElidedLabel::minimumSizeHint() const {
    const QFontMetrics fm = fontMetrics();
    const QMargins m = contentsMargins();
    return {fm.averageCharWidth() * leastLetters + m.left() + m.right(),
            fm.height() + m.top() + m.bottom()};
}

void ElidedLabel::paintEvent(QPaintEvent* event) {
    const QRect room = contentsRect();
    const QString whole = text();
    const bool fits = fontMetrics().horizontalAdvance(whole) <= room.width();
    setToolTip(fits ? QString() : whole);
    if (fits) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter p(this);
    style()->drawItemText(&p, room, int(alignment()), palette(), isEnabled(),
                          fontMetrics().elidedText(whole, Qt::ElideRight, room.width()),
                          foregroundRole());
}
