#include "app/pressfeedback.h"

#include "app/commandbutton.h"

#include <QEvent>
#include <QTimer>

PressFeedback::PressFeedback(QWidget* window, QTimer& timer)
    : QObject(window), m_window(window), m_timer(timer) {
    m_timer.setInterval(250);
    connect(&m_timer, &QTimer::timeout, this, &PressFeedback::tick);
}

void PressFeedback::watch(CommandButton* button) {
    button->installEventFilter(this);
}

bool PressFeedback::eventFilter(QObject* watched, QEvent* event) {
    // Any mouse button; a double click is a press too.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
        light(static_cast<CommandButton*>(watched));
    return false;
}

void PressFeedback::light(CommandButton* button) {
    button->setBackColor(Qt::red);
    // Starting an active timer would restart its interval.
    if (!m_timer.isActive())
        m_timer.start();
}

void PressFeedback::tick() {
    const QColor face = CommandButton::buttonFace();
    for (CommandButton* button : m_window->findChildren<CommandButton*>())
        button->setBackColor(face);
}
