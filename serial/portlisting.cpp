#include "serial/portlisting.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

QList<SerialPortEntry> listSerialPorts() {
    QList<SerialPortEntry> ports;
    QHash<QString, QString> descriptions;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QString description = info.description();
        if (!info.manufacturer().isEmpty() && !description.contains(info.manufacturer()))
            description = info.manufacturer() + QLatin1Char(' ') + description;
        description = description.trimmed();
        descriptions.insert(info.systemLocation(), description);
        ports.append({info.systemLocation(), description});
    }
    // The by-id names survive re-plugging in another socket: the ones to save.
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        const QString target = link.canonicalFilePath();
        ports.append({link.absoluteFilePath(), descriptions.value(target, target)});
    }
    return ports;
}
