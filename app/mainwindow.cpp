#include "app/mainwindow.h"

#include "app/commandbutton.h"
#include "app/fonts.h"
#include "app/monitorcopy.h"
#include "app/portcompleter.h"
#include "app/pressfeedback.h"
#include "app/shapewidget.h"
#include "app/twips.h"
#include "serial/portname.h"
#include "settings/configuration.h"
#include "settings/portsetting.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace {

const QString title = QStringLiteral("KAL ORV TEST\u2122");

struct Key {
    const char* caption;
    int left, top;
};
// Indexed as the keypad sends: "*" is 9, "0" is 10, "#" is 11.
constexpr std::array<Key, MainWindow::keypadSize> keys{{
    {"1", 360, 480},
    {"2", 2100, 480},
    {"3", 3840, 480},
    {"4", 360, 2160},
    {"5", 2100, 2160},
    {"6", 3840, 2160},
    {"7", 360, 3960},
    {"8", 2100, 3960},
    {"9", 3840, 3960},
    {"*", 360, 5520},
    {"0", 2100, 5520},
    {"#", 3840, 5520},
}};

template <typename W> W* place(W* w, const char* name, const QString& accessible, QRect at) {
    w->setObjectName(QLatin1String(name));
    w->setAccessibleName(accessible);
    w->setGeometry(at);
    return w;
}

QGroupBox* frame(QWidget* parent, const char* name, const QString& caption, const QString& role,
                 QRect at) {
    return place(new QGroupBox(caption, parent), name, caption.isEmpty() ? role : caption, at);
}

// Labels size themselves to their text from where they are put.
QLabel* label(QWidget* parent, const char* name, const QString& caption, int left, int top) {
    auto* l = place(new QLabel(caption, parent), name, caption, twipsRect(left, top, 0, 0));
    l->adjustSize();
    return l;
}

QLineEdit* textBox(QWidget* parent, const char* name, const QString& role, QRect at) {
    auto* t = place(new QLineEdit(QStringLiteral("comport"), parent), name, role, at);
    return t;
}

bool confirm(QWidget* parent, const QString& question) {
    QMessageBox box(QMessageBox::Question, title, question, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    return box.exec() == QMessageBox::Ok;
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(title);
    initResources();
    setWindowIcon(QIcon(QStringLiteral(":/orv-test.png")));
    setFont(fonts::windowFont(8));

    buildMenus();
    buildControls();
    setTabOrder();

    m_feedback = new PressFeedback(this, tmrKeyPress);
    tmrKeyPress.setParent(this);
    tmrKeyPress.setObjectName(QStringLiteral("tmrKeyPress"));
    for (CommandButton* b : cmdKeyPress)
        m_feedback->watch(b);
    for (CommandButton* b : {cmdCommTest, cmdReset, cmdClearComm})
        m_feedback->watch(b);

    connect(&m_session, &MainSession::portNumberChanged, txtCommPort, [this](const QString& port) {
        txtCommPort->setText(port);
        // The box is narrow for a device path; the whole of it shows on hover.
        txtCommPort->setToolTip(port);
    });
    connect(&m_session, &MainSession::replyReceived, this, &MainWindow::showReplyStatus);
    connect(&m_session, &MainSession::linkProblem, this, &MainWindow::showLinkWarning,
            Qt::QueuedConnection);

    // Centred on first show, at the laid-out client size below the menu bar.
    resize(twips(10440), twips(8790) + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    loadSettings(m_session);
    m_session.linkStart();
    cmdKeyPress[0]->setFocus();
}

MainWindow::~MainWindow() {
    m_session.linkEnd();
}

void MainWindow::buildMenus() {
    struct Entry {
        QMenu* menu;
        const char* name;
        const char* text;
        void (MainWindow::*handler)();
    };
    QMenuBar* bar = menuBar();
    auto menu = [bar](const char* name, const char* text) {
        QMenu* m = bar->addMenu(QLatin1String(text));
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };
    QMenu* file = menu("mnuFile", "File");
    QMenu* serial = menu("mnuSerial", "Serial");
    QMenu* help = menu("mnuHelp", "Help");
    const Entry entries[] = {
        {file, "mnuClose", "Close", &MainWindow::closeProgram},
        {serial, "mnuSettings", "Settings", &MainWindow::openSettings},
        {help, "mnuMetaL", "meta language", &MainWindow::openInterfaceDocument},
        {help, "mnuAbout", "About", nullptr},
    };
    for (const Entry& e : entries) {
        QAction* action = e.menu->addAction(QLatin1String(e.text));
        action->setObjectName(QLatin1String(e.name));
        if (e.handler)
            connect(action, &QAction::triggered, this, e.handler);
        else
            connect(action, &QAction::triggered, this, &MainWindow::aboutRequested);
    }
}

void MainWindow::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    // Siblings are created bottom first: a later sibling lies on top.
    frmKeypad =
        frame(client, "frmKeypad", {}, QStringLiteral("Keypad"), twipsRect(4680, 480, 5295, 7215));
    frmKeypad->setFocusPolicy(Qt::NoFocus);
    QFont keyFont = fonts::windowFont(24);
    for (int i = 0; i < keypadSize; ++i) {
        const Key& k = keys[std::size_t(i)];
        const QString caption = QLatin1String(k.caption);
        auto* b = new CommandButton(caption, CommandButton::Graphical, frmKeypad);
        place(b, "cmdKeyPress", caption, twipsRect(k.left, k.top, 1200, 1200));
        b->setProperty("Index", i);
        b->setFont(keyFont);
        connect(b, &QPushButton::clicked, this, [this, i] { m_session.sendKeyCode(qint16(i)); });
        cmdKeyPress[std::size_t(i)] = b;
    }

    Frame1 =
        frame(client, "Frame1", {}, QStringLiteral("Serial Port"), twipsRect(120, 480, 4455, 975));
    label(Frame1, "lblSerialPort", QStringLiteral("Serial Port"), 240, 360);
    txtCommPort = textBox(Frame1, "txtCommPort", QStringLiteral("Serial Port"),
                          twipsRect(1080, 315, 735, 285));

    Frame2 = frame(client, "Frame2", {}, QStringLiteral("Communication Monitor"),
                   twipsRect(120, 1680, 4455, 6855));
    label(Frame2, "Label1", QStringLiteral("Communication Monitor"), 1200, 120);
    lstComm = place(new QListView(Frame2), "lstComm", QStringLiteral("Communication Monitor"),
                    twipsRect(120, 360, 4215, 5325));
    lstComm->setModel(&m_session.lstComm());
    lstComm->setUniformItemSizes(true);
    lstComm->setSelectionMode(QAbstractItemView::SingleSelection);
    lstComm->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstComm->setTextElideMode(Qt::ElideRight);
    m_copy = new MonitorCopy(lstComm, m_session.lstComm());
    connect(&m_session.lstComm(), &MonitorModel::selectedIndexChanged, this,
            &MainWindow::syncSelectionToView);
    connect(lstComm->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                m_session.lstComm().setSelectedIndex(current.isValid() ? current.row() : -1);
            });
    cmdClearComm =
        place(new CommandButton(QStringLiteral("Clear Comm"), CommandButton::Graphical, Frame2),
              "cmdClearComm", QStringLiteral("Clear Comm"), twipsRect(2640, 6000, 1215, 255));
    connect(cmdClearComm, &QPushButton::clicked, this, [this] { m_session.lstComm().clear(); });
    // A plain container: it has no border, so its caption is never drawn.
    Frame3 = place(new QWidget(Frame2), "Frame3", QStringLiteral("Response"),
                   twipsRect(120, 5880, 1815, 615));
    lblResponse = label(Frame3, "lblResponse", QStringLiteral("Response"), 120, 240);
    Shape1 = place(new ShapeWidget(ShapeWidget::Circle, Frame3), "Shape1",
                   QStringLiteral("Response lamp"), twipsRect(1080, 120, 255, 375));
    Shape1->setFillColor(Qt::black);
    Shape1->setAccessibleDescription(QStringLiteral("black"));

    cmdCommTest =
        place(new CommandButton(QStringLiteral("Comm Test"), CommandButton::Graphical, client),
              "cmdCommTest", QStringLiteral("Comm Test"), twipsRect(5040, 7920, 1215, 495));
    connect(cmdCommTest, &QPushButton::clicked, this, [this] { m_session.sendCommTest(); });

    frmSerialSettings = frame(client, "frmSerialSettings", QStringLiteral("Port Settings"), {},
                              twipsRect(4133, 3128, 2175, 2535));
    label(frmSerialSettings, "lblPortSettings", QStringLiteral("Serial Port"), 240, 525);
    txtPortSettings = textBox(frmSerialSettings, "txtPortSettings", QStringLiteral("Serial Port"),
                              twipsRect(1080, 480, 735, 285));
    m_portCompleter = new PortCompleter(txtPortSettings);
    txtPortSettings->setCompleter(m_portCompleter);
    cmdSaveSettings =
        place(new CommandButton(QStringLiteral("Save"), CommandButton::Standard, frmSerialSettings),
              "cmdSaveSettings", QStringLiteral("Save"), twipsRect(480, 1080, 1215, 495));
    cmdCancelSettings = place(
        new CommandButton(QStringLiteral("Cancel"), CommandButton::Standard, frmSerialSettings),
        "cmdCancelSettings", QStringLiteral("Cancel"), twipsRect(480, 1680, 1215, 495));
    connect(cmdSaveSettings, &QPushButton::clicked, this, &MainWindow::saveSettings);
    connect(cmdCancelSettings, &QPushButton::clicked, frmSerialSettings, &QWidget::hide);
    frmSerialSettings->hide();

    cmdReset = place(new CommandButton(QStringLiteral("Reset"), CommandButton::Graphical, client),
                     "cmdReset", QStringLiteral("Reset"), twipsRect(7320, 7920, 1215, 495));
    connect(cmdReset, &QPushButton::clicked, this, [this] { m_session.sendReset(); });
}

void MainWindow::setTabOrder() {
    QList<QWidget*> order(cmdKeyPress.begin(), cmdKeyPress.end());
    order << txtCommPort << lstComm << cmdClearComm << cmdCommTest << txtPortSettings
          << cmdSaveSettings << cmdCancelSettings << cmdReset;
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void MainWindow::syncSelectionToView(int index) {
    QItemSelectionModel* selection = lstComm->selectionModel();
    if (index < 0) {
        selection->clear();
        return;
    }
    const QModelIndex row = m_session.lstComm().index(index);
    if (!row.isValid())
        return; // shown once the row is published
    selection->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
    lstComm->scrollTo(row);
}

void MainWindow::showReplyStatus(const QByteArray& reply) {
    struct Status {
        const char* start;
        const char* caption;
        QColor lamp;
        const char* lampName;
    };
    static const Status statuses[] = {
        {"0B 00", "ACK", QColor(0, 255, 0), "green"},
        {"0B FF", "NAK", QColor(255, 0, 0), "red"},
        {"0B 0F", "CRC", QColor(255, 255, 0), "yellow"},
    };
    for (const Status& s : statuses) {
        if (reply.startsWith(s.start)) {
            const QString caption = QLatin1String(s.caption);
            lblResponse->setText(caption);
            // Screen readers follow what the label and the lamp now show.
            lblResponse->setAccessibleName(caption);
            lblResponse->adjustSize();
            Shape1->setFillColor(s.lamp);
            Shape1->setAccessibleDescription(QLatin1String(s.lampName));
            return;
        }
    }
}

void MainWindow::closeProgram() {
    if (!confirm(this, QStringLiteral("Do you want to close the application?")))
        return;
    // Only an open port needs closing; opening a closed one just to close it
    // could fail and would touch a device the operator did not ask for.
    m_session.linkEnd();
    m_ending = true;
    Q_EMIT endRequested();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    m_session.linkEnd();
    event->accept();
    if (!m_ending) {
        m_ending = true;
        Q_EMIT endRequested();
    }
}

void MainWindow::setPortLister(PortLister lister) {
    m_portCompleter->setLister(std::move(lister));
}

void MainWindow::openSettings() {
    m_portCompleter->refresh();
    txtPortSettings->setText(m_session.portNumber());
    frmSerialSettings->show();
}

void MainWindow::saveSettings() {
    const QString typed = txtPortSettings->text();
    const QString invalid = resolvePortName(typed).error;
    if (!invalid.isEmpty()) {
        QMessageBox::warning(this, title, invalid + QStringLiteral("\n\nNothing was saved."));
        return;
    }
    if (!confirm(this, QStringLiteral("Do you want to restart with the new Comm Port?")))
        return;
    const IniWriteResult written = saveConfigValue(settingsSection, portKey, typed);
    if (!written) {
        QMessageBox::warning(this, title,
                             written.error + QStringLiteral("\n\nThe port was not changed."));
        return;
    }
    Q_EMIT restartRequested();
}

void MainWindow::openInterfaceDocument() {
    const QString name = QStringLiteral("ORV_API_v103.pdf");
    QString path;
    QStringList looked;
    for (const QString& dir : documentFolders(currentPlaces())) {
        looked << dir + QLatin1Char('/') + name;
        if (path.isEmpty() && QFileInfo::exists(looked.last()))
            path = looked.last();
    }
    if (path.isEmpty()) {
        QMessageBox::warning(this, title,
                             QStringLiteral("The interface document was not found. Looked at:\n") +
                                 looked.join(QLatin1Char('\n')));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QMessageBox::warning(this, title, QStringLiteral("No viewer could open %1.").arg(path));
}

void MainWindow::showLinkWarning(const QString& message) {
    // One box at a time: a flapping adapter must not stack them up.
    auto* box = findChild<QMessageBox*>(QStringLiteral("linkWarning"));
    if (!box) {
        box = new QMessageBox(QMessageBox::Warning, title, message, QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("linkWarning"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        // Not modal: the operator can go on reading the monitor meanwhile.
        box->setModal(false);
    }
    box->setText(message);
    box->show();
    box->raise();
}
