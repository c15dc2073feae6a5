#pragma once

#include <QObject>

class CommandButton;
class QTimer;
class QWidget;

// Red the moment a mouse button presses a watched button; every command
// button of the window back to the button face on each tick of the timer.
// The timer starts with the first press and is never stopped.
class PressFeedback : public QObject {
    Q_OBJECT
public:
    PressFeedback(QWidget* window, QTimer& timer);

    void watch(CommandButton* button);
    // Lights button as a mouse press does; for presses that come another way.
    void light(CommandButton* button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tick();

    QWidget* m_window;
    QTimer& m_timer;
};
