#pragma once

#include <QKeySequence>
#include <QObject>
#include <functional>

class CommandButton;
class QKeyEvent;
class QWidget;

// The keypad from the keyboard: while the window is active and no text field
// has the focus, a digit (main row or number pad), * and # press that keypad
// button, and Ctrl+T and Ctrl+R press Comm Test and Reset. A key press goes
// the way of a click: the button lights red and sends, and a disabled button
// (a sequence is running) does neither.
class KeypadKeys : public QObject {
    Q_OBJECT
public:
    // What a key presses: a keypad index 0 to 11, or one of these.
    enum Target { None = -1, CommTest = 100, Reset = 101 };

    // The key map, of key code and modifiers alone.
    static int targetOf(int key, Qt::KeyboardModifiers modifiers);
    // The keys of Comm Test and Reset, for tooltips and help.
    static QKeySequence commTestKey();
    static QKeySequence resetKey();

    // Watches the window's key presses. button gives the button of a target;
    // light is the red press feedback.
    KeypadKeys(QWidget* window, std::function<CommandButton*(int target)> button,
               std::function<void(CommandButton*)> light);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool typingInTextField() const;

    QWidget* m_window;
    std::function<CommandButton*(int)> m_button;
    std::function<void(CommandButton*)> m_light;
};
