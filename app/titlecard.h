#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class ShapeWidget;

// A small borderless window with the product title and the maker's name in a
// 3-pixel outline, and a 2-second timer that starts when it is created. The
// Splash and About windows are both made of one.
class TitleCard : public QWidget {
    Q_OBJECT
public:
    struct Layout {
        QRect client, outline, maker, title; // in twips, as laid out
    };

    TitleCard(const QString& objectName, const Layout& layout);

    QTimer& timer() { return m_timer; }

    // Shows the card centred on the screen.
    void showCentred();

private:
    QLabel* addLabel(const QString& name, const QString& caption, const QRect& at);

    QTimer m_timer;
};
