#include "sequence/junitreport.h"

#include "filetext/visibletext.h"

#include <QBuffer>
#include <QXmlStreamWriter>

namespace {

// Room for the named testcases, reckoned at the most an escaped character can
// take. With the folded ones (at most defaultFoldedLimit of under 2 KB each,
// the suite and step names elided below) the file stays under maxFileMB.
constexpr qint64 namedBytesBudget = qint64(10) << 20;
constexpr int maxNameChars = 200;
constexpr int maxSuiteChars = 100;
constexpr int maxTextChars = 2000;

QString seconds(double s) {
    return QString::number(s, 'f', 3);
}

QString elide(const QString& text, int most) {
    if (text.size() <= most)
        return text;
    return text.left(most / 2) + QStringLiteral("...") + text.right(most - most / 2 - 3);
}

qint64 mostBytes(const QString& a, const QString& b, const QString& c) {
    return 6 * (a.size() + b.size() + c.size()) + 120;
}

} // namespace

JUnitReport::JUnitReport(const QString& suite, qint64 namedCases, qint64 namedFailures,
                         int foldedLimit)
    : m_suite(elide(xmlText(suite), maxSuiteChars)), m_namedCases(namedCases),
      m_namedFailuresLimit(namedFailures), m_foldedLimit(qMax(foldedLimit, 4)),
      m_blockSize(qMax<qint64>(namedCases, 1)) {}

void JUnitReport::add(const QString& name, int line, const QString& step, double secs,
                      const QString& failure) {
    ++m_expectations;
    Line& state = m_lines[line];
    if (state.evaluated == 0)
        state.step = elide(xmlText(step), maxNameChars);
    const qint64 repetition = ++state.evaluated;
    const bool failed = !failure.isEmpty();
    m_failures += failed ? 1 : 0;
    // Failures are named up to their bound wherever they come; passes only
    // among the first expectations.
    const bool room = m_namedBytes < namedBytesBudget;
    if (room &&
        (failed ? m_namedFailures < m_namedFailuresLimit : m_expectations <= m_namedCases)) {
        m_namedFailures += failed ? 1 : 0;
        nameCase(name, secs, failure);
    } else if (failed) {
        if (m_unnamedFailures++ == 0)
            m_firstUnnamed = m_expectations;
        m_lastUnnamed = m_expectations;
    } else {
        fold(line, state, repetition, secs);
    }
}

void JUnitReport::nameCase(const QString& name, double secs, const QString& failure) {
    Case c{elide(xmlText(name), maxNameChars), secs, elide(xmlText(failure), maxTextChars)};
    m_namedBytes += mostBytes(c.name, c.failure, m_suite);
    m_named.append(std::move(c));
}

void JUnitReport::fold(int line, Line& state, qint64 repetition, double secs) {
    auto inOpen = [&] {
        // Reckoned afresh each time: a merge doubles the block size.
        const qint64 block = (repetition - 1) / m_blockSize;
        return state.open >= 0 && (m_folded[state.open].first - 1) / m_blockSize == block;
    };
    if (!inOpen() && m_folded.size() >= m_foldedLimit && !m_foldsFull)
        mergeFolds();
    if (inOpen()) {
        Fold& f = m_folded[state.open];
        f.last = repetition;
        ++f.met;
        f.seconds += secs;
    } else if (m_folded.size() < m_foldedLimit) {
        state.open = int(m_folded.size());
        m_folded.append({line, repetition, repetition, 1, secs});
    } else {
        ++m_otherMet;
    }
}

void JUnitReport::mergeFolds() {
    // Blocks twice as long: each pair of a line's blocks becomes one.
    m_blockSize *= 2;
    QVector<Fold> merged;
    QHash<std::pair<int, qint64>, int> at;
    for (const Fold& f : std::as_const(m_folded)) {
        const std::pair<int, qint64> key{f.line, (f.first - 1) / m_blockSize};
        if (const auto it = at.constFind(key); it != at.cend()) {
            Fold& into = merged[*it];
            into.last = f.last;
            into.met += f.met;
            into.seconds += f.seconds;
        } else {
            at.insert(key, int(merged.size()));
            merged.append(f);
        }
    }
    m_folded = std::move(merged);
    for (int i = 0; i < m_folded.size(); ++i)
        m_lines[m_folded[i].line].open = i;
    // Too many lines to fold any further: what has no room goes together.
    m_foldsFull = m_folded.size() > m_foldedLimit * 3 / 4;
}

void JUnitReport::addError(const QString& name, const QString& message) {
    m_error = Case{elide(xmlText(name), maxNameChars), 0, elide(xmlText(message), maxTextChars)};
}

void JUnitReport::write(QIODevice& to) const {
    QXmlStreamWriter xml(&to);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    const qint64 tests = m_named.size() + m_folded.size() + (m_otherMet ? 1 : 0) +
                         (m_unnamedFailures ? 1 : 0) + errors();
    const qint64 failed = m_namedFailures + (m_unnamedFailures ? 1 : 0);
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), m_suite);
    xml.writeAttribute(QStringLiteral("tests"), QString::number(tests));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(failed));
    xml.writeAttribute(QStringLiteral("errors"), QString::number(errors()));
    xml.writeAttribute(QStringLiteral("time"), seconds(m_seconds));
    xml.writeAttribute(
        QStringLiteral("timestamp"),
        (m_started.isValid() ? m_started : QDateTime::currentDateTimeUtc()).toString(Qt::ISODate));

    xml.writeStartElement(QStringLiteral("properties"));
    auto property = [&xml](const QString& name, const QString& value) {
        xml.writeStartElement(QStringLiteral("property"));
        xml.writeAttribute(QStringLiteral("name"), name);
        xml.writeAttribute(QStringLiteral("value"), value);
        xml.writeEndElement();
    };
    property(QStringLiteral("expectations"), QString::number(m_expectations));
    property(QStringLiteral("failures"), QString::number(m_failures));
    property(QStringLiteral("errors"), QString::number(errors()));
    for (const auto& [name, value] : m_properties)
        property(name, xmlText(value));
    xml.writeEndElement();

    auto testcase = [&](const QString& name, double secs, const QString& tag,
                        const QString& message) {
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"), m_suite);
        xml.writeAttribute(QStringLiteral("name"), name);
        xml.writeAttribute(QStringLiteral("time"), seconds(secs));
        if (!message.isEmpty()) {
            xml.writeStartElement(tag);
            xml.writeAttribute(QStringLiteral("message"), message);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    };
    const QString failure = QStringLiteral("failure");
    for (const Case& c : m_named)
        testcase(c.name, c.seconds, failure, c.failure);
    for (const Fold& f : m_folded)
        testcase(QStringLiteral("%1 (repetitions %2-%3: %4 met)")
                     .arg(m_lines.value(f.line).step)
                     .arg(f.first)
                     .arg(f.last)
                     .arg(f.met),
                 f.seconds, failure, {});
    if (m_otherMet)
        testcase(QStringLiteral("%1: %2 more expectations met (more expect lines than the "
                                "report has room for)")
                     .arg(m_suite)
                     .arg(m_otherMet),
                 0, failure, {});
    if (m_unnamedFailures)
        testcase(QStringLiteral("%1: %2 more failures (expectations %3-%4)")
                     .arg(m_suite)
                     .arg(m_unnamedFailures)
                     .arg(m_firstUnnamed)
                     .arg(m_lastUnnamed),
                 0, failure,
                 QStringLiteral("%1 failures after the first %2 are not named here; the session "
                                "log has each")
                     .arg(m_unnamedFailures)
                     .arg(m_namedFailures));
    if (m_error)
        testcase(m_error->name, 0, QStringLiteral("error"), m_error->failure);
    if (!m_systemErr.isEmpty())
        xml.writeTextElement(QStringLiteral("system-err"),
                             elide(xmlText(m_systemErr), maxTextChars));
    xml.writeEndElement();
    xml.writeEndDocument();
}

QByteArray JUnitReport::xml() const {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    write(buffer);
    return out;
}

QString JUnitReport::writeFile(const QByteArray& path, const QList<InputFile>& inputs) const {
    return writeOutputFile({QStringLiteral("the report"), path, Links::Refuse, inputs},
                           [this](QIODevice& to) { write(to); });
}
