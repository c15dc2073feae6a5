#include "app/filechooser.h"

#include <QFileDialog>

namespace {

FileChoice askWithDialog(QWidget* parent, const FileRequest& request) {
    FileChoice choice;
    choice.path = request.kind == FileRequest::Kind::Open
                      ? QFileDialog::getOpenFileName(parent, request.title, request.suggested,
                                                     request.filters, &choice.filter)
                      : QFileDialog::getSaveFileName(parent, request.title, request.suggested,
                                                     request.filters, &choice.filter);
    return choice;
}

FileChooser& chooser() {
    static FileChooser current = askWithDialog;
    return current;
}

} // namespace

FileChoice chooseFile(QWidget* parent, const FileRequest& request) {
    return chooser()(parent, request);
}

void setFileChooser(FileChooser replacement) {
    chooser() = replacement ? std::move(replacement) : FileChooser(askWithDialog);
}
