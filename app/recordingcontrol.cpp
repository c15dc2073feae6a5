#include "app/recordingcontrol.h"

#include "app/controls.h"
#include "sequence/sequencerecorder.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <cstdio>

RecordingControl::RecordingControl(MainSession& session, QMenu* menu, QWidget* window)
    : QObject(window), m_session(session), m_window(window) {
    setObjectName(QStringLiteral("recording"));
    m_record = menu->addAction(QStringLiteral("Record Sequence..."));
    m_record->setObjectName(QStringLiteral("mnuRecordSequence"));
    connect(m_record, &QAction::triggered, this, &RecordingControl::choose);
    m_stop = menu->addAction(QStringLiteral("Stop Recording"));
    m_stop->setObjectName(QStringLiteral("mnuStopRecording"));
    connect(m_stop, &QAction::triggered, this, &RecordingControl::stop);
    m_stop->setVisible(false);
}

RecordingControl::~RecordingControl() {
    if (!m_recorder || m_recorder->sentPresses() == 0)
        return;
    // No window is left to tell of a failure in: standard error has it.
    const QString error = writeRecording(m_path, m_recorder->text(m_path));
    if (!error.isEmpty())
        std::fprintf(stderr, "orv-test: %s\n", qPrintable(error));
}

QString RecordingControl::askPath(const QString& title) {
    QFileDialog dialog(m_window, title, {},
                       QStringLiteral("Sequence files (*.seq *.txt);;All files (*)"));
    dialog.setObjectName(QStringLiteral("dlgRecordSequence"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("seq"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void RecordingControl::choose() {
    if (isRecording())
        return;
    const QString path = askPath(QStringLiteral("Record Sequence"));
    if (!path.isEmpty())
        start(path);
}

bool RecordingControl::start(const QString& path) {
    if (isRecording())
        return false;
    // Told now, not after an hour of pressing keys.
    if (const QString problem = recordingPathProblem(path); !problem.isEmpty()) {
        QMessageBox::warning(m_window, programTitle(), problem);
        return false;
    }
    m_path = path;
    m_recorder = new SequenceRecorder(this);
    m_recorder->listen(m_session);
    showState();
    return true;
}

bool RecordingControl::stop() {
    if (!isRecording())
        return false;
    if (m_recorder->sentPresses() == 0) {
        QMessageBox::information(m_window, programTitle(),
                                 QStringLiteral("Nothing was recorded: no press sent a frame, so "
                                                "no file was written."));
    } else {
        for (QString error = writeRecording(m_path, m_recorder->text(m_path)); !error.isEmpty();
             error = writeRecording(m_path, m_recorder->text(m_path))) {
            QMessageBox::warning(m_window, programTitle(),
                                 error + QStringLiteral("\n\nThe recording goes on; choose "
                                                        "another file for it."));
            const QString other = askPath(QStringLiteral("Save Recording As"));
            if (other.isEmpty())
                return false;
            m_path = other;
        }
    }
    delete m_recorder;
    m_recorder = nullptr;
    showState();
    return true;
}

void RecordingControl::showState() {
    m_record->setEnabled(!isRecording());
    m_stop->setVisible(isRecording());
    if (!m_window)
        return;
    if (isRecording()) {
        m_title = m_window->windowTitle();
        m_window->setWindowTitle(m_title + QStringLiteral(" - recording to ") +
                                 QFileInfo(m_path).fileName());
    } else if (!m_title.isEmpty()) {
        m_window->setWindowTitle(m_title);
        m_title.clear();
    }
}
