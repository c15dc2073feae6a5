#pragma once

#include <QColor>
#include <QPushButton>

// A push button with a back colour. Graphical buttons draw it; standard ones
// keep the system button colour whatever it is set to.
class CommandButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QColor backColor READ backColor WRITE setBackColor)
public:
    enum Style { Standard, Graphical };

    CommandButton(const QString& caption, Style style, QWidget* parent);

    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor& color);

    // The system button colour every button starts with.
    static QColor buttonFace();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QColor m_backColor;
    Style m_style;
};
