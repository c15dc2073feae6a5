#include "app/visibletext.h"

QString visibleText(const QByteArray& bytes) {
    static const char hexDigits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (b) {
        case '\r':
            out += QLatin1String("\\r");
            continue;
        case '\n':
            out += QLatin1String("\\n");
            continue;
        case '\t':
            out += QLatin1String("\\t");
            continue;
        case '\\':
            out += QLatin1String("\\\\");
            continue;
        default:
            break;
        }
        if (b >= 0x20 && b <= 0x7E) {
            out += QLatin1Char(char(b));
        } else {
            out += QLatin1String("\\x");
            out += QLatin1Char(hexDigits[b >> 4]);
            out += QLatin1Char(hexDigits[b & 0x0F]);
        }
    }
    return out;
}
