#include "dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>

std::shared_ptr<QStringList> answerMessageBoxes(QList<QMessageBox::StandardButton> buttons) {
    auto answered = std::make_shared<QStringList>();
    auto* timer = new QTimer(qApp);
    const QDeadlineTimer deadline(10000);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answered, deadline, buttons] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->property("answeredByTest").toBool()) {
            if (deadline.hasExpired())
                timer->deleteLater();
            return;
        }
        box->setProperty("answeredByTest", true);
        answered->append(box->text());
        const QMessageBox::StandardButton button = buttons[answered->size() - 1];
        if (answered->size() == buttons.size()) {
            timer->stop();
            timer->deleteLater();
        }
        if (QAbstractButton* b = box->button(button))
            b->click();
        else
            box->reject();
    });
    timer->start(10);
    return answered;
}

FileAnswers::FileAnswers(QStringList paths) : m_paths(std::move(paths)) {
    setFileChooser([this](QWidget*, const FileRequest& request) {
        return FileChoice{m_paths.isEmpty() ? QString() : m_paths.takeFirst(),
                          request.filters.section(";;", 0, 0)};
    });
}

FileAnswers::~FileAnswers() {
    setFileChooser({});
}
