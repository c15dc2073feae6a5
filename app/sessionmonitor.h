#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

class LogFile;
class MonitorModel;
class QCheckBox;
class QIODevice;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class SessionMonitorView;
class SessionRows;
class ShownRows;

// The whole session at a glance, beside the main window: every row the
// monitor holds, live, in columns, with a filter, find, jumps to the next
// problem, copy and Save Rows... A past session log opens in one of its own
// (Open Log...), read-only.
class SessionMonitor : public QWidget {
    Q_OBJECT
public:
    // The main window's monitor; selectInMain(number) selects a row there.
    SessionMonitor(const MonitorModel& monitor, std::function<void(qint64)> selectInMain,
                   QWidget* parent);
    // A session log read back.
    SessionMonitor(std::unique_ptr<LogFile> log, QWidget* parent);
    ~SessionMonitor() override;

    // Opens the log at path in a window of its own, or says why not.
    static SessionMonitor* openLog(const QString& path, QWidget* parent, QString* error);
    // Asks asker's operator for a log and opens it beside owner, or says why not.
    static void chooseLog(QWidget* asker, QWidget* owner);

    SessionMonitorView* view() const { return m_view; }
    ShownRows& shown() const { return *m_shown; }
    // "312 of 8,640,000 rows".
    QString countText() const;
    QString statusText() const;

    // Takes the filter box and the toggles now, rather than after typing stops.
    void applyFilter();
    // The next (step 1) or previous (-1) row holding the filter's text, or
    // the next problem: NAK, CRC, error, not sent, failed expectation.
    void find(int step);
    void findProblem(int step);
    // The selected rows as the log writes them.
    QString selectedText() const;
    // Writes the shown rows, as log text or CSV; an empty text or why not.
    QString saveRows(const QString& path, bool csv) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    void chooseSaveFile();
    // Beside the window it was asked from, and gone with the main window.
    void chooseLogHere() { chooseLog(this, parentWidget() ? parentWidget() : this); }
    void updateCount();
    void scheduleCount();
    void showFollow(bool following, qint64 newRows);
    void writeRows(QIODevice& to, bool csv) const;

    SessionRows* m_rows = nullptr;
    ShownRows* m_shown = nullptr;
    SessionMonitorView* m_view = nullptr;
    std::function<void(qint64)> m_selectInMain;
    QLineEdit* m_filter = nullptr;
    QCheckBox* m_regex = nullptr;
    QCheckBox* m_onlyMatching = nullptr;
    QList<QToolButton*> m_kinds;
    QLabel* m_count = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_newRows = nullptr;
    QTimer m_filterDelay;
    QTimer m_countDelay;
};
