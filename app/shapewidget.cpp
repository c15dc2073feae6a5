#include "app/shapewidget.h"

#include <QPainter>

ShapeWidget::ShapeWidget(Kind kind, QWidget* parent) : QWidget(parent), m_kind(kind) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeWidget::setBorderWidth(int pixels) {
    m_borderWidth = pixels;
    update();
}

void ShapeWidget::setFillColor(const QColor& color) {
    // Every reply sets the lamp; repainting an unchanged one costs the frame behind it too.
    if (color == m_fill)
        return;
    m_fill = color;
    update();
}

void ShapeWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, m_kind == Circle);
    QPen pen(palette().color(QPalette::WindowText), m_borderWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(m_fill.isValid() ? QBrush(m_fill) : QBrush(Qt::NoBrush));
    // The border lies inside the shape's bounds.
    const qreal inset = m_borderWidth / 2.0;
    QRectF r = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    if (m_kind == Circle) {
        const qreal d = qMin(r.width(), r.height());
        r = QRectF(r.center().x() - d / 2, r.center().y() - d / 2, d, d);
        p.drawEllipse(r);
    } else {
        p.drawRect(r);
    }
}
