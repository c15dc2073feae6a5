#include "filetext/visibletext.h"
#include "protocol/hexframe.h"
#include "sequence/sequencefile.h"
#include "sequence/sequencewords.h"

#include <QByteArrayView>
#include <limits>
#include <optional>

// Text in, steps or a located error out: the words of each line, what step
// they make, and the checks that need the steps before it (an expect with
// nothing sent before it, blocks that do not close).
namespace {

using Bytes = QByteArrayView;
using namespace sequencewords;

constexpr qint64 most = std::numeric_limits<qint64>::max();

bool isSpace(char c) {
    return isBlank(c) || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Whether word is the lower-case ASCII keyword, in any case.
template <std::size_t N> bool is(Bytes word, const char (&keyword)[N]) {
    if (word.size() != qsizetype(N - 1))
        return false;
    for (std::size_t i = 0; i + 1 < N; ++i) {
        const char c = word[qsizetype(i)];
        if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != keyword[i])
            return false;
    }
    return true;
}

std::optional<SequenceStep::Reply> replyOf(Bytes word) {
    if (is(word, "ack"))
        return SequenceStep::Ack;
    if (is(word, "nak"))
        return SequenceStep::Nak;
    if (is(word, "crc"))
        return SequenceStep::Crc;
    if (is(word, "any"))
        return SequenceStep::Any;
    if (is(word, "none"))
        return SequenceStep::None;
    return std::nullopt;
}

// Plain decimal digits only: "+5", "1e3" and "0x10" are mistakes, not numbers.
std::optional<int> number(Bytes word, int low, int high) {
    if (word.isEmpty() || word.size() > 9)
        return std::nullopt;
    int n = 0;
    for (const char c : word) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (n < low || n > high)
        return std::nullopt;
    return n;
}

qint64 saturatedAdd(qint64 a, qint64 b) {
    return a > most - b ? most : a + b;
}

qint64 saturatedMul(qint64 a, qint64 b) {
    return a > most / b ? most : a * b;
}

class Parser {
public:
    explicit Parser(SequenceFile& file) : m_file(file), m_data(file.text.constData()) {}

    // One line, [begin, end) of the file's text. False with m_file.error set
    // on the first mistake.
    bool line(int lineNumber, qsizetype begin, qsizetype end) {
        m_line = lineNumber;
        m_begin = begin;
        m_end = end;
        if (!isUtf8(Bytes(m_data + begin, end - begin)))
            return fail(QStringLiteral("not UTF-8 text"));
        Word words[5];
        const int n = split(m_data, begin, end, words);
        if (n == 0 || m_data[words[0].at] == '#')
            return true;
        auto word = [&](int i) {
            return i < n ? Bytes(m_data + words[i].at, words[i].size) : Bytes();
        };
        auto quoted = [&](int i) { return terminalText(word(i)); };
        const int index = int(m_file.steps.size());
        SequenceStep step;
        step.line = lineNumber;
        step.at = quint32(words[0].at);
        int used = 1;
        const Bytes keyword = word(0);
        if (is(keyword, "key")) {
            if (n < 2)
                return fail(QStringLiteral("key needs one of 0-9, * or #"));
            step.kind = SequenceStep::Key;
            step.key = qint8(word(1).size() == 1 ? commands::keypadIndex(word(1)[0]) : -1);
            if (step.key < 0)
                return fail(QStringLiteral("unknown key \"%1\" (0-9, * or #)").arg(quoted(1)));
            used = 2;
        } else if (is(keyword, "commtest")) {
            step.kind = SequenceStep::CommTest;
        } else if (is(keyword, "reset")) {
            step.kind = SequenceStep::Reset;
        } else if (is(keyword, "send")) {
            step.kind = SequenceStep::Send;
            const Bytes hex = frameWords(m_data, words[0].at + words[0].size, end);
            const HexFrame frame = parseHexFrame(hex);
            if (!frame.isValid())
                return fail(frame.error);
            used = 1 + wordCount(hex);
        } else if (is(keyword, "expect")) {
            step.kind = SequenceStep::Expect;
            const auto reply = replyOf(word(1));
            if (!reply)
                return fail(
                    n < 2 ? QStringLiteral("expect needs ACK, NAK, CRC, any or none")
                          : QStringLiteral("unknown reply \"%1\" (ACK, NAK, CRC, any or none)")
                                .arg(quoted(1)));
            step.reply = *reply;
            step.ms = sequencelimits::expectDefaultMs;
            used = 2;
            if (is(word(2), "within")) {
                const auto ms = number(word(3), 1, sequencelimits::expectMaxMs);
                if (!ms)
                    return fail(QStringLiteral("within needs milliseconds from 1 to %1")
                                    .arg(sequencelimits::expectMaxMs));
                step.ms = *ms;
                used = 4;
            }
        } else if (is(keyword, "wait")) {
            step.kind = SequenceStep::Wait;
            const auto ms = number(word(1), 0, sequencelimits::waitMaxMs);
            if (!ms)
                return fail(QStringLiteral("wait needs milliseconds from 0 to %1")
                                .arg(sequencelimits::waitMaxMs));
            step.ms = *ms;
            used = 2;
        } else if (is(keyword, "repeat")) {
            step.kind = SequenceStep::Repeat;
            const auto count = number(word(1), 1, sequencelimits::repeatMax);
            if (!count)
                return fail(QStringLiteral("repeat needs a count from 1 to %1")
                                .arg(sequencelimits::repeatMax));
            step.count = *count;
            used = 2;
        } else if (is(keyword, "end")) {
            step.kind = SequenceStep::End;
            if (m_open.isEmpty())
                return fail(QStringLiteral("end without repeat"));
        } else {
            return fail(QStringLiteral("unknown step"));
        }
        if (used < n && m_data[words[used].at] != '#')
            return fail(QStringLiteral("unexpected \"%1\" after the step").arg(quoted(used)));
        step.words = quint8(used);

        switch (step.kind) {
        case SequenceStep::Expect:
            if (!checkExpect())
                return false;
            // The expects before any send in a block meet, from its second
            // pass on, whatever the block sent last: see closeBlock().
            for (qsizetype i = qMax(m_pressedDepth, m_leadDepth); i < m_open.size(); ++i)
                m_open[i].lead = index;
            m_leadDepth = m_open.size();
            m_expectations = saturatedAdd(m_expectations, multiplier());
            break;
        case SequenceStep::Key:
        case SequenceStep::CommTest:
        case SequenceStep::Reset:
        case SequenceStep::Send:
            m_lastPress = index;
            m_pressedDepth = m_open.size();
            break;
        case SequenceStep::Repeat:
            m_open.append({index, -1, saturatedMul(multiplier(), step.count)});
            break;
        case SequenceStep::End:
            if (!closeBlock(step))
                return false;
            break;
        case SequenceStep::Wait:
            break;
        }
        if (step.sends())
            m_sent = true;
        m_file.steps.append(step);
        return true;
    }

    bool finish() {
        if (!m_open.isEmpty()) {
            locateAt(m_file.steps[m_open.last().step]);
            return fail(QStringLiteral("repeat without end"));
        }
        if (!m_sent) {
            m_file.error = m_file.name + QStringLiteral(": nothing to run: no step sends a frame");
            return false;
        }
        return true;
    }

    bool fail(const QString& reason) {
        qsizetype b = m_begin, e = m_end;
        while (b < e && isSpace(m_data[b]))
            ++b;
        while (e > b && isSpace(m_data[e - 1]))
            --e;
        constexpr qsizetype shownBytes = 60;
        const bool cut = e - b > shownBytes;
        if (cut) {
            e = b + shownBytes;
            while (e > b && (uchar(m_data[e]) & 0xC0) == 0x80)
                --e; // not inside a character
        }
        QString text = terminalText(Bytes(m_data + b, e - b));
        if (cut)
            text += QStringLiteral("...");
        m_file.error = QStringLiteral("%1:%2: \"%3\": %4")
                           .arg(m_file.name, QString::number(m_line), text, reason);
        return false;
    }

    qint64 expectations() const { return m_expectations; }

private:
    // A repeat not yet closed by its end.
    struct Block {
        int step;          // index of the repeat
        int lead;          // the first expect in it before any send in it, or -1
        qint64 multiplier; // its count times those of the blocks around it
    };

    qint64 multiplier() const { return m_open.isEmpty() ? 1 : m_open.last().multiplier; }

    void locateAt(const SequenceStep& step) {
        m_line = step.line;
        m_begin = step.at;
        m_end = lineEnd(m_file.text, step.at);
    }

    // An expect needs a frame before it to answer; "key *" and "key #" send
    // nothing, so an expect right after one could never be met.
    bool checkExpect() {
        if (m_lastPress < 0)
            return fail(QStringLiteral("expect before any send step"));
        const SequenceStep& press = m_file.steps[m_lastPress];
        if (!press.sends())
            return fail(QStringLiteral("the step before it, \"%1\" on line %2, sends nothing")
                            .arg(m_file.stepText(press), QString::number(press.line)));
        return true;
    }

    // From a block's second pass on, its first pass's last send comes before
    // the expects that open it: one that sends nothing is the same mistake.
    bool closeBlock(SequenceStep& end) {
        const Block block = m_open.takeLast();
        m_pressedDepth = qMin(m_pressedDepth, m_open.size());
        m_leadDepth = qMin(m_leadDepth, m_open.size());
        const int index = int(m_file.steps.size());
        SequenceStep& repeat = m_file.steps[block.step];
        if (block.step == index - 1)
            return fail(
                QStringLiteral("the repeat block on line %1 has no steps").arg(repeat.line));
        end.partner = block.step;
        repeat.partner = index;
        if (repeat.count < 2 || block.lead < 0 || m_lastPress < block.step)
            return true;
        const SequenceStep& press = m_file.steps[m_lastPress];
        if (press.sends())
            return true;
        locateAt(m_file.steps[block.lead]);
        return fail(QStringLiteral("from repetition 2 of the block on line %1, the step before "
                                   "it, \"%2\" on line %3, sends nothing")
                        .arg(QString::number(repeat.line), m_file.stepText(press),
                             QString::number(press.line)));
    }

    SequenceFile& m_file;
    const char* m_data;
    QVector<Block> m_open;
    qsizetype m_pressedDepth = 0; // the open blocks from here in hold no send yet
    qsizetype m_leadDepth = 0;    // nor, from here in, an expect
    int m_lastPress = -1;         // the latest key, commtest or reset
    bool m_sent = false;
    qint64 m_expectations = 0;
    int m_line = 0;
    qsizetype m_begin = 0; // the line being read, for messages
    qsizetype m_end = 0;
};

} // namespace

SequenceFile parseSequence(const QString& name, const QByteArray& text) {
    SequenceFile file;
    file.name = name;
    if (text.size() > sequencelimits::fileMaxBytes) {
        file.error = name + QStringLiteral(": larger than 16 MiB");
        return file;
    }
    file.text = text; // shared, not copied
    Parser parser(file);
    qsizetype at = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    for (int number = 1;; ++number) {
        const qsizetype end = lineEnd(text, at);
        if (!parser.line(number, at, end)) {
            file.steps = {};
            file.text = {};
            return file;
        }
        const qsizetype next = text.indexOf('\n', end);
        if (next < 0)
            break;
        at = next + 1;
    }
    if (!parser.finish()) {
        file.steps = {};
        file.text = {};
        return file;
    }
    file.m_expectationCount = parser.expectations();
    return file;
}
