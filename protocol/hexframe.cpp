#include "protocol/hexframe.h"

#include "filetext/visibletext.h"

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isSum(QByteArrayView word) {
    return word.size() == 3 && QByteArrayView("sum").compare(word, Qt::CaseInsensitive) == 0;
}

} // namespace

HexFrame parseHexFrame(QByteArrayView words) {
    HexFrame frame;
    auto refuse = [&frame](const QString& why) {
        frame.bytes.clear();
        frame.error = why;
        return frame;
    };
    qsizetype count = 0; // bytes written, counted on past the limit to say how many
    bool sum = false;
    for (qsizetype i = 0; i < words.size();) {
        if (words[i] == ' ' || words[i] == '\t') {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < words.size() && words[end] != ' ' && words[end] != '\t')
            ++end;
        const QByteArrayView word = words.sliced(i, end - i);
        i = end;
        if (sum)
            return refuse(QStringLiteral("\"sum\" must be the last word"));
        if (isSum(word)) {
            if (count == 0)
                return refuse(QStringLiteral("\"sum\" needs bytes before it"));
            sum = true;
            ++count;
            continue;
        }
        const int high = word.size() == 2 ? hexDigit(word[0]) : -1;
        const int low = word.size() == 2 ? hexDigit(word[1]) : -1;
        if (high < 0 || low < 0)
            return refuse(
                QStringLiteral("\"%1\" is not a byte: write each byte as two hex "
                               "digits, 00 to FF")
                    .arg(visibleText(word.first(qMin<qsizetype>(word.size(), 20)).toByteArray()) +
                         (word.size() > 20 ? QStringLiteral("...") : QString())));
        if (++count <= HexFrame::maxBytes)
            frame.bytes += char(high * 16 + low);
    }
    if (count == 0)
        return refuse(QStringLiteral("no bytes: give 1 to %1 as two-digit hex words, such as "
                                     "0B 07 sum")
                          .arg(HexFrame::maxBytes));
    if (count > HexFrame::maxBytes)
        return refuse(QStringLiteral("%1 bytes: a frame holds at most %2%3")
                          .arg(count)
                          .arg(HexFrame::maxBytes)
                          .arg(sum ? QStringLiteral(", its checksum included") : QString()));
    if (sum) {
        unsigned total = 0;
        for (const char c : std::as_const(frame.bytes))
            total += static_cast<unsigned char>(c);
        frame.bytes += char(total & 0xFF);
    }
    return frame;
}

QByteArray hexText(const QByteArray& bytes) {
    return bytes.toHex(' ').toUpper();
}
