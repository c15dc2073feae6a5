#include "sim/frameparser.h"

#include <QTest>

using orvsim::ParseEvent;
using Kind = ParseEvent::Kind;

namespace {

// What one feed() gave: "0B0510=00" for an answered frame (hex, then the
// status), "junk 4142" and "stale 0B05" for dropped bytes; "-" for nothing.
QByteArray describe(const std::vector<ParseEvent>& events) {
    QByteArrayList parts;
    for (const ParseEvent& e : events) {
        QByteArray text(reinterpret_cast<const char*>(e.bytes.data()), qsizetype(e.bytes.size()));
        text = text.toHex().toUpper();
        if (e.kind == Kind::Frame)
            text += '=' + QByteArray(1, char(e.status)).toHex().toUpper();
        parts += (e.kind == Kind::Junk ? "junk " : e.kind == Kind::Stale ? "stale " : "") + text;
    }
    return parts.isEmpty() ? QByteArray("-") : parts.join(", ");
}

} // namespace

class TestFrameParser : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void feeds_data() {
        // Feeds as "hex@ms", separated by blanks; what each gave, separated by " / ".
        QTest::addColumn<QByteArray>("feeds");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char* name, const char* feeds, const char* expected) {
            QTest::newRow(name) << QByteArray(feeds) << QByteArray(expected);
        };
        row("comm test, reset", "0B05100B0611@0", "0B0510=00, 0B0611=00");
        row("key 00, 01", "0B0002505D0B0102505E@0", "0B0002505D=00, 0B0102505E=00");
        row("key 02, 03 with sum past 255", "0B0201505E0B03FF000D@0",
            "0B0201505E=00, 0B03FF000D=00");
        row("key 04, lead byte as data", "0B040B0B25@0", "0B040B0B25=00");
        row("bad checksums", "0B05110B0002505C@0", "0B0511=0F, 0B0002505C=0F");
        row("unknown command NAKed at once", "0B@0 07@0 0B0510@0", "- / 0B07=FF / 0B0510=00");
        row("unknown commands 0B, FF", "0B0B0BFF0B0611@0", "0B0B=FF, 0BFF=FF, 0B0611=00");
        row("junk dropped", "414200FF0B05100D0A@0", "junk 414200FF, 0B0510=00, junk 0D0A");
        row("split frame joined", "0B@0 04@10 03@20 50@30 62@40", "- / - / - / - / 0B04035062=00");
        row("partial kept at 100 ms", "0B05@1000 10@1100", "- / 0B0510=00");
        row("stale partial dropped past 100 ms", "0B05@1000 100B0510@1101",
            "- / stale 0B05, junk 10, 0B0510=00");
        row("age counts from the lead byte", "0B@0 00@60 02@100 50@101",
            "- / - / - / stale 0B0002, junk 50");
        row("clock stepping back ages nothing", "0B05@5000 10@0", "- / 0B0510=00");
        row("extreme clock values", "0B05@-9223372036854775808 10@9223372036854775807",
            "- / stale 0B05, junk 10");
    }
    void feeds() {
        QFETCH(QByteArray, feeds);
        QFETCH(QByteArray, expected);
        orvsim::FrameParser parser;
        QByteArrayList got;
        for (const QByteArray& feed : feeds.split(' ')) {
            const QList<QByteArray> parts = feed.split('@');
            const std::string bytes = QByteArray::fromHex(parts.at(0)).toStdString();
            got += describe(parser.feed(bytes, parts.at(1).toLongLong()));
        }
        QCOMPARE(got.join(" / "), expected);
    }
};

QTEST_GUILESS_MAIN(TestFrameParser)
#include "tst_frameparser.moc"
