#include "app/commandbutton.h"

#include <QApplication>
#include <QPalette>
#include <QStyleOptionButton>
#include <QStylePainter>

CommandButton::CommandButton(const QString& caption, Style style, QWidget* parent)
    : QPushButton(caption, parent), m_backColor(buttonFace()), m_style(style) {}

QColor CommandButton::buttonFace() {
    return QApplication::palette().color(QPalette::Active, QPalette::Button);
}

void CommandButton::setBackColor(const QColor& color) {
    if (color == m_backColor)
        return;
    m_backColor = color;
    if (m_style == Graphical)
        update();
}

void CommandButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    if (m_style != Graphical || m_backColor == buttonFace())
        return;
    // Styles shade the palette's button colour; the face is painted over
    // instead, so the colour shows as it is, inside the style's own bevel.
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    p.fillRect(style()->subElementRect(QStyle::SE_PushButtonContents, &option, this), m_backColor);
    p.drawControl(QStyle::CE_PushButtonLabel, option);
}

void CommandButton::mouseReleaseEvent(QMouseEvent* event) {
    // Qt repaints a released button, waiting on the window system, before it
    // reports the click. For the command keys that repaint is held back until
    // the click's frame has gone out (re-enabling updates schedules it).
    // Standard buttons may open a modal box from their click, and must not
    // stay unpainted meanwhile.
    if (m_style != Graphical) {
        QPushButton::mouseReleaseEvent(event);
        return;
    }
    setUpdatesEnabled(false);
    QPushButton::mouseReleaseEvent(event);
    setUpdatesEnabled(true);
}
