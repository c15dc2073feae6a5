#include "app/portcompleter.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QScreen>
#include <QScrollBar>

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

bool PortCompleter::eventFilter(QObject* watched, QEvent* event) {
    // The completer sizes its list to the text box each time it shows or
    // filters it; widened again right after.
    const QEvent::Type type = event->type();
    // Only the list is an item view among what the completer watches; asking
    // popup() here would make one while the text box is still being set up.
    if (!m_fitting && qobject_cast<QAbstractItemView*>(watched) &&
        (type == QEvent::Show || type == QEvent::Resize || type == QEvent::Move))
        fitPopup();
    return QCompleter::eventFilter(watched, event);
}

void PortCompleter::fitPopup() {
    QAbstractItemView* list = popup();
    const QRect screen = list->screen()->availableGeometry();
    const int wanted = list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                       list->verticalScrollBar()->sizeHint().width();
    QRect place = list->geometry();
    place.setWidth(qMin(screen.width(), qMax(place.width(), wanted)));
    if (place.right() > screen.right())
        place.moveRight(screen.right());
    if (place.left() < screen.left())
        place.moveLeft(screen.left());
    if (place == list->geometry())
        return;
    m_fitting = true;
    list->setGeometry(place);
    m_fitting = false;
}
