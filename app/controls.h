#pragma once

#include <QRect>
#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;

// Small makers shared by the windows' layout code: every control gets its
// objectName, what screen readers call it, and its place.

// The title of the program's windows and question boxes.
QString programTitle();

template <typename W> W* place(W* w, const char* name, const QString& accessible, QRect at) {
    w->setObjectName(QLatin1String(name));
    w->setAccessibleName(accessible);
    w->setGeometry(at);
    return w;
}

// A frame; one without a caption is known to screen readers by its role.
QGroupBox* frame(QWidget* parent, const char* name, const QString& caption, const QString& role,
                 QRect at);
// Labels size themselves to their text from where they are put (twips).
QLabel* label(QWidget* parent, const char* name, const QString& caption, int left, int top);
QLineEdit* textBox(QWidget* parent, const char* name, const QString& role, QRect at);

// A modal OK/Cancel question with the question icon; true only for OK.
bool confirm(QWidget* parent, const QString& question);
