#pragma once

#include "serial/portlisting.h"

#include <QGroupBox>

class CommandButton;
class PortCompleter;
class QLineEdit;

// The Port Settings panel (frmSerialSettings) and its save flow: the typed
// port is checked, the operator confirms the restart, the port is written to
// config.ini, and only then is the restart asked for.
class PortSettingsPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit PortSettingsPanel(QWidget* parent);

    // Shows the panel with the stored port, overwriting whatever was typed.
    void open(const QString& storedPort);
    // Where the panel gets the ports it offers.
    void setPortLister(PortLister lister);

    QLineEdit* portBox() const { return txtPortSettings; }
    CommandButton* saveButton() const { return cmdSaveSettings; }
    CommandButton* cancelButton() const { return cmdCancelSettings; }

Q_SIGNALS:
    // The new port is in config.ini: restart on it.
    void saved();

private:
    void save();

    QLineEdit* txtPortSettings = nullptr;
    CommandButton* cmdSaveSettings = nullptr;
    CommandButton* cmdCancelSettings = nullptr;
    PortCompleter* m_completer = nullptr;
};
