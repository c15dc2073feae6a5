#include "app/mainwindow.h"

#include "app/commandbutton.h"
#include "app/controls.h"
#include "app/documentopener.h"
#include "app/filechooser.h"
#include "app/fonts.h"
#include "app/keypadkeys.h"
#include "app/linkwarning.h"
#include "app/monitorcopy.h"
#include "app/monitorview.h"
#include "app/portsettingspanel.h"
#include "app/pressfeedback.h"
#include "app/recordingcontrol.h"
#include "app/sendframedialog.h"
#include "app/sequencerunwindow.h"
#include "app/sessionmonitormenu.h"
#include "app/shapewidget.h"
#include "app/twips.h"
#include "protocol/replystatus.h"
#include "sequence/sequencefile.h"
#include "settings/configuration.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QtConcurrent/QtConcurrentRun>

static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace {

struct KeyPlace {
    int left, top;
};
// Where each keypad index sits (its caption is commands::keypadCaptions).
constexpr std::array<KeyPlace, commands::keypadSize> keyPlaces{{
    {360, 480},
    {2100, 480},
    {3840, 480},
    {360, 2160},
    {2100, 2160},
    {3840, 2160},
    {360, 3960},
    {2100, 3960},
    {3840, 3960},
    {360, 5520},
    {2100, 5520},
    {3840, 5520},
}};

} // namespace

MainWindow::MainWindow(QWidget* parent, const std::optional<QString>& port) : QMainWindow(parent) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(programTitle());
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
    new KeypadKeys(
        this,
        [this](int target) {
            return target == KeypadKeys::CommTest ? cmdCommTest
                   : target == KeypadKeys::Reset  ? cmdReset
                                                  : cmdKeyPress[std::size_t(target)];
        },
        [this](CommandButton* b) { m_feedback->light(b); });

    connect(&m_session, &MainSession::portChanged, txtCommPort, [this](const QString& port) {
        txtCommPort->setText(port);
        // The box is narrow for a device path; the whole of it shows on hover.
        txtCommPort->setToolTip(port);
    });
    connect(&m_session, &MainSession::replyReceived, this, &MainWindow::showReplyStatus);
    connect(&m_session, &MainSession::portLost, this, &MainWindow::resetReplyStatus);
    m_linkWarning = new LinkWarning(this, m_session);
    connect(&m_session, &MainSession::linkProblem, m_linkWarning, &LinkWarning::show,
            Qt::QueuedConnection);

    // Centred on first show, at the laid-out client size below the menu bar.
    resize(twips(10440), twips(8790) + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_session.loadSettings();
    if (port)
        m_session.setPort(*port);
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
        {serial, "mnuRunSequence", "Run Sequence...", &MainWindow::chooseSequence},
        {serial, "mnuStopSequence", "Stop Sequence", &MainWindow::stopSequence},
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
    m_runSequence = serial->findChild<QAction*>(QStringLiteral("mnuRunSequence"));
    m_stopSequence = serial->findChild<QAction*>(QStringLiteral("mnuStopSequence"));
    m_stopSequence->setVisible(false);
    // Beside the original entries: frames of one's own, and presses recorded.
    const auto running = [this] { return sequenceRunning(); };
    SendFrameDialog::addMenuEntry(serial, m_session, running, this);
    new RecordingControl(m_session, serial, this);
    addSessionMonitorEntries(*this, *serial);
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
    for (int i = 0; i < commands::keypadSize; ++i) {
        const KeyPlace& k = keyPlaces[std::size_t(i)];
        const QString caption = QString(QLatin1Char(commands::keypadCaptions[std::size_t(i)]));
        auto* b = new CommandButton(caption, CommandButton::Graphical, frmKeypad);
        place(b, "cmdKeyPress", caption, twipsRect(k.left, k.top, 1200, 1200));
        b->setProperty("Index", i);
        b->setFont(keyFont);
        connect(b, &QPushButton::clicked, this, [this, i] { m_session.sendKeyCode(qint16(i)); });
        cmdKeyPress[std::size_t(i)] = b;
    }

    portFrame =
        frame(client, "Frame1", {}, QStringLiteral("Serial Port"), twipsRect(120, 480, 4455, 975));
    label(portFrame, "lblSerialPort", QStringLiteral("Serial Port"), 240, 360);
    txtCommPort = textBox(portFrame, "txtCommPort", QStringLiteral("Serial Port"),
                          twipsRect(1080, 315, 735, 285));

    monitorFrame = frame(client, "Frame2", {}, QStringLiteral("Communication Monitor"),
                         twipsRect(120, 1680, 4455, 6855));
    label(monitorFrame, "Label1", QStringLiteral("Communication Monitor"), 1200, 120);
    lstComm = place(new MonitorView(m_session.monitor(), monitorFrame), "lstComm",
                    QStringLiteral("Communication Monitor"), twipsRect(120, 360, 4215, 5325));
    m_copy = new MonitorCopy(lstComm, m_session.monitor());
    connect(lstComm, &MonitorView::rowPicked, this, [this](int row) { m_session.selectLine(row); });
    cmdClearComm = place(
        new CommandButton(QStringLiteral("Clear Comm"), CommandButton::Graphical, monitorFrame),
        "cmdClearComm", QStringLiteral("Clear Comm"), twipsRect(2640, 6000, 1215, 255));
    connect(cmdClearComm, &QPushButton::clicked, this, [this] {
        m_session.clearMonitor();
        resetReplyStatus();
    });
    // A plain container: it has no border, so its caption is never drawn.
    responseFrame = place(new QWidget(monitorFrame), "Frame3", QStringLiteral("Response"),
                          twipsRect(120, 5880, 1815, 615));
    lblResponse = label(responseFrame, "lblResponse", QStringLiteral("Response"), 120, 240);
    Shape1 = place(new ShapeWidget(ShapeWidget::Circle, responseFrame), "Shape1",
                   QStringLiteral("Response lamp"), twipsRect(1080, 120, 255, 375));
    Shape1->setFillColor(Qt::black);
    Shape1->setAccessibleDescription(QStringLiteral("black"));

    cmdCommTest =
        place(new CommandButton(QStringLiteral("Comm Test"), CommandButton::Graphical, client),
              "cmdCommTest", QStringLiteral("Comm Test"), twipsRect(5040, 7920, 1215, 495));
    connect(cmdCommTest, &QPushButton::clicked, this, [this] { m_session.sendCommTest(); });

    frmSerialSettings = place(new PortSettingsPanel(client), "frmSerialSettings",
                              QStringLiteral("Port Settings"), twipsRect(4133, 3128, 2175, 2535));
    connect(frmSerialSettings, &PortSettingsPanel::saved, this, &MainWindow::restartRequested);

    cmdReset = place(new CommandButton(QStringLiteral("Reset"), CommandButton::Graphical, client),
                     "cmdReset", QStringLiteral("Reset"), twipsRect(7320, 7920, 1215, 495));
    connect(cmdReset, &QPushButton::clicked, this, [this] { m_session.sendReset(); });
}

void MainWindow::setTabOrder() {
    QList<QWidget*> order(cmdKeyPress.begin(), cmdKeyPress.end());
    order << txtCommPort << lstComm << cmdClearComm << cmdCommTest << frmSerialSettings->portBox()
          << frmSerialSettings->saveButton() << frmSerialSettings->cancelButton() << cmdReset;
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void MainWindow::showReplyStatus(const QByteArray& reply) {
    const ReplyStatus status = classifyReply(reply);
    QColor lamp;
    const char* lampName = "";
    switch (status) {
    case ReplyStatus::Ack:
        lamp = QColor(0, 255, 0);
        lampName = "green";
        break;
    case ReplyStatus::Nak:
        lamp = QColor(255, 0, 0);
        lampName = "red";
        break;
    case ReplyStatus::Crc:
        lamp = QColor(255, 255, 0);
        lampName = "yellow";
        break;
    case ReplyStatus::Other:
        return;
    }
    showLamp(QLatin1String(replyStatusName(status)), lamp, QLatin1String(lampName));
}

void MainWindow::showLamp(const QString& caption, const QColor& lamp, const QString& lampName) {
    lblResponse->setText(caption);
    // Screen readers follow what the label and the lamp now show.
    lblResponse->setAccessibleName(caption);
    lblResponse->adjustSize();
    Shape1->setFillColor(lamp);
    Shape1->setAccessibleDescription(lampName);
}

void MainWindow::resetReplyStatus() {
    // An old ACK must not read as current once the device is gone or the monitor cleared.
    showLamp(QStringLiteral("Response"), Qt::black, QStringLiteral("black"));
}

void MainWindow::closeProgram() {
    // During a run, the one question is about the run.
    if (sequenceRunning() ? !closeDuringRun()
                          : !confirm(this, QStringLiteral("Do you want to close the application?")))
        return;
    // Only an open port needs closing; opening a closed one just to close it
    // could fail and would touch a device the operator did not ask for.
    m_session.linkEnd();
    m_ending = true;
    Q_EMIT endRequested();
}

bool MainWindow::closeDuringRun() {
    if (!sequenceRunning())
        return true;
    if (!confirm(this, QStringLiteral("A sequence is running. Stop it and close?")))
        return false;
    stopRun(QStringLiteral("program closed"));
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_ending && !closeDuringRun()) {
        event->ignore();
        return;
    }
    m_session.linkEnd();
    event->accept();
    if (!m_ending) {
        m_ending = true;
        Q_EMIT endRequested();
    }
}

void MainWindow::setPortLister(PortLister lister) {
    frmSerialSettings->setPortLister(std::move(lister));
}

void MainWindow::openSettings() {
    if (sequenceRunning()) {
        QMessageBox::information(this, programTitle(),
                                 QStringLiteral("A sequence is running. Stop it before changing "
                                                "the port settings."));
        return;
    }
    frmSerialSettings->open(m_session.port());
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
        QMessageBox::warning(this, programTitle(),
                             QStringLiteral("The interface document was not found. Looked at:\n") +
                                 looked.join(QLatin1Char('\n')));
        return;
    }
    openInViewer(path, this, [this, path] {
        QMessageBox::warning(this, programTitle(),
                             QStringLiteral("No viewer could open %1.").arg(path));
    });
}

void MainWindow::chooseSequence() {
    FileRequest request;
    request.title = QStringLiteral("Run Sequence");
    request.filters = QStringLiteral("Sequence files (*.seq *.txt);;All files (*)");
    const QString path = chooseFile(this, request).path;
    if (!path.isEmpty())
        runSequenceFile(path);
}

bool MainWindow::sequenceRunning() const {
    return m_run && m_run->runner().isRunning();
}

void MainWindow::runSequenceFile(const QString& path) {
    if (sequenceRunning() || m_readingSequence) {
        QMessageBox::information(this, programTitle(),
                                 m_readingSequence
                                     ? QStringLiteral("A sequence file is still being read.")
                                     : QStringLiteral("A sequence is already running."));
        return;
    }
    // Read off the window's thread: a file of millions of steps takes a
    // while, and the window stays live meanwhile. The run starts once it
    // has been read.
    m_readingSequence = true;
    setCursor(Qt::BusyCursor);
    auto* reading = new QFutureWatcher<SequenceFile>(this);
    connect(reading, &QFutureWatcher<SequenceFile>::finished, this, [this, reading, path] {
        m_readingSequence = false;
        unsetCursor();
        reading->deleteLater();
        startSequence(reading->result(), path);
    });
    reading->setFuture(QtConcurrent::run([path] { return readSequenceFile(path); }));
}

void MainWindow::startSequence(SequenceFile sequence, const QString& path) {
    if (m_ending) // closed while the file was being read
        return;
    if (!sequence.isValid()) {
        QMessageBox::warning(this, programTitle(), sequence.error);
        return;
    }
    // The last run's window gives way to the new one.
    if (m_run)
        m_run->close();
    m_run = new SequenceRunWindow(m_session, std::move(sequence), this);
    m_run->runner().setSequencePath(QFile::encodeName(path));
    connect(m_run, &SequenceRunWindow::runEnded, this, [this] { setSendingEnabled(true); });
    if (!m_run->start()) {
        const QString error = m_run->runner().error();
        delete m_run;
        QMessageBox::warning(this, programTitle(),
                             QStringLiteral("The sequence cannot run: %1").arg(error));
        return;
    }
    setSendingEnabled(false);
}

void MainWindow::stopSequence() {
    stopRun(QStringLiteral("operator stop"));
}

void MainWindow::stopRun(const QString& reason) {
    if (m_run)
        m_run->runner().stop(reason);
}

void MainWindow::setSendingEnabled(bool enabled) {
    // No hand click may interleave with a run's frames, nor a port change.
    frmKeypad->setEnabled(enabled);
    cmdCommTest->setEnabled(enabled);
    cmdReset->setEnabled(enabled);
    frmSerialSettings->setEnabled(enabled);
    m_runSequence->setEnabled(enabled);
    m_stopSequence->setVisible(!enabled);
    if (auto* sendFrame = findChild<SendFrameDialog*>())
        sendFrame->setSendingEnabled(enabled);
}
