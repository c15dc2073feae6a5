#include "app/sendframedialog.h"

#include "app/controls.h"
#include "protocol/hexframe.h"
#include "session/mainsession.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString running = QStringLiteral("A sequence is running: frames wait until it has ended.");

} // namespace

SendFrameDialog::SendFrameDialog(MainSession& session, std::function<bool()> runGoing,
                                 QWidget* parent)
    : QDialog(parent), m_session(session), m_runGoing(std::move(runGoing)) {
    setObjectName(QStringLiteral("dlgSendFrame"));
    setWindowTitle(QStringLiteral("Send Frame - ") + programTitle());
    setModal(false);

    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(QStringLiteral("&Bytes, as two-digit hex words (0B 07 12):"), this);
    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("txtFrame"));
    m_field->setPlaceholderText(QStringLiteral("0B 07 sum"));
    prompt->setBuddy(m_field);
    m_checksum =
        new QCheckBox(QStringLiteral("&Add checksum (sum of the bytes, modulo 256)"), this);
    m_checksum->setObjectName(QStringLiteral("chkChecksum"));
    m_preview = new QLabel(this);
    m_preview->setObjectName(QStringLiteral("lblFrame"));
    m_preview->setWordWrap(true);
    auto* recentLabel = new QLabel(QStringLiteral("&Last frames sent:"), this);
    m_recent = new QListWidget(this);
    m_recent->setObjectName(QStringLiteral("lstRecentFrames"));
    recentLabel->setBuddy(m_recent);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_send = buttons->addButton(QStringLiteral("&Send"), QDialogButtonBox::ApplyRole);
    m_send->setObjectName(QStringLiteral("cmdSendFrame"));
    m_send->setDefault(true);
    for (QWidget* w : {static_cast<QWidget*>(prompt), static_cast<QWidget*>(m_field),
                       static_cast<QWidget*>(m_checksum), static_cast<QWidget*>(m_preview),
                       static_cast<QWidget*>(recentLabel), static_cast<QWidget*>(m_recent),
                       static_cast<QWidget*>(buttons)})
        layout->addWidget(w);

    connect(m_field, &QLineEdit::textChanged, this, &SendFrameDialog::showPreview);
    connect(m_checksum, &QCheckBox::toggled, this, &SendFrameDialog::showPreview);
    connect(m_send, &QPushButton::clicked, this, &SendFrameDialog::send);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_recent, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { pick(item->text()); });
    connect(m_recent, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        pick(item->text());
        send();
    });
    showPreview();
}

void SendFrameDialog::addMenuEntry(QMenu* menu, MainSession& session,
                                   std::function<bool()> runGoing, QWidget* parent) {
    QAction* action = menu->addAction(QStringLiteral("Send Frame..."));
    action->setObjectName(QStringLiteral("mnuSendFrame"));
    QObject::connect(action, &QAction::triggered, parent, [&session, runGoing, parent] {
        auto* dialog = parent->findChild<SendFrameDialog*>();
        if (!dialog)
            dialog = new SendFrameDialog(session, runGoing, parent);
        dialog->setSendingEnabled(!runGoing());
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });
}

void SendFrameDialog::setSendingEnabled(bool enabled) {
    m_send->setEnabled(enabled);
    m_recent->setEnabled(enabled);
    showPreview();
}

QByteArray SendFrameDialog::words() const {
    QByteArray text = m_field->text().toUtf8();
    if (m_checksum->isChecked() && !text.trimmed().toLower().endsWith("sum"))
        text += " sum";
    return text;
}

void SendFrameDialog::showPreview() {
    if (!m_send->isEnabled()) {
        m_preview->setText(running);
        return;
    }
    if (m_field->text().trimmed().isEmpty()) {
        m_preview->clear();
        return;
    }
    const HexFrame frame = parseHexFrame(words());
    m_preview->setText(frame.isValid() ? QStringLiteral("Sends %1 (%2 bytes)")
                                             .arg(QString::fromLatin1(hexText(frame.bytes)))
                                             .arg(frame.bytes.size())
                                       : frame.error);
}

void SendFrameDialog::send() {
    // Checked again here: a run may have started since the button was drawn.
    if (m_runGoing()) {
        setSendingEnabled(false);
        return;
    }
    const HexFrame frame = parseHexFrame(words());
    if (!frame.isValid()) {
        m_preview->setText(frame.error);
        m_field->setFocus();
        return;
    }
    m_session.sendFrame(frame.bytes);
    const QString hex = QString::fromLatin1(hexText(frame.bytes));
    for (QListWidgetItem* same : m_recent->findItems(hex, Qt::MatchExactly))
        delete same;
    m_recent->insertItem(0, hex);
    while (m_recent->count() > recentFrames)
        delete m_recent->takeItem(m_recent->count() - 1);
}

void SendFrameDialog::pick(const QString& hex) {
    // The listed frame is whole, its checksum already in it.
    m_checksum->setChecked(false);
    m_field->setText(hex);
}
