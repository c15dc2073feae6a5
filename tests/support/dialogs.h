#pragma once

#include "app/filechooser.h"

#include <QList>
#include <QMessageBox>
#include <memory>

// What a modal message box showed before the test answered it.
struct AnsweredBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers the next modal message boxes in turn, one button each, as an
// operator would, and records what they said. Gives up after ten seconds.
std::shared_ptr<QList<AnsweredBox>> answerMessageBoxes(QList<QMessageBox::StandardButton> buttons);

// The same for a single box; seen tells whether it came.
struct AnsweredOne {
    std::shared_ptr<QList<AnsweredBox>> boxes;
    bool seen() const { return !boxes->isEmpty(); }
    const AnsweredBox* operator->() const { return &boxes->first(); }
};
inline AnsweredOne answerNextMessageBox(QMessageBox::StandardButton button) {
    return {answerMessageBoxes({button})};
}

// Answers the windows' file questions, in turn, with the paths given, as an
// operator picking them would; no dialog opens. A question with no answer
// left is cancelled. The dialog is back once this goes.
class FileAnswers {
public:
    explicit FileAnswers(QStringList paths = {});
    ~FileAnswers();
    FileAnswers(const FileAnswers&) = delete;
    FileAnswers& operator=(const FileAnswers&) = delete;
    void add(const QString& path) { m_paths << path; }

private:
    QStringList m_paths;
};
