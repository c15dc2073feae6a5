#include "session/sequencefile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <optional>

namespace {

// Keypad indices as the buttons are laid out: "*" is 9, "0" is 10, "#" is 11.
int keyIndex(const QString& word) {
    static const QString keys = QStringLiteral("123456789*0#");
    if (word.size() != 1)
        return -1;
    return int(keys.indexOf(word.front()));
}

std::optional<SequenceStep::Reply> replyOf(const QString& word) {
    const QString w = word.toLower();
    if (w == QLatin1String("ack"))
        return SequenceStep::Ack;
    if (w == QLatin1String("nak"))
        return SequenceStep::Nak;
    if (w == QLatin1String("crc"))
        return SequenceStep::Crc;
    if (w == QLatin1String("any"))
        return SequenceStep::Any;
    if (w == QLatin1String("none"))
        return SequenceStep::None;
    return std::nullopt;
}

// Plain decimal digits only: "+5", "1e3" and "0x10" are mistakes, not numbers.
std::optional<int> number(const QString& word, int low, int high) {
    if (word.isEmpty() || word.size() > 9)
        return std::nullopt;
    for (QChar c : word)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const int n = word.toInt();
    if (n < low || n > high)
        return std::nullopt;
    return n;
}

bool isComment(const QString& word) {
    return word.startsWith(QLatin1Char('#'));
}

class Parser {
public:
    explicit Parser(SequenceFile& file) : m_file(file) {}

    // False with m_file.error set on the first mistake.
    bool line(int lineNumber, const QString& raw) {
        m_line = lineNumber;
        m_text = raw.trimmed();
        static const QRegularExpression blanks(QStringLiteral("[ \t]+"));
        const QStringList words = raw.split(blanks, Qt::SkipEmptyParts);
        if (words.isEmpty() || isComment(words.front()))
            return true;
        SequenceStep step;
        step.line = lineNumber;
        int used = 1;
        const QString keyword = words.front().toLower();
        auto arg = [&](int i) { return i < words.size() ? words[i] : QString(); };
        if (keyword == QLatin1String("key")) {
            if (words.size() < 2)
                return fail(QStringLiteral("key needs one of 0-9, * or #"));
            step.kind = SequenceStep::Key;
            step.key = keyIndex(words[1]);
            if (step.key < 0)
                return fail(QStringLiteral("unknown key \"%1\" (0-9, * or #)").arg(words[1]));
            used = 2;
        } else if (keyword == QLatin1String("commtest")) {
            step.kind = SequenceStep::CommTest;
        } else if (keyword == QLatin1String("reset")) {
            step.kind = SequenceStep::Reset;
        } else if (keyword == QLatin1String("expect")) {
            step.kind = SequenceStep::Expect;
            const auto reply = replyOf(arg(1));
            if (!reply)
                return fail(
                    words.size() < 2
                        ? QStringLiteral("expect needs ACK, NAK, CRC, any or none")
                        : QStringLiteral("unknown reply \"%1\" (ACK, NAK, CRC, any or none)")
                              .arg(words[1]));
            step.reply = *reply;
            step.ms = sequencelimits::expectDefaultMs;
            used = 2;
            if (arg(2).toLower() == QLatin1String("within")) {
                const auto ms = number(arg(3), 1, sequencelimits::expectMaxMs);
                if (!ms)
                    return fail(QStringLiteral("within needs milliseconds from 1 to %1")
                                    .arg(sequencelimits::expectMaxMs));
                step.ms = *ms;
                used = 4;
            }
            if (!checkExpect())
                return false;
        } else if (keyword == QLatin1String("wait")) {
            step.kind = SequenceStep::Wait;
            const auto ms = number(arg(1), 0, sequencelimits::waitMaxMs);
            if (!ms)
                return fail(QStringLiteral("wait needs milliseconds from 0 to %1")
                                .arg(sequencelimits::waitMaxMs));
            step.ms = *ms;
            used = 2;
        } else if (keyword == QLatin1String("repeat")) {
            step.kind = SequenceStep::Repeat;
            const auto n = number(arg(1), 1, sequencelimits::repeatMax);
            if (!n)
                return fail(QStringLiteral("repeat needs a count from 1 to %1")
                                .arg(sequencelimits::repeatMax));
            step.count = *n;
            used = 2;
            m_open.append(int(m_file.steps.size()));
        } else if (keyword == QLatin1String("end")) {
            step.kind = SequenceStep::End;
            if (m_open.isEmpty())
                return fail(QStringLiteral("end without repeat"));
            const int repeat = m_open.takeLast();
            if (repeat == m_file.steps.size() - 1)
                return fail(QStringLiteral("the repeat block on line %1 has no steps")
                                .arg(m_file.steps[repeat].line));
            step.partner = repeat;
            m_file.steps[repeat].partner = int(m_file.steps.size());
        } else {
            return fail(QStringLiteral("unknown step"));
        }
        if (used < words.size() && !isComment(words[used]))
            return fail(QStringLiteral("unexpected \"%1\" after the step").arg(words[used]));
        step.text = QStringList(words.mid(0, used)).join(QLatin1Char(' '));
        if (step.sends())
            m_sent = true;
        if (step.kind == SequenceStep::Key || step.kind == SequenceStep::CommTest ||
            step.kind == SequenceStep::Reset)
            m_lastPress = step;
        m_file.steps.append(step);
        return true;
    }

    bool finish() {
        if (!m_open.isEmpty()) {
            const SequenceStep& repeat = m_file.steps[m_open.last()];
            m_line = repeat.line;
            m_text = repeat.text;
            return fail(QStringLiteral("repeat without end"));
        }
        if (!m_sent) {
            m_file.error = m_file.name + QStringLiteral(": nothing to run: no step sends a frame");
            return false;
        }
        return true;
    }

    bool fail(const QString& reason) {
        QString shown = m_text;
        if (shown.size() > 60)
            shown = shown.left(60) + QStringLiteral("...");
        m_file.error =
            QStringLiteral("%1:%2: \"%3\": %4").arg(m_file.name).arg(m_line).arg(shown, reason);
        return false;
    }

private:
    // An expect needs a frame before it to answer; "key *" and "key #" send
    // nothing, so an expect right after one could never be met.
    bool checkExpect() {
        if (m_lastPress.line == 0)
            return fail(QStringLiteral("expect before any send step"));
        if (!m_lastPress.sends())
            return fail(QStringLiteral("the step before it, \"%1\" on line %2, sends nothing")
                            .arg(m_lastPress.text)
                            .arg(m_lastPress.line));
        return true;
    }

    SequenceFile& m_file;
    QVector<int> m_open;
    SequenceStep m_lastPress;
    bool m_sent = false;
    int m_line = 0;
    QString m_text;
};

} // namespace

QString replyName(SequenceStep::Reply reply) {
    switch (reply) {
    case SequenceStep::Ack:
        return QStringLiteral("ACK");
    case SequenceStep::Nak:
        return QStringLiteral("NAK");
    case SequenceStep::Crc:
        return QStringLiteral("CRC");
    case SequenceStep::Any:
        return QStringLiteral("any");
    case SequenceStep::None:
        break;
    }
    return QStringLiteral("none");
}

SequenceFile parseSequence(const QString& name, const QByteArray& text) {
    SequenceFile file;
    file.name = name;
    Parser parser(file);
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    const QList<QByteArray> lines = body.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray raw = lines[i];
        // Files written on Windows end their lines in CR LF.
        if (raw.endsWith('\r'))
            raw.chop(1);
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString decoded = utf8.decode(raw);
        if (utf8.hasError()) {
            parser.line(i + 1, QString());
            parser.fail(QStringLiteral("not UTF-8 text"));
            file.steps.clear();
            return file;
        }
        if (!parser.line(i + 1, decoded)) {
            file.steps.clear();
            return file;
        }
    }
    if (!parser.finish())
        file.steps.clear();
    return file;
}

SequenceFile readSequenceFile(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) {
        SequenceFile file;
        file.name = name;
        file.error = QStringLiteral("Cannot read %1: %2")
                         .arg(path, QFileInfo::exists(path) && !QFileInfo(path).isFile()
                                        ? QStringLiteral("not a regular file")
                                        : f.errorString());
        return file;
    }
    // Far beyond any hand-written sequence; refused rather than read whole.
    constexpr qint64 maxBytes = 16 * 1024 * 1024;
    if (f.size() > maxBytes) {
        SequenceFile file;
        file.name = name;
        file.error = QStringLiteral("Cannot read %1: larger than 16 MiB").arg(path);
        return file;
    }
    return parseSequence(name, f.readAll());
}
