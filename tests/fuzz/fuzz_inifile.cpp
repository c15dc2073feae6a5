// libFuzzer target for the INI reader/editor: random file contents and random
// edits. Each edit must read back as the value written, keep every other line
// as it was, and leave every other setting reading as before; a name that
// cannot be stored must leave the file alone.
//
// Input: one byte, the number of edits (1 to 4); per edit a byte of choices
// and three fields (section, key, value), each a length byte and that many
// bytes; the rest is the file.
#include "settings/inifile.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* why) {
    std::fprintf(stderr, "fuzz-inifile: %s\n", why);
    std::abort();
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : m_data(reinterpret_cast<const char*>(data)), m_size(size) {}
    std::uint8_t byte() { return m_pos < m_size ? std::uint8_t(m_data[m_pos++]) : 0; }
    QByteArray field() {
        const std::size_t n = qMin<std::size_t>(byte(), m_size - m_pos);
        const QByteArray out(m_data + m_pos, qsizetype(n));
        m_pos += n;
        return out;
    }
    QByteArray rest() {
        const QByteArray out(m_data + m_pos, qsizetype(m_size - m_pos));
        m_pos = m_size;
        return out;
    }

private:
    const char* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

const QByteArray bom = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimBlanks(const QByteArray& b) {
    qsizetype begin = 0;
    qsizetype end = b.size();
    while (begin < end && isBlank(b[begin]))
        ++begin;
    while (end > begin && isBlank(b[end - 1]))
        --end;
    return b.mid(begin, end - begin);
}

bool hasBreakOrNul(const QByteArray& b) {
    return b.contains('\r') || b.contains('\n') || b.contains('\0');
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool sameName(const QByteArray& a, const QByteArray& b) {
    const QByteArray x = trimBlanks(a);
    const QByteArray y = trimBlanks(b);
    if (x.size() != y.size())
        return false;
    for (qsizetype i = 0; i < x.size(); ++i) {
        if (asciiLower(x[i]) != asciiLower(y[i]))
            return false;
    }
    return true;
}

// The names inifile.h says can never be found again, and so are refused.
bool storable(const QByteArray& section, const QByteArray& key) {
    const QByteArray k = trimBlanks(key);
    if (hasBreakOrNul(section) || hasBreakOrNul(k) || k.contains('='))
        return false;
    return k.isEmpty() || (k[0] != '[' && k[0] != ';' && k[0] != '#');
}

// The text of each line, by the documented rules: CR LF, LF and a lone CR
// each end a line, the last needs none, and a leading byte-order mark is no
// part of the first.
QList<QByteArray> textLines(const QByteArray& content) {
    QList<QByteArray> lines;
    qsizetype i = content.startsWith(bom) ? bom.size() : 0;
    while (i < content.size()) {
        qsizetype end = i;
        while (end < content.size() && content[end] != '\r' && content[end] != '\n')
            ++end;
        lines.append(content.mid(i, end - i));
        if (end < content.size())
            end += (content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n')
                       ? 2
                       : 1;
        i = end;
    }
    return lines;
}

// Section and key names that stand in the file, to aim edits and look-ups at.
struct Names {
    QList<QByteArray> sections;
    QList<QByteArray> keys;
};

Names namesIn(const QByteArray& content) {
    Names names;
    for (const QByteArray& line : textLines(content)) {
        const QByteArray t = trimBlanks(line);
        if (t.startsWith('[')) {
            const qsizetype close = t.lastIndexOf(']');
            names.sections.append(t.mid(1, close > 0 ? close - 1 : -1));
        } else if (!t.startsWith(';') && !t.startsWith('#') && t.contains('=')) {
            names.keys.append(t.left(t.indexOf('=')));
        }
        if (names.sections.size() >= 8 && names.keys.size() >= 8)
            break;
    }
    return names;
}

QByteArray checkedEdit(const QByteArray& before, const QByteArray& section, const QByteArray& key,
                       const QByteArray& value) {
    const QByteArray after = ini::edit(before, section, key, value);
    if (!storable(section, key)) {
        if (after != before)
            fail("a name that cannot be stored changed the file");
        return after;
    }

    // It reads back as written, cut at the first byte a line cannot hold.
    qsizetype cut = 0;
    while (cut < value.size() && value[cut] != '\r' && value[cut] != '\n' && value[cut] != '\0')
        ++cut;
    if (ini::lookup(after, section, key) != value.left(cut))
        fail("the edited file does not read back the value written");
    if (before.startsWith(bom) != after.startsWith(bom))
        fail("the byte-order mark came or went");

    // Every other line is kept: at most the key's own line changed (up to its
    // '=' it stays the same), else at most a blank line, a header and the key
    // line were added.
    const QList<QByteArray> a = textLines(before);
    const QList<QByteArray> b = textLines(after);
    qsizetype head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    qsizetype tail = 0;
    while (tail < qMin(a.size(), b.size()) - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    const qsizetype changed = a.size() - head - tail;
    const qsizetype added = b.size() - head - tail;
    if (changed > 1)
        fail("more than one line of the file changed");
    if (changed == 1) {
        const qsizetype eq = a[head].indexOf('=');
        if (added != 1 || eq < 0 || b[head].left(eq + 1) != a[head].left(eq + 1))
            fail("a line other than the key's own changed");
    } else if (added > 3) {
        fail("an edit added more than a blank line, a header and a key");
    }

    // Every other setting reads as it did.
    const Names names = namesIn(before);
    for (const QByteArray& s : names.sections) {
        for (const QByteArray& k : names.keys) {
            if (sameName(s, section) && sameName(k, key))
                continue;
            if (ini::lookup(before, s, k) != ini::lookup(after, s, k))
                fail("another setting reads differently after the edit");
        }
    }
    return after;
}

struct Edit {
    std::uint8_t choices = 0;
    QByteArray section;
    QByteArray key;
    QByteArray value;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const int count = 1 + in.byte() % 4;
    QList<Edit> edits;
    for (int i = 0; i < count; ++i) {
        Edit e;
        e.choices = in.byte();
        e.section = in.field();
        e.key = in.field();
        e.value = in.field();
        edits.append(e);
    }
    QByteArray content = in.rest();

    for (Edit& e : edits) {
        // Often name what the file already holds, so that edits land on its
        // lines and not only after them.
        const Names names = namesIn(content);
        if ((e.choices & 1) && !names.sections.isEmpty())
            e.section = names.sections[(e.choices >> 2) % names.sections.size()];
        if ((e.choices & 2) && !names.keys.isEmpty())
            e.key = names.keys[(e.choices >> 5) % names.keys.size()];
        content = checkedEdit(content, e.section, e.key, e.value);
    }
    return 0;
}
