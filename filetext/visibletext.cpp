#include "filetext/visibletext.h"

#include <array>

namespace {

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

// Writes the visible form of bytes at p, which has room for visibleLength().
// Char is QChar for the screen and char for the log: the text is ASCII.
template <typename Char> void writeVisible(const QByteArray& bytes, Char* p) {
    static const char hexDigits[] = "0123456789ABCDEF";
    auto put = [&p](char c) { *p++ = Char(c); };
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (b) {
        case '\r':
            put('\\');
            put('r');
            continue;
        case '\n':
            put('\\');
            put('n');
            continue;
        case '\t':
            put('\\');
            put('t');
            continue;
        case '\\':
            put('\\');
            put('\\');
            continue;
        default:
            break;
        }
        if (b >= 0x20 && b <= 0x7E) {
            put(char(b));
        } else {
            put('\\');
            put('x');
            put(hexDigits[b >> 4]);
            put(hexDigits[b & 0x0F]);
        }
    }
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
