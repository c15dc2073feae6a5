#include "session/monitormodel.h"

#include "session/stampedline.h"
#include "session/visibletext.h"

#include <QDateTime>
#include <limits>

MonitorModel::MonitorModel(QObject* parent) : QAbstractListModel(parent) {
    m_publishTimer.setSingleShot(true);
    m_publishTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_publishTimer, &QTimer::timeout, this, &MonitorModel::publish);
}

void MonitorModel::append(const QByteArray& line) {
    m_lines.push_back({line, QDateTime::currentMSecsSinceEpoch()});
    Q_EMIT lineAppended(count() - 1);
    schedulePublish();
}

void MonitorModel::appendReply(const QByteArray& line, qint64 sinceSendUs, int sendRow) {
    Line l{line, QDateTime::currentMSecsSinceEpoch()};
    l.sinceSendUs =
        qint32(qBound(qint64(0), sinceSendUs, qint64(std::numeric_limits<qint32>::max())));
    l.sendRowsBack = sendRow >= 0 && sendRow < count() ? count() - sendRow : 0;
    m_lines.push_back(l);
    Q_EMIT lineAppended(count() - 1);
    schedulePublish();
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
    if (index < m_published)
        Q_EMIT selectedIndexChanged(index);
    else
        schedulePublish();
}

void MonitorModel::publish() {
    m_publishTimer.stop();
    if (m_published < count()) {
        beginInsertRows({}, m_published, count() - 1);
        m_published = count();
        endInsertRows();
        m_sincePublish.start();
        // A selection made while its row was unpublished is shown now.
        if (m_selected >= 0)
            Q_EMIT selectedIndexChanged(m_selected);
    }
}

int MonitorModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_published;
}

QVariant MonitorModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_published)
        return {};
    const Line& l = at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        if (l.text.size() <= displayedBytes)
            return visibleText(l.text);
        return visibleText(l.text.first(displayedBytes)) +
               QStringLiteral(" \u2026 (%1 bytes)").arg(l.text.size());
    case Qt::ToolTipRole:
        return toolTip(index.row());
    default:
        return {};
    }
}
