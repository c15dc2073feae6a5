#include "frameparser.h"

#include <QTest>
#include <limits>
#include <random>

using orvsim::FrameParser;
using orvsim::ParseEvent;
using Kind = ParseEvent::Kind;
using Bytes = std::vector<std::uint8_t>;

Q_DECLARE_METATYPE(std::string)

namespace {

std::string bytes(const char* hex) {
    return QByteArray::fromHex(hex).toStdString();
}

Bytes vec(const char* hex) {
    const std::string b = bytes(hex);
    return {b.begin(), b.end()};
}

} // namespace

class TestFrameParser : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void replyTexts() {
        QCOMPARE(orvsim::replyText(orvsim::kAck), std::string("0B 00 0B"));
        QCOMPARE(orvsim::replyText(orvsim::kNak), std::string("0B FF 0A"));
        QCOMPARE(orvsim::replyText(orvsim::kChecksumError), std::string("0B 0F 1A"));
    }

    void completeFramesAnswered_data() {
        QTest::addColumn<std::string>("frame");
        QTest::addColumn<int>("status");
        QTest::newRow("comm test") << bytes("0B0510") << int(orvsim::kAck);
        QTest::newRow("reset") << bytes("0B0611") << int(orvsim::kAck);
        QTest::newRow("key 00") << bytes("0B0002505D") << int(orvsim::kAck);
        QTest::newRow("key 01") << bytes("0B0102505E") << int(orvsim::kAck);
        QTest::newRow("key 02") << bytes("0B0201505E") << int(orvsim::kAck);
        QTest::newRow("key 03, sum past 255") << bytes("0B03FF000D") << int(orvsim::kAck);
        QTest::newRow("key 04") << bytes("0B04035062") << int(orvsim::kAck);
        QTest::newRow("lead byte as data") << bytes("0B000B0B21") << int(orvsim::kAck);
        QTest::newRow("comm test, bad sum") << bytes("0B0511") << int(orvsim::kChecksumError);
        QTest::newRow("key, bad sum") << bytes("0B0002505C") << int(orvsim::kChecksumError);
        QTest::newRow("reset, zero sum") << bytes("0B0600") << int(orvsim::kChecksumError);
    }
    void completeFramesAnswered() {
        QFETCH(std::string, frame);
        QFETCH(int, status);
        FrameParser parser;
        const auto events = parser.feed(frame, 0);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].kind, Kind::Frame);
        QCOMPARE(int(events[0].status), status);
        QCOMPARE(events[0].bytes, Bytes(frame.begin(), frame.end()));
        QCOMPARE(parser.pendingSize(), size_t(0));
    }

    void unknownCommandNakedAtOnce_data() {
        QTest::addColumn<int>("command");
        QTest::newRow("07") << 0x07;
        QTest::newRow("0B") << 0x0B;
        QTest::newRow("FF") << 0xFF;
    }
    void unknownCommandNakedAtOnce() {
        QFETCH(int, command);
        FrameParser parser;
        QVERIFY(parser.feed(bytes("0B"), 0).empty());
        const auto events = parser.feed(std::string(1, char(command)), 0);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].kind, Kind::Frame);
        QCOMPARE(events[0].status, orvsim::kNak);
        QCOMPARE(events[0].bytes, (Bytes{0x0B, std::uint8_t(command)}));
        QCOMPARE(parser.pendingSize(), size_t(0));
        // Only lead and command are gone: a frame right behind is read whole.
        const auto next = parser.feed(bytes("0B0510"), 0);
        QCOMPARE(next.size(), size_t(1));
        QCOMPARE(next[0].status, orvsim::kAck);
    }

    void junkAroundFramesDropped() {
        FrameParser parser;
        const auto events = parser.feed(bytes("414200FF0B05100D0A"), 0);
        QCOMPARE(events.size(), size_t(3));
        QCOMPARE(events[0].kind, Kind::Junk);
        QCOMPARE(events[0].bytes, vec("414200FF"));
        QCOMPARE(events[1].kind, Kind::Frame);
        QCOMPARE(events[1].bytes, vec("0B0510"));
        QCOMPARE(events[2].kind, Kind::Junk);
        QCOMPARE(events[2].bytes, vec("0D0A"));
        QCOMPARE(parser.pendingSize(), size_t(0));
    }

    void frameSplitAcrossFeedsJoined() {
        FrameParser parser;
        const std::string frame = bytes("0B04035062");
        for (size_t i = 0; i + 1 < frame.size(); ++i) {
            QVERIFY(parser.feed(frame.substr(i, 1), std::int64_t(i) * 10).empty());
            QCOMPARE(parser.pendingSize(), i + 1);
        }
        const auto events = parser.feed(frame.substr(frame.size() - 1), 40);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].status, orvsim::kAck);
        QCOMPARE(events[0].bytes, vec("0B04035062"));
    }

    void severalFramesInOneFeed() {
        FrameParser parser;
        const auto events = parser.feed(bytes("0B05100B06110B070B0002505D0B0512"), 0);
        QCOMPARE(events.size(), size_t(5));
        const std::uint8_t expected[] = {orvsim::kAck, orvsim::kAck, orvsim::kNak, orvsim::kAck,
                                         orvsim::kChecksumError};
        for (size_t i = 0; i < events.size(); ++i)
            QCOMPARE(events[i].status, expected[i]);
    }

    void partialFrameAtTimeoutKept() {
        FrameParser parser;
        QVERIFY(parser.feed(bytes("0B05"), 1000).empty());
        const auto events = parser.feed(bytes("10"), 1000 + orvsim::kFrameTimeoutMs);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].kind, Kind::Frame);
        QCOMPARE(events[0].status, orvsim::kAck);
    }

    void partialFrameOlderThanTimeoutDropped() {
        FrameParser parser;
        QVERIFY(parser.feed(bytes("0B05"), 1000).empty());
        const auto events = parser.feed(bytes("100B0510"), 1000 + orvsim::kFrameTimeoutMs + 1);
        QCOMPARE(events.size(), size_t(3));
        QCOMPARE(events[0].kind, Kind::Stale);
        QCOMPARE(events[0].bytes, vec("0B05"));
        // The late byte has no lead byte of its own any more; the next frame does.
        QCOMPARE(events[1].kind, Kind::Junk);
        QCOMPARE(events[1].bytes, vec("10"));
        QCOMPARE(events[2].kind, Kind::Frame);
        QCOMPARE(events[2].status, orvsim::kAck);
    }

    void frameAgeCountsFromLeadByte() {
        // Bytes trickling in keep no frame alive past its time.
        FrameParser parser;
        QVERIFY(parser.feed(bytes("0B"), 0).empty());
        QVERIFY(parser.feed(bytes("00"), 60).empty());
        QVERIFY(parser.feed(bytes("02"), 100).empty());
        const auto events = parser.feed(bytes("50"), 101);
        QCOMPARE(events.size(), size_t(2));
        QCOMPARE(events[0].kind, Kind::Stale);
        QCOMPARE(events[0].bytes, vec("0B0002"));
    }

    void extremeClockValues() {
        FrameParser parser;
        QVERIFY(parser.feed(bytes("0B05"), std::numeric_limits<std::int64_t>::min()).empty());
        const auto events = parser.feed(bytes("10"), std::numeric_limits<std::int64_t>::max());
        QCOMPARE(events.size(), size_t(2));
        QCOMPARE(events[0].kind, Kind::Stale);
        // A clock that steps back ages nothing.
        QVERIFY(parser.feed(bytes("0B05"), 5000).empty());
        QCOMPARE(parser.feed(bytes("10"), 0).at(0).status, orvsim::kAck);
    }

    void resetForgetsPartialFrame() {
        FrameParser parser;
        QVERIFY(parser.feed(bytes("0B0002"), 0).empty());
        parser.reset();
        QCOMPARE(parser.pendingSize(), size_t(0));
        const auto events = parser.feed(bytes("0B0510"), 1);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].status, orvsim::kAck);
    }

    void randomBytesAllAccountedFor() {
        // Every byte fed ends up, in order, in exactly one event or in the
        // pending frame, and every answered frame is well formed.
        std::mt19937 random(20240601);
        std::uniform_int_distribution<int> byte(0, 255);
        std::uniform_int_distribution<int> length(0, 12);
        std::uniform_int_distribution<int> step(0, 60);
        for (int round = 0; round < 200; ++round) {
            FrameParser parser;
            std::string fed;
            std::string accounted;
            std::int64_t now = 0;
            for (int feed = 0; feed < 50; ++feed) {
                std::string chunk;
                const int n = length(random);
                for (int i = 0; i < n; ++i) {
                    // Plenty of lead bytes and valid commands, or little would parse.
                    const int roll = byte(random);
                    chunk += char(roll < 40 ? 0x0B : roll < 100 ? roll % 7 : byte(random));
                }
                now += step(random);
                for (const ParseEvent& e : parser.feed(chunk, now)) {
                    QVERIFY(!e.bytes.empty());
                    if (e.kind == Kind::Frame) {
                        QCOMPARE(e.bytes[0], orvsim::kLeadByte);
                        const size_t expected = orvsim::frameLength(e.bytes[1]);
                        if (expected == 0) {
                            QCOMPARE(e.status, orvsim::kNak);
                            QCOMPARE(e.bytes.size(), size_t(2));
                        } else {
                            QCOMPARE(e.bytes.size(), expected);
                            const bool good =
                                orvsim::checksum(e.bytes.data(), expected - 1) == e.bytes.back();
                            QCOMPARE(e.status, good ? orvsim::kAck : orvsim::kChecksumError);
                        }
                    }
                    accounted.append(e.bytes.begin(), e.bytes.end());
                }
                fed += chunk;
                QVERIFY(parser.pendingSize() < 5);
                QCOMPARE(accounted.size() + parser.pendingSize(), fed.size());
            }
            QCOMPARE(accounted, fed.substr(0, accounted.size()));
        }
    }
};

QTEST_GUILESS_MAIN(TestFrameParser)
#include "tst_frameparser.moc"
