#include "app/documentopener.h"

#include <QProcess>

void openInViewer(const QString& path, QObject* context, std::function<void()> noViewer) {
    auto* opener = new QProcess(context);
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({path});
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, noViewer](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0)
                             noViewer();
                         opener->deleteLater();
                     });
    QObject::connect(opener, &QProcess::errorOccurred, opener,
                     [opener, noViewer](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         noViewer();
                         opener->deleteLater();
                     });
    opener->start();
}
