#include "session/monitormodel.h"

#include "session/stampedline.h"
#include "session/visibletext.h"

#include <QDateTime>

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
        return lineTime(l.msecsSinceEpoch);
    default:
        return {};
    }
}
