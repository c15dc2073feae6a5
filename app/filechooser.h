#pragma once

#include <QString>
#include <functional>

class QWidget;

// How the windows ask the operator for a file: a file dialog, unless a test
// has put in a chooser of its own that answers at once.
struct FileRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    QString title;     // the dialog's title: "Run Sequence", "Save Report", ...
    QString suggested; // the name a save starts from
    QString filters;   // "JUnit XML (*.xml);;All files (*)"
};

struct FileChoice {
    QString path;   // empty: the operator cancelled
    QString filter; // the filter chosen, one of the request's
};

using FileChooser = std::function<FileChoice(QWidget* parent, const FileRequest& request)>;

FileChoice chooseFile(QWidget* parent, const FileRequest& request);

// Replaces the chooser for the whole program; an empty one puts the dialog back.
void setFileChooser(FileChooser chooser);
