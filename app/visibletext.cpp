#include "app/visibletext.h"

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

} // namespace

QString visibleText(const QByteArray& bytes) {
    static const char hexDigits[] = "0123456789ABCDEF";
    // Measured first, so a long line (every line goes to the session log too)
    // is written into one allocation without growing it byte by byte.
    qsizetype length = 0;
    for (const char c : bytes)
        length += widths[static_cast<unsigned char>(c)];
    QString out(length, Qt::Uninitialized);
    QChar* p = out.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (b) {
        case '\r':
            *p++ = QLatin1Char('\\');
            *p++ = QLatin1Char('r');
            continue;
        case '\n':
            *p++ = QLatin1Char('\\');
            *p++ = QLatin1Char('n');
            continue;
        case '\t':
            *p++ = QLatin1Char('\\');
            *p++ = QLatin1Char('t');
            continue;
        case '\\':
            *p++ = QLatin1Char('\\');
            *p++ = QLatin1Char('\\');
            continue;
        default:
            break;
        }
        if (b >= 0x20 && b <= 0x7E) {
            *p++ = QLatin1Char(char(b));
        } else {
            *p++ = QLatin1Char('\\');
            *p++ = QLatin1Char('x');
            *p++ = QLatin1Char(hexDigits[b >> 4]);
            *p++ = QLatin1Char(hexDigits[b & 0x0F]);
        }
    }
    return out;
}
