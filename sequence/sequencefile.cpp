#include "sequence/sequencefile.h"

#include "filetext/regularfile.h"
#include "filetext/systemerror.h"
#include "filetext/visibletext.h"
#include "protocol/hexframe.h"
#include "sequence/sequencewords.h"

#include <QFile>
#include <cerrno>
#include <sys/stat.h>

using namespace sequencewords;

QString SequenceFile::stepText(const SequenceStep& step) const {
    if (step.at >= quint32(text.size()))
        return {};
    Word words[HexFrame::maxBytes + 2]; // a send of 64 bytes and its keyword
    const int n = split(text.constData(), step.at, lineEnd(text, step.at), words);
    QByteArray out;
    for (int i = 0; i < qMin(n, int(step.words)); ++i) {
        if (i > 0)
            out += ' ';
        out.append(text.constData() + words[i].at, words[i].size);
    }
    return terminalText(out);
}

QByteArray SequenceFile::frame(const SequenceStep& step) const {
    if (step.kind != SequenceStep::Send || step.at >= quint32(text.size()))
        return {};
    Word keyword[1];
    const qsizetype end = lineEnd(text, step.at);
    split(text.constData(), step.at, end, keyword);
    return parseHexFrame(frameWords(text.constData(), keyword[0].at + keyword[0].size, end)).bytes;
}

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

SequenceFile readSequenceFile(const QString& path) {
    return readSequenceFile(QFile::encodeName(path));
}

SequenceFile readSequenceFile(const QByteArray& nativePath) {
    SequenceFile file;
    file.name = terminalText(nativePath.mid(nativePath.lastIndexOf('/') + 1));
    const RegularFile read = readRegularFile(nativePath, sequencelimits::fileMaxBytes);
    QString why;
    switch (read.status) {
    case RegularFile::Read:
        return parseSequence(file.name, read.content);
    case RegularFile::Missing:
    case RegularFile::Failed:
        why = systemError(read.status == RegularFile::Missing ? ENOENT : read.error);
        // The system's "No such file or directory" alone would puzzle whoever sees the link.
        if (read.isLink && read.error == ENOENT)
            why += QStringLiteral(" (a symbolic link to a missing file)");
        break;
    case RegularFile::NotRegular:
        why = S_ISDIR(read.mode) ? systemError(EISDIR) : QStringLiteral("not a regular file");
        break;
    case RegularFile::TooLarge:
        why = QStringLiteral("larger than 16 MiB");
        break;
    }
    file.error = QStringLiteral("Cannot read %1: %2").arg(terminalText(nativePath), why);
    return file;
}
