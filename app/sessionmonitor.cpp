#include "app/sessionmonitor.h"

#include "app/controls.h"
#include "app/filechooser.h"
#include "app/monitorcopy.h"
#include "app/sessionmonitorview.h"
#include "app/shownrows.h"
#include "filetext/outputfile.h"
#include "session/logfile.h"
#include "session/sessionlog.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The kinds each toggle stands for.
struct KindToggle {
    const char* name;
    const char* text;
    QList<RowKind> kinds;
};
const KindToggle kindToggles[] = {
    {"btnKindSent", "Sent", {RowKind::Sent}},
    {"btnKindAck", "ACK", {RowKind::Ack}},
    {"btnKindNak", "NAK", {RowKind::Nak}},
    {"btnKindCrc", "CRC", {RowKind::Crc}},
    {"btnKindReply", "Other replies", {RowKind::Reply}},
    {"btnKindProblems",
     "Errors and failures",
     {RowKind::Error, RowKind::NotSent, RowKind::ExpectFailed}},
    {"btnKindOther", "Other lines", {RowKind::Port, RowKind::Run, RowKind::Text}},
};

QString grouped(qint64 n) {
    return QLocale(QLocale::English).toString(n);
}

// Window size and place live in a file of their own beside the settings,
// not in config.ini: that file holds what the device needs, and this is
// only how the operator likes the screen.
QSettings windowSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("orv-test"),
                     QStringLiteral("windows"));
}

// Every file Save Rows makes goes through the program's whole-or-nothing writer, here.
QString writeWhole(const QString& path, const std::function<void(QIODevice&)>& produce,
                   const QList<InputFile>& inputs) {
    return writeOutputFile(
        {QStringLiteral("the rows"), QFile::encodeName(path), Links::Refuse, inputs}, produce);
}

QByteArray csvField(const QByteArray& field) {
    QByteArray out = field;
    out.replace('"', "\"\"");
    return '"' + out + '"';
}

} // namespace

SessionMonitor::SessionMonitor(const MonitorModel& monitor,
                               std::function<void(qint64)> selectInMain, QWidget* parent)
    : QWidget(parent, Qt::Window), m_selectInMain(std::move(selectInMain)) {
    setObjectName(QStringLiteral("sessionMonitor"));
    setWindowTitle(QStringLiteral("Session Monitor"));
    m_rows = new LiveRows(monitor, this);
    build();
    resize(960, 600);
    restoreGeometry(
        windowSettings().value(QStringLiteral("SessionMonitor/geometry")).toByteArray());
}

SessionMonitor::SessionMonitor(std::unique_ptr<LogFile> log, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("sessionLog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("%1 - Session Monitor").arg(QFileInfo(log->path()).fileName()));
    setToolTip(log->path());
    m_rows = new LogRows(std::move(log), this);
    build();
    m_view->showFromTop();
    resize(960, 600);
}

SessionMonitor::~SessionMonitor() {
    // The program may end with it open: its place is kept then too.
    if (m_rows->isLive())
        windowSettings().setValue(QStringLiteral("SessionMonitor/geometry"), saveGeometry());
}

SessionMonitor* SessionMonitor::openLog(const QString& path, QWidget* parent, QString* error) {
    std::unique_ptr<LogFile> log = LogFile::open(path, error);
    return log ? new SessionMonitor(std::move(log), parent) : nullptr;
}

void SessionMonitor::build() {
    m_shown = new ShownRows(*m_rows, this);
    m_view = new SessionMonitorView(*m_shown, this);
    m_view->setObjectName(QStringLiteral("lstSession"));
    m_view->setAccessibleName(QStringLiteral("Session rows"));

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("txtFilter"));
    m_filter->setAccessibleName(QStringLiteral("Filter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter (Ctrl+F): text in any case, F3 finds"));
    m_filter->setClearButtonEnabled(true);
    m_regex = new QCheckBox(QStringLiteral("Regular expression"), this);
    m_regex->setObjectName(QStringLiteral("chkRegex"));
    m_onlyMatching = new QCheckBox(QStringLiteral("Only matching rows"), this);
    m_onlyMatching->setObjectName(QStringLiteral("chkOnlyMatching"));
    m_onlyMatching->setChecked(true);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("lblCount"));
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Filter:"), this));
    top->addWidget(m_filter, 1);
    top->addWidget(m_regex);
    top->addWidget(m_onlyMatching);
    top->addWidget(m_count);

    auto* kinds = new QHBoxLayout;
    kinds->addWidget(new QLabel(QStringLiteral("Show:"), this));
    for (const KindToggle& k : kindToggles) {
        auto* b = new QToolButton(this);
        b->setObjectName(QLatin1String(k.name));
        b->setText(QLatin1String(k.text));
        b->setCheckable(true);
        b->setChecked(true);
        connect(b, &QToolButton::toggled, this, &SessionMonitor::applyFilter);
        kinds->addWidget(b);
        m_kinds << b;
    }
    kinds->addStretch(1);
    struct Button {
        const char* name;
        const char* text;
        void (SessionMonitor::*handler)();
    };
    QPushButton* buttons[4] = {};
    const Button list[] = {
        {"btnPrevProblem", "\u25B2 Problem", nullptr},
        {"btnNextProblem", "Problem \u25BC", nullptr},
        {"btnSaveRows", "Save Rows...", &SessionMonitor::chooseSaveFile},
        {"btnOpenLog", "Open Log...", &SessionMonitor::chooseLogHere},
    };
    for (int i = 0; i < 4; ++i) {
        buttons[i] = new QPushButton(QString::fromUtf8(list[i].text), this);
        buttons[i]->setObjectName(QLatin1String(list[i].name));
        if (list[i].handler)
            connect(buttons[i], &QPushButton::clicked, this, list[i].handler);
        kinds->addWidget(buttons[i]);
    }
    buttons[0]->setToolTip(QStringLiteral("Previous NAK, CRC, error, not sent or failed "
                                          "expectation (Shift+F8)"));
    buttons[1]->setToolTip(QStringLiteral("Next NAK, CRC, error, not sent or failed "
                                          "expectation (F8)"));
    connect(buttons[0], &QPushButton::clicked, this, [this] { findProblem(-1); });
    connect(buttons[1], &QPushButton::clicked, this, [this] { findProblem(1); });

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_newRows = new QPushButton(this);
    m_newRows->setObjectName(QStringLiteral("btnNewRows"));
    m_newRows->setToolTip(QStringLiteral("Back to the newest row (End)"));
    m_newRows->hide();
    connect(m_newRows, &QPushButton::clicked, m_view, &SessionMonitorView::followNewest);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_newRows);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(kinds);
    layout->addWidget(m_view, 1);
    layout->addLayout(bottom);

    // Typing restarts the filter once the keys pause.
    m_filterDelay.setSingleShot(true);
    m_filterDelay.setInterval(150);
    connect(&m_filterDelay, &QTimer::timeout, this, &SessionMonitor::applyFilter);
    connect(m_filter, &QLineEdit::textChanged, &m_filterDelay, qOverload<>(&QTimer::start));
    connect(m_regex, &QCheckBox::toggled, this, &SessionMonitor::applyFilter);
    connect(m_onlyMatching, &QCheckBox::toggled, this, &SessionMonitor::applyFilter);
    connect(m_filter, &QLineEdit::returnPressed, this, [this] { find(1); });

    // The count changes with the rows on screen, in the same repaint; while
    // a filter works, a few times a second.
    m_countDelay.setSingleShot(true);
    m_countDelay.setInterval(250);
    connect(&m_countDelay, &QTimer::timeout, this, &SessionMonitor::updateCount);
    connect(m_view, &SessionMonitorView::flushed, this, &SessionMonitor::updateCount);
    connect(m_shown, &ShownRows::rowsAppended, this, &SessionMonitor::scheduleCount);
    connect(m_shown, &ShownRows::rowsReset, this, &SessionMonitor::updateCount);
    connect(m_view, &SessionMonitorView::followChanged, this, &SessionMonitor::showFollow);
    connect(m_view, &SessionMonitorView::currentChanged, this, [this](qint64 number) {
        if (m_selectInMain && number >= 0)
            m_selectInMain(number);
    });

    struct Key {
        const char* name;
        QKeySequence keys;
        std::function<void()> run;
    };
    const Key keys[] = {
        {"actFindFilter", QKeySequence::Find,
         [this] {
             m_filter->setFocus(Qt::ShortcutFocusReason);
             m_filter->selectAll();
         }},
        {"actFindNext", QKeySequence(Qt::Key_F3), [this] { find(1); }},
        {"actFindPrevious", QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { find(-1); }},
        {"actNextProblem", QKeySequence(Qt::Key_F8), [this] { findProblem(1); }},
        {"actPreviousProblem", QKeySequence(Qt::SHIFT | Qt::Key_F8), [this] { findProblem(-1); }},
        {"actSaveRows", QKeySequence::Save, [this] { chooseSaveFile(); }},
        {"actOpenLog", QKeySequence::Open, [this] { chooseLogHere(); }},
    };
    for (const Key& k : keys) {
        auto* a = new QAction(this);
        a->setObjectName(QLatin1String(k.name));
        a->setShortcut(k.keys);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, k.run);
        addAction(a);
    }
    // Copy on the rows only: in the filter box Ctrl+C copies its text.
    addCopyAction(m_view, "actCopyRows", [this] { return selectedText(); });
    m_view->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_view->setFocus();
    updateCount();
}

void SessionMonitor::closeEvent(QCloseEvent* event) {
    if (m_rows->isLive())
        windowSettings().setValue(QStringLiteral("SessionMonitor/geometry"), saveGeometry());
    QWidget::closeEvent(event);
}

void SessionMonitor::applyFilter() {
    m_filterDelay.stop();
    RowMatcher filter;
    filter.kinds = 0;
    for (int i = 0; i < m_kinds.size(); ++i)
        if (m_kinds[i]->isChecked())
            for (RowKind k : kindToggles[i].kinds)
                filter.kinds |= 1u << int(k);
    filter.regex = m_regex->isChecked();
    if (m_onlyMatching->isChecked())
        filter.text = m_filter->text();
    m_status->setText(filter.problem().isEmpty()
                          ? QString()
                          : QStringLiteral("Not a regular expression: ") + filter.problem());
    const RowMatcher& now = m_shown->filter();
    if (now.kinds == filter.kinds && now.text == filter.text && now.regex == filter.regex)
        return;
    m_shown->setFilter(filter);
}

QString SessionMonitor::countText() const {
    const qint64 held = m_rows->count();
    QString text =
        m_shown->filtered()
            ? QStringLiteral("%1 of %2 rows").arg(grouped(m_shown->count()), grouped(held))
            : QStringLiteral("%1 rows").arg(grouped(held));
    if (m_shown->filtering())
        text += QStringLiteral(" (filtering, %1 %)").arg(int(m_shown->progress() * 100));
    if (const auto* log = qobject_cast<const LogRows*>(m_rows); log && !log->file().indexed())
        text += QStringLiteral(" (reading)");
    return text;
}

QString SessionMonitor::statusText() const {
    return m_status->text();
}

void SessionMonitor::updateCount() {
    m_count->setText(countText());
}

void SessionMonitor::scheduleCount() {
    const bool reading =
        !m_rows->isLive() && !static_cast<const LogRows*>(m_rows)->file().indexed();
    if ((m_shown->filtering() || reading) && !m_countDelay.isActive())
        m_countDelay.start();
    else if (!m_shown->filtering() && !reading && m_countDelay.isActive())
        updateCount(); // the last slice: the final count at once
}

void SessionMonitor::showFollow(bool following, qint64 newRows) {
    // A log read back has no new rows: only rows not read yet.
    m_newRows->setVisible(!following && newRows > 0 && m_rows->isLive());
    if (!following && newRows > 0)
        m_newRows->setText(
            QStringLiteral("%1 new row%2 \u2193").arg(grouped(newRows), newRows == 1 ? "" : "s"));
}

void SessionMonitor::find(int step) {
    RowMatcher text;
    text.text = m_filter->text();
    text.regex = m_regex->isChecked();
    if (!text.hasText()) {
        m_status->setText(QStringLiteral("Type what to find in the Filter box."));
        return;
    }
    if (!text.problem().isEmpty())
        return;
    text.prepare();
    m_status->setText(QStringLiteral("Finding..."));
    m_shown->search(
        m_view->currentRow(), step,
        [text](QByteArrayView visible, RowKind, QByteArray& scratch) {
            return text.matchesText(visible, scratch);
        },
        [this, step](qint64 row) {
            if (row >= 0) {
                m_status->clear();
                m_view->setCurrentRow(row);
            } else {
                m_status->setText(step > 0 ? QStringLiteral("No more matches below.")
                                           : QStringLiteral("No more matches above."));
            }
        });
}

void SessionMonitor::findProblem(int step) {
    m_shown->search(
        m_view->currentRow(), step,
        [](QByteArrayView, RowKind kind, QByteArray&) { return isProblem(kind); },
        [this, step](qint64 row) {
            if (row >= 0) {
                m_status->clear();
                m_view->setCurrentRow(row);
            } else {
                m_status->setText(step > 0 ? QStringLiteral("No more problems below.")
                                           : QStringLiteral("No more problems above."));
            }
        });
}

QString SessionMonitor::selectedText() const {
    QByteArray out;
    for (qint64 number : m_view->selectedNumbers())
        out += m_rows->logLine(number) + '\n';
    return QString::fromUtf8(out);
}

void SessionMonitor::writeRows(QIODevice& to, bool csv) const {
    QByteArray chunk;
    if (csv)
        chunk = "date,time,kind,text,reply_after\n";
    for (qint64 row = 0; row < m_shown->count(); ++row) {
        const qint64 number = m_shown->numberAt(row);
        if (!csv) {
            chunk += m_rows->logLine(number) + '\n';
        } else {
            const SessionRow r = m_rows->row(number);
            chunk += r.date + ',' + r.time + ',' + kindName(r.kind).toUtf8() + ',' +
                     csvField(r.text.toUtf8()) + ',' + csvField(r.after.toUtf8()) + '\n';
        }
        if (chunk.size() >= 1 << 16) {
            to.write(chunk);
            chunk.clear();
        }
    }
    to.write(chunk);
}

QString SessionMonitor::saveRows(const QString& path, bool csv) const {
    QList<InputFile> inputs{{QStringLiteral("the session log"),
                             QFile::encodeName(SessionLog::pathFor(QDate::currentDate()))}};
    if (const auto* log = qobject_cast<const LogRows*>(m_rows))
        inputs << InputFile{QStringLiteral("the log shown"), QFile::encodeName(log->file().path())};
    return writeWhole(
        path, [&](QIODevice& to) { writeRows(to, csv); }, inputs);
}

void SessionMonitor::chooseSaveFile() {
    const QString logText = QStringLiteral("Log text (*.log *.txt)");
    const QString csvText = QStringLiteral("CSV (*.csv)");
    const FileChoice choice =
        chooseFile(this, {FileRequest::Kind::Save, QStringLiteral("Save Rows"),
                          QStringLiteral("rows.log"), logText + QStringLiteral(";;") + csvText});
    QString path = choice.path;
    if (path.isEmpty())
        return;
    const bool csv =
        QFileInfo(path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0 ||
        (QFileInfo(path).suffix().isEmpty() && choice.filter == csvText);
    if (QFileInfo(path).suffix().isEmpty())
        path += csv ? QStringLiteral(".csv") : QStringLiteral(".log");
    if (const QString error = saveRows(path, csv); !error.isEmpty())
        QMessageBox::warning(this, programTitle(), error);
}

void SessionMonitor::chooseLog(QWidget* asker, QWidget* owner) {
    const QString path = chooseFile(asker, {FileRequest::Kind::Open, QStringLiteral("Open Log"),
                                            SessionLog::directory(),
                                            QStringLiteral("Session logs (*.log);;All files (*)")})
                             .path;
    if (path.isEmpty())
        return;
    QString error;
    if (SessionMonitor* log = openLog(path, owner, &error))
        log->show();
    else
        QMessageBox::warning(asker, programTitle(), error);
}
