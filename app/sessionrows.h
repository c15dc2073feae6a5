#pragma once

#include "session/rowkind.h"
#include "session/stampedline.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class LogFile;
class MonitorModel;

// What one row of the Session Monitor shows.
struct SessionRow {
    QByteArray date; // "2026-12-07"; empty for a line without a time
    QByteArray time; // "12:56:44.557"
    RowKind kind = RowKind::Text;
    QString text;  // the whole line, escaped as the log escapes it
    QString after; // for a reply: "12.4 ms after Key: 5"
};

// The rows a Session Monitor shows, each known by a number that stays with
// it: rows first() to end() - 1 are held, the oldest leave at the front and
// new ones come at the end.
class SessionRows : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual qint64 first() const = 0;
    virtual qint64 end() const = 0;
    qint64 count() const { return end() - first(); }
    // The row's text as the log holds it, and its kind unless kind is null:
    // all a filter looks at. The text may be written into scratch.
    virtual QByteArrayView visible(qint64 number, QByteArray& scratch, RowKind* kind) const = 0;
    virtual SessionRow row(qint64 number) const = 0;
    // The row as the session log writes it: "YYYY-MM-DD HH:MM:SS.mmm  <text>".
    virtual QByteArray logLine(qint64 number) const = 0;
    // Whether the rows are the live monitor's (else a log read back).
    virtual bool isLive() const = 0;

Q_SIGNALS:
    void appended();
    void dropped();
    // Every row went (Clear Comm); numbers start again.
    void cleared();
};

// The main window's monitor, in the batches it publishes to its own view:
// following it costs no more wakes than the main window already has.
class LiveRows : public SessionRows {
    Q_OBJECT
public:
    explicit LiveRows(const MonitorModel& monitor, QObject* parent = nullptr);

    qint64 first() const override;
    qint64 end() const override;
    QByteArrayView visible(qint64 number, QByteArray& scratch, RowKind* kind) const override;
    SessionRow row(qint64 number) const override;
    QByteArray logLine(qint64 number) const override;
    bool isLive() const override { return true; }

private:
    const MonitorModel& m_monitor;
    mutable LineStamper m_stamper;
};

// A session log read back, indexed in slices as the window goes on.
class LogRows : public SessionRows {
    Q_OBJECT
public:
    LogRows(std::unique_ptr<LogFile> log, QObject* parent = nullptr);
    ~LogRows() override;

    const LogFile& file() const { return *m_log; }
    qint64 first() const override { return 0; }
    qint64 end() const override;
    QByteArrayView visible(qint64 number, QByteArray& scratch, RowKind* kind) const override;
    SessionRow row(qint64 number) const override;
    QByteArray logLine(qint64 number) const override;
    bool isLive() const override { return false; }

private:
    void indexSome();

    std::unique_ptr<LogFile> m_log;
    QTimer m_indexing;
};

// The name and mark of a kind as the Session Monitor shows them: a word, and
// for a problem a symbol, so that no one needs the colour to tell.
QString kindLabel(RowKind kind);
// The same without the symbol.
QString kindName(RowKind kind);
