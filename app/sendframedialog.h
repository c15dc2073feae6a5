#pragma once

#include <QDialog>
#include <functional>

class MainSession;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

// Serial > Send Frame...: a frame of the operator's own, typed as hex words,
// with or without its checksum added, and the last frames sent to pick again.
// Not modal, so the monitor stays in use beside it.
class SendFrameDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int recentFrames = 10;

    // runGoing tells whether a sequence run owns the port just now.
    SendFrameDialog(MainSession& session, std::function<bool()> runGoing, QWidget* parent);

    // Adds the menu entry that shows the window, made on first use.
    static void addMenuEntry(QMenu* menu, MainSession& session, std::function<bool()> runGoing,
                             QWidget* parent);

    // Held off while a sequence runs, as the keypad is.
    void setSendingEnabled(bool enabled);

private:
    // The words to read: the field, and "sum" when the checksum is to be added.
    QByteArray words() const;
    void showPreview();
    void send();
    void pick(const QString& hex);

    MainSession& m_session;
    std::function<bool()> m_runGoing;
    QLineEdit* m_field = nullptr;
    QCheckBox* m_checksum = nullptr;
    QLabel* m_preview = nullptr;
    QListWidget* m_recent = nullptr;
    QPushButton* m_send = nullptr;
};
