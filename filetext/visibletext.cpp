#include "filetext/visibletext.h"

#include <array>

namespace {

const char hexDigits[] = "0123456789ABCDEF";

// How many characters each byte becomes: 1 as it is, 2 for \r \n \t \\,
// 4 for \xHH.
constexpr std::array<quint8, 256> widths = [] {
    std::array<quint8, 256> w{};
    for (int b = 0; b < 256; ++b)
        w[std::size_t(b)] = (b >= 0x20 && b <= 0x7E) ? 1 : 4;
    for (const int b : {'\r', '\n', '\t', '\\'})
        w[std::size_t(b)] = 2;
    return w;
}();

qsizetype visibleLength(const QByteArray& bytes) {
    qsizetype length = 0;
    for (const char c : bytes)
        length += widths[static_cast<unsigned char>(c)];
    return length;
}

// Writes the escape of one byte at p; how many characters it took.
template <typename Char> int writeEscape(uchar b, Char* p) {
    const char named = b == '\r' ? 'r' : b == '\n' ? 'n' : b == '\t' ? 't' : b == '\\' ? '\\' : 0;
    p[0] = Char('\\');
    if (named) {
        p[1] = Char(named);
        return 2;
    }
    p[1] = Char('x');
    p[2] = Char(hexDigits[b >> 4]);
    p[3] = Char(hexDigits[b & 0x0F]);
    return 4;
}

// Writes the visible form of bytes at p, which has room for visibleLength().
// Char is QChar for the screen and char for the log: the text is ASCII.
template <typename Char> void writeVisible(const QByteArray& bytes, Char* p) {
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b <= 0x7E && b != '\\')
            *p++ = Char(char(b));
        else
            p += writeEscape(b, p);
    }
}

void appendEscape(QByteArray& out, uchar b) {
    char e[4];
    out.append(e, writeEscape(b, e));
}

// The length of the well-formed UTF-8 sequence at p, or 0 where there is none.
int utf8Length(const uchar* p, const uchar* end) {
    const uchar b = p[0];
    if (b < 0x80)
        return 1;
    int n = 0;
    uchar low = 0x80, high = 0xBF; // the second byte's range: no overlong forms
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (end - p < n || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < n; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    return n;
}

// Whether the character at p, n bytes of UTF-8, acts on a terminal or on the
// order of a line rather than showing as itself.
bool acts(const uchar* p, int n) {
    if (n == 1)
        return *p < 0x20 || *p == 0x7F;
    if (n == 2)
        return p[0] == 0xC2 && p[1] < 0xA0; // C1 controls
    if (n != 3)
        return false;
    const uint c = uint(p[0] & 0x0F) << 12 | uint(p[1] & 0x3F) << 6 | uint(p[2] & 0x3F);
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

QString terminal(QByteArrayView s, bool doubleBackslash) {
    QByteArray out;
    out.reserve(s.size());
    const auto* p = reinterpret_cast<const uchar*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const int n = utf8Length(p, end);
        if (n == 0 || acts(p, n) || (doubleBackslash && *p == '\\')) {
            for (int i = 0; i < qMax(n, 1); ++i)
                appendEscape(out, *p++);
            continue;
        }
        out.append(reinterpret_cast<const char*>(p), n);
        p += n;
    }
    return QString::fromUtf8(out);
}

} // namespace

QString visibleText(const QByteArray& bytes) {
    // Measured first, so a long line is written into one allocation.
    QString out(visibleLength(bytes), Qt::Uninitialized);
    writeVisible(bytes, out.data());
    return out;
}

void appendVisible(QByteArray& out, const QByteArray& bytes) {
    const qsizetype at = out.size();
    out.resize(at + visibleLength(bytes));
    writeVisible(bytes, out.data() + at);
}

QString terminalText(QByteArrayView bytes) {
    return terminal(bytes, true);
}

QString terminalSafe(const QString& text) {
    return terminal(text.toUtf8(), false);
}

QString xmlText(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        bool bad =
            (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c.unicode() >= 0xFFFE;
        if (c.isHighSurrogate())
            bad = i + 1 == text.size() || !text[i + 1].isLowSurrogate();
        else if (c.isLowSurrogate())
            bad = i == 0 || !text[i - 1].isHighSurrogate();
        if (bad && out.isNull())
            out = text.left(i);
        if (bad && c.unicode() < 0x20) {
            QByteArray e;
            appendEscape(e, uchar(c.unicode()));
            out += QLatin1String(e);
        } else if (bad) {
            out += QChar(QChar::ReplacementCharacter);
        } else if (!out.isNull()) {
            out += c;
        }
    }
    return out.isNull() ? text : out;
}

bool isUtf8(QByteArrayView s) {
    const auto* p = reinterpret_cast<const uchar*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const int n = utf8Length(p, end);
        if (n == 0)
            return false;
        p += n;
    }
    return true;
}
