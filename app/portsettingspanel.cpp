#include "app/portsettingspanel.h"

#include "app/commandbutton.h"
#include "app/controls.h"
#include "app/portcompleter.h"
#include "app/twips.h"
#include "serial/portname.h"
#include "settings/portsetting.h"

#include <QLineEdit>
#include <QMessageBox>

PortSettingsPanel::PortSettingsPanel(QWidget* parent)
    : QGroupBox(QStringLiteral("Port Settings"), parent) {
    // It lies over the keypad and the monitor: drawn in the window's own
    // colour, so that nothing of them shows through around its controls.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    const QString caption = QStringLiteral("Serial Port");
    label(this, "lblPortSettings", caption, 240, 525);
    txtPortSettings = textBox(this, "txtPortSettings", caption, twipsRect(1080, 480, 735, 285));
    m_completer = new PortCompleter(txtPortSettings);
    txtPortSettings->setCompleter(m_completer);
    cmdSaveSettings =
        place(new CommandButton(QStringLiteral("Save"), CommandButton::Standard, this),
              "cmdSaveSettings", QStringLiteral("Save"), twipsRect(480, 1080, 1215, 495));
    cmdCancelSettings =
        place(new CommandButton(QStringLiteral("Cancel"), CommandButton::Standard, this),
              "cmdCancelSettings", QStringLiteral("Cancel"), twipsRect(480, 1680, 1215, 495));
    connect(cmdSaveSettings, &QPushButton::clicked, this, &PortSettingsPanel::save);
    connect(cmdCancelSettings, &QPushButton::clicked, this, &QWidget::hide);
    hide();
}

void PortSettingsPanel::open(const QString& storedPort) {
    m_completer->refresh();
    txtPortSettings->setText(storedPort);
    show();
}

void PortSettingsPanel::setPortLister(PortLister lister) {
    m_completer->setLister(std::move(lister));
}

void PortSettingsPanel::save() {
    const QString typed = txtPortSettings->text();
    // Checked before the question, so nobody is asked to restart onto a port
    // that cannot exist.
    const QString invalid = resolvePortName(typed).error;
    if (!invalid.isEmpty()) {
        QMessageBox::warning(this, programTitle(),
                             invalid + QStringLiteral("\n\nNothing was saved."));
        return;
    }
    if (!confirm(this, QStringLiteral("Do you want to restart with the new Comm Port?")))
        return;
    const IniWriteResult written = writePortSetting(typed);
    if (!written) {
        QMessageBox::warning(this, programTitle(),
                             written.error + QStringLiteral("\n\nThe port was not changed."));
        return;
    }
    Q_EMIT saved();
}
