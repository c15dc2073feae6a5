#pragma once

#include "filetext/outputfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QVector>
#include <optional>
#include <utility>

class QIODevice;

// The JUnit XML of one run, gathered as its expectations are evaluated, in
// memory and a file size that stay bounded however long the run is:
// - the first namedCases expectations get a testcase each;
// - after that, passes are folded into one testcase per expect line and
//   block of that line's repetitions: "t.seq:3 expect ACK (repetitions
//   10001-20000: 10000 met)" (blocks grow, two merged into one, if the
//   folded testcases would pass foldedLimit; passes that still find no room
//   go into one testcase of their own);
// - failures are named one a testcase up to the first namedFailures in all,
//   wherever they come; one more testcase counts the rest;
// - an expectation a stop cut short is a testcase with an <error>.
// The suite's tests, failures and errors count the testcases the file
// holds; its <properties> give the exact totals.
class JUnitReport {
public:
    static constexpr qint64 defaultNamedCases = 10000;
    static constexpr qint64 defaultNamedFailures = 1000;
    static constexpr int defaultFoldedLimit = 4096;
    // The size the file stays under at the default bounds, whatever the names.
    static constexpr int maxFileMB = 20;

    explicit JUnitReport(const QString& suite, qint64 namedCases = defaultNamedCases,
                         qint64 namedFailures = defaultNamedFailures,
                         int foldedLimit = defaultFoldedLimit);

    // One evaluated expectation: its name ("t.seq:3 expect ACK (repetition
    // 2)"), the expect line and what that line is called without the
    // repetition ("t.seq:3 expect ACK"), its latency, and why it failed
    // (empty when met).
    void add(const QString& name, int line, const QString& step, double seconds,
             const QString& failure);
    // The expectation a stop cut short.
    void addError(const QString& name, const QString& message);
    // Why the run ended early, for <system-err>.
    void setSystemErr(const QString& text) { m_systemErr = text; }
    void setTiming(const QDateTime& startedUtc, double seconds) {
        m_started = startedUtc;
        m_seconds = seconds;
    }
    // Further <property> elements after the totals (the latency figures).
    void setProperties(const QList<std::pair<QString, QString>>& properties) {
        m_properties = properties;
    }

    qint64 expectations() const { return m_expectations; }
    qint64 failures() const { return m_failures; }
    qint64 errors() const { return m_error ? 1 : 0; }

    void write(QIODevice& to) const;
    QByteArray xml() const;
    // Writes the report file, never through a link (see writeOutputFile); an
    // empty text, or why not.
    QString writeFile(const QByteArray& path, const QList<InputFile>& inputs = {}) const;

private:
    struct Case {
        QString name;
        double seconds = 0;
        QString failure;
    };
    struct Fold {
        int line = 0;
        qint64 first = 0; // the line's repetitions it stands for
        qint64 last = 0;
        qint64 met = 0;
        double seconds = 0;
    };
    struct Line {
        QString step;
        qint64 evaluated = 0;
        int open = -1; // its latest entry in m_folded
    };

    void nameCase(const QString& name, double seconds, const QString& failure);
    void fold(int line, Line& state, qint64 repetition, double seconds);
    void mergeFolds();

    QString m_suite;
    qint64 m_namedCases;
    qint64 m_namedFailuresLimit;
    int m_foldedLimit;
    qint64 m_blockSize;
    bool m_foldsFull = false;

    qint64 m_expectations = 0;
    qint64 m_failures = 0;
    qint64 m_namedFailures = 0;
    qint64 m_namedBytes = 0; // what the named testcases may take in the file, at most
    QVector<Case> m_named;
    QVector<Fold> m_folded;
    QHash<int, Line> m_lines;
    qint64 m_otherMet = 0; // passes beyond the folded testcases' room
    qint64 m_unnamedFailures = 0;
    qint64 m_firstUnnamed = 0; // expectation numbers of the unnamed failures
    qint64 m_lastUnnamed = 0;
    std::optional<Case> m_error;
    QString m_systemErr;
    QDateTime m_started;
    double m_seconds = 0;
    QList<std::pair<QString, QString>> m_properties;
};
