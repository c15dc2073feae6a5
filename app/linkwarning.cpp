#include "app/linkwarning.h"

#include "app/controls.h"
#include "session/mainsession.h"

#include <QMessageBox>

LinkWarning::LinkWarning(QWidget* window, const MainSession& session)
    : QObject(window), m_window(window), m_session(session) {
    // The session says the port is open again with its "Port: ..." line.
    connect(&session.monitor(), &MonitorModel::lineAppended, this, [this](int row) {
        if (m_session.monitor().line(row).startsWith("Port: "))
            closeIfOpen();
    });
}

void LinkWarning::show(const QString& message) {
    // One box at a time: a flapping adapter must not stack them up.
    if (!m_box) {
        m_box = new QMessageBox(QMessageBox::Warning, programTitle(), message, QMessageBox::Ok,
                                m_window);
        m_box->setObjectName(QStringLiteral("linkWarning"));
        m_box->setAttribute(Qt::WA_DeleteOnClose);
        // Not modal: the operator can go on reading the monitor meanwhile.
        m_box->setModal(false);
    }
    m_box->setText(message);
    m_box->show();
    m_box->raise();
}

void LinkWarning::closeIfOpen() {
    if (m_box && m_session.portOpen())
        m_box->close();
}
