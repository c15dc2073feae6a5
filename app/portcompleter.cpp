#include "app/portcompleter.h"

PortCompleter::PortCompleter(QObject* parent) : QCompleter(parent) {
    setModel(&m_ports);
    setCompletionRole(pathRole);
    setCaseSensitivity(Qt::CaseInsensitive);
    // "USB" finds /dev/ttyUSB0 and the by-id names alike.
    setFilterMode(Qt::MatchContains);
    setCompletionMode(QCompleter::PopupCompletion);
}

void PortCompleter::refresh() {
    m_ports.clear();
    for (const SerialPortEntry& port : m_lister()) {
        auto* item =
            new QStandardItem(port.description.isEmpty() ? port.path
                                                         : port.path + QStringLiteral("  (") +
                                                               port.description + QLatin1Char(')'));
        item->setData(port.path, pathRole);
        item->setEditable(false);
        m_ports.appendRow(item);
    }
}

QStringList PortCompleter::paths() const {
    QStringList out;
    for (int row = 0; row < m_ports.rowCount(); ++row)
        out << m_ports.item(row)->data(pathRole).toString();
    return out;
}
