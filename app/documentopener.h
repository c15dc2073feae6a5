#pragma once

#include <QString>
#include <functional>

class QObject;

// Opens a file in the desktop's viewer with xdg-open, without waiting for it.
// xdg-open starting is not the file opening: it can find no viewer and end
// with an error, so noViewer runs when it cannot start or ends other than
// with status 0. The opener lives as long as context.
void openInViewer(const QString& path, QObject* context, std::function<void()> noViewer);
