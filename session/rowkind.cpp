#include "session/rowkind.h"

#include "protocol/replystatus.h"

RowKind rowKind(QByteArrayView text) {
    static constexpr QByteArrayView reply("Reply: ");
    if (text.startsWith(reply)) {
        const QByteArrayView rest = text.sliced(reply.size());
        switch (classifyReply(QByteArray::fromRawData(rest.data(), rest.size()))) {
        case ReplyStatus::Ack:
            return RowKind::Ack;
        case ReplyStatus::Nak:
            return RowKind::Nak;
        case ReplyStatus::Crc:
            return RowKind::Crc;
        case ReplyStatus::Other:
            return RowKind::Reply;
        }
    }
    struct Prefix {
        QByteArrayView text;
        RowKind kind;
    };
    static constexpr Prefix prefixes[] = {
        {"Key: ", RowKind::Sent},         {"Comm Test - ", RowKind::Sent},
        {"Reset - ", RowKind::Sent},      {"Sent: ", RowKind::Sent},
        {"Not sent (", RowKind::NotSent}, {"Error: ", RowKind::Error},
        {"Port: ", RowKind::Port},        {"Expect failed: ", RowKind::ExpectFailed},
        {"Run: ", RowKind::Run},
    };
    for (const Prefix& p : prefixes)
        if (text.startsWith(p.text))
            return p.kind;
    // The session log's own note of lines a full disk cost.
    if (text.startsWith("(") && text.endsWith(")") && text.contains(" lines not logged: "))
        return RowKind::Error;
    return RowKind::Text;
}
