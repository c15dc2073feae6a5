#pragma once

#include "serial/portlisting.h"

#include <QCompleter>
#include <QStandardItemModel>

// Offers the serial ports present on the machine while a port is typed. The
// list shows each device with its adapter; choosing one inserts the path.
// Typing stays free: anything may still be typed. The list is as wide as its
// longest entry, within the screen, so that path and adapter can be read.
class PortCompleter : public QCompleter {
    Q_OBJECT
public:
    static constexpr int pathRole = Qt::UserRole + 1;

    explicit PortCompleter(QObject* parent);

    void setLister(PortLister lister) { m_lister = std::move(lister); }
    // Lists the ports again; they come and go with adapters.
    void refresh();
    QStringList paths() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitPopup();

    QStandardItemModel m_ports;
    bool m_fitting = false;
    PortLister m_lister = listSerialPorts;
};
