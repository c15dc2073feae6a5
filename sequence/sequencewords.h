#pragma once

// How a sequence file's lines split into words: shared by the parser and by
// SequenceFile::stepText, which finds a step's words again in the text.
#include <QByteArray>
#include <QByteArrayView>

namespace sequencewords {

inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Where the line holding offset at ends, without its line feed and the
// carriage return before it (files written on Windows end lines in CR LF).
inline qsizetype lineEnd(const QByteArray& text, qsizetype at) {
    qsizetype end = text.indexOf('\n', at);
    if (end < 0)
        end = text.size();
    if (end > at && text[end - 1] == '\r')
        --end;
    return end;
}

struct Word {
    qsizetype at = 0;
    qsizetype size = 0;
};

// Splits at blanks; at most max words, the rest of the line ignored.
template <int max> int split(const char* data, qsizetype begin, qsizetype end, Word (&words)[max]) {
    int n = 0;
    qsizetype i = begin;
    while (n < max) {
        while (i < end && isBlank(data[i]))
            ++i;
        if (i == end)
            break;
        const qsizetype start = i;
        while (i < end && !isBlank(data[i]))
            ++i;
        words[n++] = {start, i - start};
    }
    return n;
}

// The hex words of a send step: the rest of its line, up to a comment.
inline QByteArrayView frameWords(const char* data, qsizetype from, qsizetype end) {
    for (qsizetype i = from; i < end; ++i)
        if (data[i] == '#' && isBlank(data[i - 1]))
            return QByteArrayView(data + from, i - from);
    return QByteArrayView(data + from, end - from);
}

inline int wordCount(QByteArrayView s) {
    int n = 0;
    for (qsizetype i = 0; i < s.size(); ++i)
        n += !isBlank(s[i]) && (i == 0 || isBlank(s[i - 1]));
    return n;
}

} // namespace sequencewords
