#include "session/monitormodel.h"

#include "session/stampedline.h"
#include "filetext/visibletext.h"

#include <QDateTime>
#include <limits>

MonitorModel::MonitorModel(QObject* parent) : QAbstractListModel(parent) {
    m_publishTimer.setSingleShot(true);
    m_publishTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_publishTimer, &QTimer::timeout, this, &MonitorModel::publish);
}

void MonitorModel::append(const QByteArray& line) {
    append(line, QDateTime::currentMSecsSinceEpoch());
}

void MonitorModel::append(const QByteArray& line, qint64 msecsSinceEpoch, qint32 sinceSendUs,
                          qint64 sendNumber, bool continues) {
    if (m_lines.size() >= std::size_t(m_limit))
        dropOldest(m_lines.size() - std::size_t(m_limit) + 1);
    Line l{line, msecsSinceEpoch};
    l.sinceSendUs = sinceSendUs;
    l.continues = continues;
    // Relative, so it stays right as the oldest lines leave.
    const qint64 back = m_dropped + count() - sendNumber;
    l.sendRowsBack = sendNumber >= 0 && back > 0 && back <= count() ? qint32(back) : 0;
    m_lines.push_back(l);
    m_bytes += line.size();
    if (m_bytes > byteLimit())
        dropOldest(linesOverByteLimit());
    Q_EMIT lineAppended(count() - 1);
    schedulePublish();
}

void MonitorModel::setLineLimit(int lines) {
    m_limit = qMax(1, lines);
    const qint64 dropped = m_dropped;
    if (m_lines.size() > std::size_t(m_limit))
        dropOldest(m_lines.size() - std::size_t(m_limit));
    dropOldest(linesOverByteLimit());
    if (m_dropped != dropped)
        schedulePublish();
}

std::size_t MonitorModel::linesOverByteLimit() const {
    // The newest line stays, however long.
    std::size_t lines = 0;
    for (qsizetype over = m_bytes - byteLimit(); over > 0 && lines + 1 < m_lines.size(); ++lines)
        over -= m_lines[lines].text.size();
    return lines;
}

void MonitorModel::dropOldest(std::size_t lines) {
    for (std::size_t i = 0; i < lines; ++i)
        m_bytes -= m_lines[i].text.size();
    m_lines.erase(m_lines.begin(), m_lines.begin() + std::ptrdiff_t(lines));
    m_dropped += qint64(lines);
    if (m_selected >= 0) {
        // The selected line keeps its selection while it is held.
        m_selected -= int(lines);
        if (m_selected < 0)
            m_selected = -1;
    }
}

void MonitorModel::schedulePublish() {
    if (m_publishTimer.isActive())
        return;
    const qint64 since =
        m_sincePublish.isValid() ? m_sincePublish.elapsed() : qint64(publishIntervalMs);
    m_publishTimer.start(
        int(qBound(qint64(0), publishIntervalMs - since, qint64(publishIntervalMs))));
}

void MonitorModel::clear() {
    if (m_lines.empty())
        return;
    m_publishTimer.stop();
    beginResetModel();
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_bytes = 0;
    m_dropped = 0;
    m_shownFrom = 0;
    m_published = 0;
    m_selected = -1;
    endResetModel();
    Q_EMIT selectedIndexChanged(-1);
}

void MonitorModel::setSelectedIndex(int index) {
    if (index < 0 || index >= count())
        index = -1;
    if (index == m_selected)
        return;
    m_selected = index;
    if (index < 0 || shownSelection() >= 0)
        Q_EMIT selectedIndexChanged(index);
    else
        schedulePublish();
}

void MonitorModel::publish() {
    m_publishTimer.stop();
    // Rows that left reach the views first, as one removal at the top.
    const qint64 gone = qMin(m_dropped - m_shownFrom, qint64(m_published));
    if (gone > 0) {
        beginRemoveRows({}, 0, int(gone) - 1);
        m_shownFrom += gone;
        m_published -= int(gone);
        endRemoveRows();
    }
    if (m_published == 0)
        m_shownFrom = m_dropped; // lines that left before they were ever shown
    if (m_published < count()) {
        beginInsertRows({}, m_published, count() - 1);
        m_published = count();
        endInsertRows();
        m_sincePublish.start();
        // A selection made while its row was unpublished is shown now.
        if (m_selected >= 0)
            Q_EMIT selectedIndexChanged(m_selected);
    } else if (gone > 0 && m_selected < 0) {
        Q_EMIT selectedIndexChanged(-1); // the selected line has left
    }
}

const MonitorModel::Line* MonitorModel::shownLine(int row) const {
    if (row < 0 || row >= m_published)
        return nullptr;
    const qint64 held = m_shownFrom + row - m_dropped;
    return held < 0 ? nullptr : &m_lines[std::size_t(held)];
}

int MonitorModel::shownSelection() const {
    if (m_selected < 0)
        return -1;
    const qint64 row = m_dropped + m_selected - m_shownFrom;
    return row < m_published ? int(row) : -1;
}

QString MonitorModel::displayText(const Line& line) {
    if (line.text.size() <= displayedBytes && !line.continues)
        return visibleText(line.text);
    return visibleText(line.text.first(qMin(line.text.size(), qsizetype(displayedBytes)))) +
           QStringLiteral(" \u2026 (%1 bytes%2)")
               .arg(line.text.size())
               .arg(line.continues ? QStringLiteral(", line continues") : QString());
}

QString MonitorModel::toolTip(int row) const {
    const Line& l = at(row);
    QString tip = lineTime(l.msecsSinceEpoch);
    if (l.sinceSendUs < 0)
        return tip;
    const double ms = l.sinceSendUs / 1000.0;
    tip += QLatin1Char('\n') + (ms < 10000
                                    ? QString::number(ms, 'f', 1) + QStringLiteral(" ms")
                                    : QString::number(ms / 1000, 'f', 1) + QStringLiteral(" s"));
    const int send = row - l.sendRowsBack;
    if (l.sendRowsBack > 0 && send >= 0)
        return tip + QStringLiteral(" after \"%1\"").arg(visibleText(at(send).text));
    return tip + QStringLiteral(" after the latest send");
}

QString MonitorModel::shownToolTip(int row) const {
    if (!shownLine(row))
        return {};
    return toolTip(int(m_shownFrom + row - m_dropped));
}

int MonitorModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_published;
}

QVariant MonitorModel::data(const QModelIndex& index, int role) const {
    const Line* line = index.isValid() ? shownLine(index.row()) : nullptr;
    if (!line)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return displayText(*line);
    case Qt::ToolTipRole:
        return shownToolTip(index.row());
    default:
        return {};
    }
}
