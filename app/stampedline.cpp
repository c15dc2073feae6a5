#include "app/stampedline.h"

#include "app/visibletext.h"

#include <QDateTime>

QString lineTime(qint64 msecsSinceEpoch) {
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString stampedLine(qint64 msecsSinceEpoch, const QByteArray& line) {
    return lineTime(msecsSinceEpoch) + QLatin1String("  ") + visibleText(line);
}
