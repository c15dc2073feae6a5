#pragma once

#include <QObject>
#include <QPointer>

class MainSession;
class QMessageBox;
class QWidget;

// The box that tells the operator about the port ("Lost ...", "Cannot open
// ..."). One at a time, not modal, and it closes itself once the port is open
// again: a message about a port that works again is only in the way.
class LinkWarning : public QObject {
    Q_OBJECT
public:
    LinkWarning(QWidget* window, const MainSession& session);

    void show(const QString& message);

private:
    void closeIfOpen();

    QWidget* m_window;
    const MainSession& m_session;
    QPointer<QMessageBox> m_box;
};
