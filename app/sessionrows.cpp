#include "app/sessionrows.h"

#include "filetext/visibletext.h"
#include "session/logfile.h"
#include "session/monitormodel.h"
#include "session/stampedline.h"

#include <QElapsedTimer>

LiveRows::LiveRows(const MonitorModel& monitor, QObject* parent)
    : SessionRows(parent), m_monitor(monitor) {
    connect(&monitor, &QAbstractItemModel::rowsInserted, this, &SessionRows::appended);
    connect(&monitor, &QAbstractItemModel::rowsRemoved, this, &SessionRows::dropped);
    connect(&monitor, &QAbstractItemModel::modelReset, this, &SessionRows::cleared);
}

qint64 LiveRows::first() const {
    return m_monitor.shownNumber(0);
}

qint64 LiveRows::end() const {
    return m_monitor.shownNumber(m_monitor.rowCount());
}

QByteArrayView LiveRows::visible(qint64 number, QByteArray& scratch, RowKind* kind) const {
    const MonitorModel::Line* line = m_monitor.shownLine(int(number - first()));
    scratch.clear();
    if (!line)
        return {};
    appendVisible(scratch, line->text);
    if (kind)
        *kind = rowKind(line->text);
    return scratch;
}

SessionRow LiveRows::row(qint64 number) const {
    SessionRow r;
    const MonitorModel::Line* line = m_monitor.shownLine(int(number - first()));
    if (!line)
        return r;
    // As the log writes it, "YYYY-MM-DD HH:MM:SS.mmm  <text>", taken apart;
    // the stamper keeps the date and time of the last second it saw.
    QByteArray stamped;
    m_stamper.append(stamped, line->msecsSinceEpoch, line->text);
    r.date = stamped.first(10);
    r.time = stamped.sliced(11, 12);
    r.kind = rowKind(line->text);
    r.text = QString::fromLatin1(stamped.sliced(25));
    if (line->sinceSendUs >= 0) {
        const double ms = line->sinceSendUs / 1000.0;
        r.after = ms < 10000 ? QString::number(ms, 'f', 1) + QStringLiteral(" ms after")
                             : QString::number(ms / 1000, 'f', 1) + QStringLiteral(" s after");
        const MonitorModel::Line* sent =
            line->sendRowsBack > 0 ? m_monitor.shownLine(int(number - line->sendRowsBack - first()))
                                   : nullptr;
        if (sent) {
            // "Key: 5 - 0B 02 02 50 5F" is named "Key: 5"; a frame of its own by its bytes.
            const qsizetype dash = sent->text.indexOf(" - ");
            r.after +=
                QLatin1Char(' ') + visibleText(dash > 0 ? sent->text.first(dash) : sent->text);
        } else {
            r.after += QStringLiteral(" the latest send");
        }
    }
    return r;
}

QByteArray LiveRows::logLine(qint64 number) const {
    const MonitorModel::Line* line = m_monitor.shownLine(int(number - first()));
    QByteArray out;
    if (line)
        m_stamper.append(out, line->msecsSinceEpoch, line->text);
    return out;
}

LogRows::LogRows(std::unique_ptr<LogFile> log, QObject* parent)
    : SessionRows(parent), m_log(std::move(log)) {
    connect(&m_indexing, &QTimer::timeout, this, &LogRows::indexSome);
    m_indexing.start(0);
    indexSome();
}

LogRows::~LogRows() = default;

void LogRows::indexSome() {
    // A slice of about 10 ms at a time, so the window answers meanwhile.
    QElapsedTimer slice;
    slice.start();
    const qint64 before = m_log->lineCount();
    while (!m_log->indexMore(1 << 20) && slice.elapsed() < 10) {
    }
    if (m_log->indexed())
        m_indexing.stop();
    if (m_log->lineCount() != before)
        Q_EMIT appended();
}

qint64 LogRows::end() const {
    return m_log->lineCount();
}

QByteArrayView LogRows::visible(qint64 number, QByteArray&, RowKind* kind) const {
    const LogLine line = parseLogLine(m_log->raw(number), kind != nullptr);
    if (kind)
        *kind = line.kind;
    return line.text;
}

SessionRow LogRows::row(qint64 number) const {
    const LogLine line = m_log->line(number);
    SessionRow r;
    r.date = line.date().toByteArray();
    r.time = line.time().toByteArray();
    r.kind = line.kind;
    // The log holds printable ASCII; a hand edit may have left UTF-8 or worse.
    r.text = QString::fromUtf8(line.text);
    return r;
}

QByteArray LogRows::logLine(qint64 number) const {
    return m_log->raw(number).toByteArray();
}

QString kindName(RowKind kind) {
    switch (kind) {
    case RowKind::Text:
        return QStringLiteral("text");
    case RowKind::Sent:
        return QStringLiteral("sent");
    case RowKind::Ack:
        return QStringLiteral("ACK");
    case RowKind::Nak:
        return QStringLiteral("NAK");
    case RowKind::Crc:
        return QStringLiteral("CRC");
    case RowKind::Reply:
        return QStringLiteral("reply");
    case RowKind::NotSent:
        return QStringLiteral("not sent");
    case RowKind::Error:
        return QStringLiteral("error");
    case RowKind::Port:
        return QStringLiteral("port");
    case RowKind::ExpectFailed:
        return QStringLiteral("expect failed");
    case RowKind::Run:
        return QStringLiteral("run");
    }
    return {};
}

QString kindLabel(RowKind kind) {
    switch (kind) {
    case RowKind::Nak:
    case RowKind::Error:
    case RowKind::ExpectFailed:
        return QStringLiteral("\u2716 ") + kindName(kind);
    case RowKind::Crc:
        return QStringLiteral("\u26A0 ") + kindName(kind);
    case RowKind::NotSent:
        return QStringLiteral("\u2298 ") + kindName(kind);
    default:
        return kindName(kind);
    }
}
