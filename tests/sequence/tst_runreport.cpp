// What a long run keeps of itself: latency quantiles from a fixed-size
// histogram, and a JUnit report whose testcases are folded past a bound.
#include "sequence/junitreport.h"
#include "sequence/latencyhistogram.h"

#include <QtTest>
#include <algorithm>
#include <random>

class TestRunReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void latencyWithinOnePercentOfExact_data() {
        QTest::addColumn<QVector<qint64>>("us");
        std::mt19937_64 rng(17);
        auto draw = [&rng](auto distribution) {
            QVector<qint64> v;
            for (int i = 0; i < 20001; ++i)
                v << qMax<qint64>(0, qint64(distribution(rng)));
            return v;
        };
        QTest::newRow("uniform") << draw(std::uniform_int_distribution<qint64>(150, 90000));
        QVector<qint64> two = draw(std::normal_distribution<>(900, 60));
        two += draw(std::normal_distribution<>(45000, 4000));
        QTest::newRow("bimodal") << two;
        QTest::newRow("long-tailed") << draw(std::lognormal_distribution<>(7.5, 1.6));
        QTest::newRow("one reply") << QVector<qint64>{1234};
        QTest::newRow("even count, p95 the top") << QVector<qint64>{5000, 100, 300, 200};
    }
    void latencyWithinOnePercentOfExact() {
        QFETCH(QVector<qint64>, us);
        LatencyHistogram h;
        for (qint64 v : us)
            h.add(v);
        std::sort(us.begin(), us.end());
        const qsizetype n = us.size();
        const double median = n % 2 ? us[n / 2] : (us[n / 2 - 1] + us[n / 2]) / 2.0;
        const double p95 = us[qsizetype(std::ceil(0.95 * n)) - 1];
        QCOMPARE(QList<qint64>({h.count(), h.minUs(), h.maxUs()}),
                 QList<qint64>({n, us.first(), us.last()}));
        for (const auto& [got, exact] :
             {std::pair{h.medianUs(), median}, {h.quantileUs(0.95), p95}})
            QVERIFY2(std::abs(got - exact) <= qMax(0.01 * exact, 10.0),
                     qPrintable(QString::number(got)));
    }

    void passesFoldAndFailuresNamedUpToTheirBounds() {
        // 5 named testcases, 3 named failures, room for 8 folded testcases.
        JUnitReport report(QStringLiteral("t"), 5, 3, 8);
        const QList<int> failing{2, 10, 11, 12, 20}; // line 5's repetitions
        for (int rep = 1; rep <= 30; ++rep) {
            for (int line : {3, 5}) {
                const bool fails = line == 5 && failing.contains(rep);
                report.add(QStringLiteral("t:%1 (repetition %2)").arg(line).arg(rep), line,
                           QStringLiteral("t:%1").arg(line), 0.001,
                           fails ? QStringLiteral("expected ACK") : QString());
            }
        }
        report.addError(QStringLiteral("t:3 (repetition 31)"), QStringLiteral("stopped by SIGHUP"));
        const QString xml = QString::fromUtf8(report.xml());
        auto all = [&xml](const char* pattern) {
            QStringList found;
            for (const QRegularExpressionMatch& m : QRegularExpression(pattern).globalMatch(xml))
                found << m.captured(1);
            return found.join(QLatin1Char('|'));
        };
        QCOMPARE(all("<testcase [^>]*name=\"([^\"]*)\""),
                 "t:3 (repetition 1)|t:5 (repetition 1)|t:3 (repetition 2)|t:5 (repetition 2)|"
                 "t:3 (repetition 3)|t:5 (repetition 10)|t:5 (repetition 11)|"
                 "t:5 (repetitions 3-9: 7 met)|t:3 (repetitions 4-10: 7 met)|"
                 "t:3 (repetitions 11-20: 10 met)|t:5 (repetitions 13-19: 7 met)|"
                 "t:3 (repetitions 21-30: 10 met)|t:5 (repetitions 21-30: 10 met)|"
                 "t: 2 more failures (expectations 24-40)|t:3 (repetition 31)");
        // The suite counts the testcases held; the properties count everything.
        QCOMPARE(all(R"(<testsuite [^>]* (tests="\d+" failures="\d+" errors="\d+"))"),
                 R"(tests="15" failures="4" errors="1")");
        QCOMPARE(all("<(failure|error) "), "failure|failure|failure|failure|error");
        QCOMPARE(all(R"x(<property name="(\w+" value="\d+)")x"),
                 R"x(expectations" value="60|failures" value="5|errors" value="1)x");
    }
};

QTEST_GUILESS_MAIN(TestRunReport)
#include "tst_runreport.moc"
