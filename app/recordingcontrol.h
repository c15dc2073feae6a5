#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class MainSession;
class QAction;
class QMenu;
class QWidget;
class SequenceRecorder;

// Serial > Record Sequence... and Serial > Stop Recording: the presses and
// replies from then on become a sequence file, written whole when recording
// stops. While it records, the window's title says so.
class RecordingControl : public QObject {
    Q_OBJECT
public:
    // Adds its two entries to menu; window is the one whose title tells.
    RecordingControl(MainSession& session, QMenu* menu, QWidget* window);
    // A recording still going when the window goes is written, not lost.
    ~RecordingControl() override;

    bool isRecording() const { return m_recorder != nullptr; }
    QString path() const { return m_path; }

    // Records into path from now on; false, having said why, when a file
    // cannot be written there.
    bool start(const QString& path);
    // Writes the file and stops; false, having said why, when it could not
    // be written (the recording then goes on, nothing lost).
    bool stop();

private:
    void choose();
    // The file the operator names in a save dialog, or empty.
    QString askPath(const QString& title);
    void showState();

    MainSession& m_session;
    QPointer<QWidget> m_window;
    QAction* m_record = nullptr;
    QAction* m_stop = nullptr;
    SequenceRecorder* m_recorder = nullptr;
    QString m_path;
    QString m_title; // the window's own title, kept while recording shows in it
};
