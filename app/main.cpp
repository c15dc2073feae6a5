#include "app/windows.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orv-test"));
    QApplication::setApplicationVersion(QStringLiteral(ORV_VERSION));

    Windows windows;
    windows.showMain();
    return QApplication::exec();
}
