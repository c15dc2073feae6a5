#include "session/stampedline.h"

#include "filetext/visibletext.h"

#include <QDateTime>

namespace {

const QString secondFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.");

} // namespace

void LineStamper::append(QByteArray& out, qint64 msecsSinceEpoch, const QByteArray& line) {
    const qint64 second =
        msecsSinceEpoch >= 0 ? msecsSinceEpoch / 1000 : -((-msecsSinceEpoch + 999) / 1000);
    if (second != m_second) {
        m_second = second;
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(second * 1000);
        m_day = at.date();
        m_stamp = at.toString(secondFormat).toLatin1();
    }
    const int ms = int(msecsSinceEpoch - second * 1000);
    out += m_stamp;
    out += char('0' + ms / 100);
    out += char('0' + ms / 10 % 10);
    out += char('0' + ms % 10);
    out += "  ";
    appendVisible(out, line);
}

QString stampedLine(qint64 msecsSinceEpoch, const QByteArray& line) {
    QByteArray out;
    LineStamper().append(out, msecsSinceEpoch, line);
    return QString::fromLatin1(out);
}

QString lineTime(qint64 msecsSinceEpoch) {
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch)
        .toString(secondFormat + QLatin1String("zzz"));
}
