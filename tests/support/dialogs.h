#pragma once

#include "app/filechooser.h"

#include <QMessageBox>
#include <memory>

// Answers the next modal message boxes in turn, one button each, as an
// operator would, and records the text of each. Gives up after ten seconds.
std::shared_ptr<QStringList> answerMessageBoxes(QList<QMessageBox::StandardButton> buttons);

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
