#pragma once

#include <QColor>
#include <QWidget>

// A drawn shape: a circle filled with a colour (the reply lamp), or a
// rectangle outline (the frame of the Splash and About windows).
class ShapeWidget : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor fillColor READ fillColor WRITE setFillColor)
public:
    enum Kind { Rectangle, Circle };

    ShapeWidget(Kind kind, QWidget* parent);

    void setBorderWidth(int pixels);
    // An invalid colour means no fill.
    void setFillColor(const QColor& color);
    QColor fillColor() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind m_kind;
    int m_borderWidth = 1;
    QColor m_fill;
};
