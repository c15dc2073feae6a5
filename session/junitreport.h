#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// One evaluated expectation, as a CI system sees a test case.
struct JUnitCase {
    QString name; // "burnin.seq:7 expect ACK (repetition 2, 3)"
    double seconds = 0;
    QString failure; // empty when it passed
};

// The JUnit XML of one run: a <testsuite> named after the sequence file with
// one <testcase> per expectation. A run that ended early says why in the
// suite's <system-err>.
QByteArray junitXml(const QString& suite, double seconds, const QVector<JUnitCase>& cases,
                    const QString& endedEarly = {});

// Writes the report so that readers never see half a file. Returns an empty
// text, or why it could not be written, naming the path.
QString writeJUnitReport(const QString& path, const QByteArray& xml);
