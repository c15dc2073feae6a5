#include "app/keypadkeys.h"

#include "app/commandbutton.h"
#include "protocol/commandtable.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

int KeypadKeys::targetOf(int key, Qt::KeyboardModifiers modifiers) {
    // Ctrl with a letter, as a bench tool's own commands go: T for Test, R for
    // Reset. Neither means anything to a text field, and Ctrl+C stays Copy.
    const Qt::KeyboardModifiers held = modifiers & ~Qt::KeypadModifier;
    if (held == Qt::ControlModifier && key == Qt::Key_T)
        return CommTest;
    if (held == Qt::ControlModifier && key == Qt::Key_R)
        return Reset;
    // Shift is allowed: on many layouts * and #, and on some the digits, need it.
    if (held & ~Qt::ShiftModifier)
        return None;
    char caption = 0;
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        caption = char('0' + (key - Qt::Key_0));
    else if (key == Qt::Key_Asterisk)
        caption = '*';
    else if (key == Qt::Key_NumberSign)
        caption = '#';
    return caption ? commands::keypadIndex(caption) : None;
}

QKeySequence KeypadKeys::commTestKey() {
    return QKeySequence(Qt::CTRL | Qt::Key_T);
}

QKeySequence KeypadKeys::resetKey() {
    return QKeySequence(Qt::CTRL | Qt::Key_R);
}

KeypadKeys::KeypadKeys(QWidget* window, std::function<CommandButton*(int)> button,
                       std::function<void(CommandButton*)> light)
    : QObject(window), m_window(window), m_button(std::move(button)), m_light(std::move(light)) {
    for (int i = 0; i < commands::keypadSize; ++i)
        m_button(i)->setToolTip(QStringLiteral("Keyboard: %1")
                                    .arg(QLatin1Char(commands::keypadCaptions[std::size_t(i)])));
    m_button(CommTest)->setToolTip(
        QStringLiteral("Keyboard: %1").arg(commTestKey().toString(QKeySequence::NativeText)));
    m_button(Reset)->setToolTip(
        QStringLiteral("Keyboard: %1").arg(resetKey().toString(QKeySequence::NativeText)));
    // The application's filter sees a key before the focused widget does:
    // a list view would take a digit for its type-ahead search.
    qApp->installEventFilter(this);
}

bool KeypadKeys::typingInTextField() const {
    QWidget* focus = QApplication::focusWidget();
    if (auto* combo = qobject_cast<QComboBox*>(focus))
        return combo->isEditable();
    return qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus) ||
           qobject_cast<QPlainTextEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus);
}

bool KeypadKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != m_window || !m_window->isActiveWindow() ||
        typingInTextField())
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const int target = targetOf(key->key(), key->modifiers());
    if (target == None)
        return false;
    // A held key would otherwise send a stream of frames nobody counted.
    if (key->isAutoRepeat())
        return true;
    CommandButton* button = m_button(target);
    // As with the mouse: a disabled button neither lights nor sends.
    if (button && button->isEnabled()) {
        m_light(button);
        button->click();
    }
    return true;
}
