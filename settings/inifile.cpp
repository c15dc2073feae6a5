#include "settings/inifile.h"

#include <QByteArrayView>

namespace {

using View = QByteArrayView;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isQuote(char c) {
    return c == '"' || c == '\'';
}

bool isLineBreak(char c) {
    return c == '\r' || c == '\n';
}

View trimBlanks(View v) {
    qsizetype begin = 0;
    qsizetype end = v.size();
    while (begin < end && isBlank(v[begin]))
        ++begin;
    while (end > begin && isBlank(v[end - 1]))
        --end;
    return v.sliced(begin, end - begin);
}

// Windows compares profile names without regard to case; only ASCII is folded
// so that the result never depends on a locale.
char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool sameName(View a, View b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

qsizetype bomLength(const QByteArray& content) {
    return content.startsWith("\xEF\xBB\xBF") ? 3 : 0;
}

struct Line {
    qsizetype start = 0; // first byte of the text
    qsizetype end = 0;   // one past the text, where the line break (if any) starts
    qsizetype next = 0;  // one past the line break
    bool hasBreak() const { return next != end; }
};

// Walks the lines once, byte by byte, so that no input costs more than linear time.
class LineReader {
public:
    explicit LineReader(const QByteArray& content)
        : m_data(content.constData()), m_size(content.size()), m_pos(bomLength(content)) {}

    bool next(Line& line) {
        if (m_pos >= m_size)
            return false;
        qsizetype i = m_pos;
        while (i < m_size && !isLineBreak(m_data[i]))
            ++i;
        line.start = m_pos;
        line.end = i;
        if (i < m_size)
            i += (m_data[i] == '\r' && i + 1 < m_size && m_data[i + 1] == '\n') ? 2 : 1;
        line.next = i;
        m_pos = i;
        return true;
    }

private:
    const char* m_data;
    qsizetype m_size;
    qsizetype m_pos;
};

enum class Kind { Blank, Section, Comment, Key, Other };

struct Parsed {
    Kind kind = Kind::Other;
    View name;                // section or key name, trimmed
    qsizetype valueStart = 0; // Key: offset of the value, past the blanks after '='
};

Parsed parseLine(const QByteArray& content, const Line& line) {
    Parsed p;
    const View text(content.constData() + line.start, line.end - line.start);
    qsizetype first = 0;
    while (first < text.size() && isBlank(text[first]))
        ++first;
    if (first == text.size()) {
        p.kind = Kind::Blank;
        return p;
    }
    const char lead = text[first];
    if (lead == '[') {
        // Up to the last ']', so a name may itself hold ']'; an unclosed header
        // still starts a section rather than leaking its keys into the previous one.
        qsizetype close = text.size();
        for (qsizetype i = text.size() - 1; i > first; --i) {
            if (text[i] == ']') {
                close = i;
                break;
            }
        }
        p.kind = Kind::Section;
        p.name = trimBlanks(text.sliced(first + 1, close - first - 1));
        return p;
    }
    if (lead == ';' || lead == '#') {
        p.kind = Kind::Comment;
        return p;
    }
    const qsizetype eq = text.indexOf('=');
    if (eq < 0)
        return p;
    qsizetype value = eq + 1;
    while (value < text.size() && isBlank(text[value]))
        ++value;
    p.kind = Kind::Key;
    p.name = trimBlanks(text.first(eq));
    p.valueStart = line.start + value;
    return p;
}

struct Location {
    bool sectionFound = false;
    // Just past the last non-blank line of the section, where a new key goes.
    qsizetype insertAt = 0;
    // That line ends the file without a line break.
    bool insertNeedsBreak = false;
    bool keyFound = false;
    qsizetype valueStart = 0;
    qsizetype valueEnd = 0;
    // Only meaningful when the whole file was read (section not found).
    bool lastLineBlank = false;
};

Location locate(const QByteArray& content, View section, View key) {
    const View wantSection = trimBlanks(section);
    const View wantKey = trimBlanks(key);
    Location loc;
    LineReader reader(content);
    Line line;
    bool inSection = false;
    while (reader.next(line)) {
        const Parsed p = parseLine(content, line);
        loc.lastLineBlank = p.kind == Kind::Blank;
        if (p.kind == Kind::Section) {
            // Like Windows, only the first matching section is ever looked at.
            if (inSection)
                break;
            if (sameName(p.name, wantSection)) {
                inSection = true;
                loc.sectionFound = true;
                loc.insertAt = line.next;
                loc.insertNeedsBreak = !line.hasBreak();
            }
            continue;
        }
        if (!inSection || p.kind == Kind::Blank)
            continue;
        loc.insertAt = line.next;
        loc.insertNeedsBreak = !line.hasBreak();
        if (p.kind == Kind::Key && sameName(p.name, wantKey)) {
            loc.keyFound = true;
            loc.valueStart = p.valueStart;
            loc.valueEnd = line.end;
            break;
        }
    }
    return loc;
}

QByteArray lineBreakOf(const QByteArray& content) {
    for (qsizetype i = bomLength(content); i < content.size(); ++i) {
        if (isLineBreak(content[i])) {
            const bool crlf =
                content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n';
            return crlf ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
        }
    }
    return QByteArrayLiteral("\n");
}

bool hasLineBreakOrNul(View v) {
    for (const char c : v) {
        if (isLineBreak(c) || c == '\0')
            return true;
    }
    return false;
}

bool usableSection(View section) {
    return !hasLineBreakOrNul(section);
}

bool usableKey(View key) {
    const View k = trimBlanks(key);
    if (hasLineBreakOrNul(k) || k.contains('='))
        return false;
    return k.isEmpty() || (k.front() != '[' && k.front() != ';' && k.front() != '#');
}

QByteArray encodeValue(View value) {
    qsizetype n = 0;
    while (n < value.size() && !isLineBreak(value[n]) && value[n] != '\0')
        ++n;
    const View v = value.first(n);
    // lookup() strips these, so wrap them in one more pair of quotes to keep them.
    const bool needsQuotes =
        !v.isEmpty() && (isBlank(v.front()) || isBlank(v.back()) ||
                         (v.size() >= 2 && isQuote(v.front()) && v.back() == v.front()));
    if (!needsQuotes)
        return v.toByteArray();
    return '"' + v.toByteArray() + '"';
}

} // namespace

namespace ini {

QByteArray lookup(const QByteArray& content, const QByteArray& section, const QByteArray& key) {
    const Location loc = locate(content, section, key);
    if (!loc.keyFound)
        return {};
    View v = trimBlanks(View(content).sliced(loc.valueStart, loc.valueEnd - loc.valueStart));
    if (v.size() >= 2 && isQuote(v.front()) && v.back() == v.front())
        v = v.sliced(1, v.size() - 2);
    return v.toByteArray();
}

QByteArray edit(const QByteArray& content, const QByteArray& section, const QByteArray& key,
                const QByteArray& value) {
    if (!usableSection(section) || !usableKey(key))
        return content;
    const QByteArray encoded = encodeValue(value);
    const Location loc = locate(content, section, key);
    QByteArray result = content;
    if (loc.keyFound)
        return result.replace(loc.valueStart, loc.valueEnd - loc.valueStart, encoded);

    const QByteArray eol = lineBreakOf(content);
    const QByteArray keyLine = trimBlanks(key).toByteArray() + '=' + encoded;
    if (loc.sectionFound)
        return result.insert(loc.insertAt, loc.insertNeedsBreak ? eol + keyLine : keyLine + eol);

    if (content.size() > bomLength(content)) {
        if (!isLineBreak(content.back()))
            result += eol;
        if (!loc.lastLineBlank)
            result += eol; // a blank line between sections, as people write them
    }
    result += '[' + trimBlanks(section).toByteArray() + ']' + eol + keyLine + eol;
    return result;
}

} // namespace ini
