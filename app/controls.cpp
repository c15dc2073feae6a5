#include "app/controls.h"

#include "app/twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

QString programTitle() {
    return QStringLiteral("KAL ORV TEST\u2122");
}

QGroupBox* frame(QWidget* parent, const char* name, const QString& caption, const QString& role,
                 QRect at) {
    return place(new QGroupBox(caption, parent), name, caption.isEmpty() ? role : caption, at);
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, int left, int top) {
    auto* l = place(new QLabel(caption, parent), name, caption, twipsRect(left, top, 0, 0));
    l->adjustSize();
    return l;
}

QLineEdit* textBox(QWidget* parent, const char* name, const QString& role, QRect at) {
    return place(new QLineEdit(QStringLiteral("comport"), parent), name, role, at);
}

bool confirm(QWidget* parent, const QString& question) {
    QMessageBox box(QMessageBox::Question, programTitle(), question,
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}
