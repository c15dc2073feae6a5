// What a long run keeps of itself: latency quantiles from a fixed-size
// histogram, and a JUnit report whose testcases are folded past a bound.
#include "sequence/junitreport.h"
#include "sequence/latencyhistogram.h"
#include "sequence/runprogress.h"

#include <QtTest>
#include <algorithm>
#include <limits>
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

    // The buckets tile every value without gaps or overlaps, none wider than
    // 1/64 of its lower edge above the linear range, and each value, at the
    // edges above all, lands in the bucket that holds it.
    void histogramBucketEdges() {
        const int last = LatencyHistogram::bucketCount() - 1;
        for (int i = 0; i < last; ++i) {
            const qint64 lo = LatencyHistogram::bucketLowerUs(i);
            const qint64 hi = LatencyHistogram::bucketUpperUs(i);
            QVERIFY2(hi == LatencyHistogram::bucketLowerUs(i + 1) && hi > lo,
                     qPrintable(QString::number(i)));
            QVERIFY2(lo < 128 || (hi - lo) * 64 <= lo, qPrintable(QString::number(i)));
        }
        QVector<qint64> edges{0, 1, 127, 128, 129, std::numeric_limits<qint64>::max()};
        for (int k = 8; k < 63; ++k)
            edges << (qint64(1) << k) - 1 << (qint64(1) << k) << (qint64(1) << k) + 1;
        for (qint64 v : edges) {
            const int b = LatencyHistogram::bucketOf(v);
            QVERIFY2(b >= 0 && b <= last && LatencyHistogram::bucketLowerUs(b) <= v &&
                         (b == last || v < LatencyHistogram::bucketUpperUs(b)),
                     qPrintable(QString::number(v)));
        }
    }

    void passesFoldAndFailuresNamedUpToTheirBounds() {
        // 5 named testcases, 3 named failures, room for 8 folded testcases.
        JUnitReport report("t", 5, 3, 8);
        const QList<int> failing{2, 10, 11, 12, 20}; // line 5's repetitions
        for (int rep = 1; rep <= 30; ++rep)
            for (int line : {3, 5}) {
                const bool fails = line == 5 && failing.contains(rep);
                report.add(QStringLiteral("t:%1 (repetition %2)").arg(line).arg(rep), line,
                           QStringLiteral("t:%1").arg(line), 0.001,
                           fails ? QStringLiteral("expected ACK") : QString());
            }
        report.addError("t:3 (repetition 31)", "stopped by SIGHUP");
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

    // The report's edges: what it names, folds, counts, escapes and shortens.
    void reportEdges_data() {
        QTest::addColumn<QStringList>("has"); // in the XML
        QTest::newRow("failures named up to 1,000 in all, then one counting case")
            << QStringList{"tests=\"1001\" failures=\"1001\" errors=\"0\"",
                           "t: 500 more failures (expectations 1001-1500)"};
        QTest::newRow("blocks stay aligned after a merge")
            << QStringList{"t:3 (repetitions 2-4: 3 met)", "t:3 (repetitions 5-8: 4 met)",
                           "t:3 (repetitions 9-12: 4 met)", "tests=\"4\""};
        QTest::newRow("more expectations met than lines have room")
            << QStringList{"t: 3 more expectations met (more expect lines than the report has "
                           "room for)",
                           "tests=\"6\""};
        QTest::newRow("escaping: what XML cannot hold")
            << QStringList{"name=\"t\\x01&quot;&lt;" + QString(QChar(0xFFFD)),
                           QStringLiteral("message=\"got \\x1B[2J\"")};
        QTest::newRow("shortening: names and texts elided")
            << QStringList{QStringLiteral("name=\"") + QString(100, 'n') + "..." +
                               QString(97, 'n') + QLatin1Char('\"'),
                           QStringLiteral("message=\"") + QString(1000, 'f') + "..." +
                               QString(997, 'f') + QLatin1Char('\"')};
        QTest::newRow("size budget: under maxFileMB whatever the names")
            << QStringList{"<property name=\"expectations\" value=\"12000\"/>"};
    }
    void reportEdges() {
        QFETCH(QStringList, has);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        JUnitReport report(tag.startsWith("escaping") ? QStringLiteral("t\x01\"<") + QChar(0xFFFF)
                                                      : QStringLiteral("t"),
                           tag.startsWith("failures") || tag.startsWith("size")
                               ? JUnitReport::defaultNamedCases
                               : 1,
                           JUnitReport::defaultNamedFailures, 4);
        auto add = [&report](int line, int rep, const QString& name, const QString& failure) {
            report.add(name.isEmpty() ? QStringLiteral("t:%1 (repetition %2)").arg(line).arg(rep)
                                      : name,
                       line, QStringLiteral("t:%1").arg(line), 0.001, failure);
        };
        if (tag.startsWith("failures"))
            for (int rep = 1; rep <= 1500; ++rep)
                add(3, rep, {}, "expected ACK");
        else if (tag.startsWith("blocks"))
            for (int rep = 1; rep <= 12; ++rep)
                add(3, rep, {}, {});
        else if (tag.startsWith("more"))
            for (int line = 1; line <= 8; ++line)
                add(line, 1, {}, {});
        else if (tag.startsWith("escaping"))
            add(3, 1, QStringLiteral("t\x01\"<") + QChar(0xD800), "got \x1B[2J");
        else if (tag.startsWith("shortening"))
            add(3, 1, QString(300, 'n'), QString(3000, 'f'));
        else // names at the most an escaped character can take
            for (int rep = 1; rep <= 12000; ++rep)
                add(3, rep, QString(300, '"'), rep % 2 ? QString(3000, '<') : QString());
        const QByteArray xml = report.xml();
        QXmlStreamReader reader(xml);
        while (!reader.atEnd())
            reader.readNext();
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
        QVERIFY(xml.size() < qint64(JUnitReport::maxFileMB) * 1000 * 1000);
        for (const QString& text : has)
            QVERIFY2(QString::fromUtf8(xml).contains(text), qPrintable(text));
    }

    void timeLeftStaysTrueAtTenToTheEighteen() {
        RunProgress progress(qint64(1e18));
        progress.sample(0, 0);
        QCOMPARE(progress.msLeft(), -1); // no pace yet
        progress.sample(2000, 1);
        QCOMPARE(progress.pace(), 0.5);
        QCOMPARE(progress.msLeft(), qint64(RunProgress::maxMsLeft));
        QCOMPARE(duration(progress.msLeft()), "11574074 d 1 h");
    }
};

QTEST_GUILESS_MAIN(TestRunReport)
#include "tst_runreport.moc"
