#include "protocol/replystatus.h"

ReplyStatus classifyReply(const QByteArray& reply) {
    if (reply.startsWith("0B 00"))
        return ReplyStatus::Ack;
    if (reply.startsWith("0B FF"))
        return ReplyStatus::Nak;
    if (reply.startsWith("0B 0F"))
        return ReplyStatus::Crc;
    return ReplyStatus::Other;
}

const char* replyStatusName(ReplyStatus status) {
    switch (status) {
    case ReplyStatus::Ack:
        return "ACK";
    case ReplyStatus::Nak:
        return "NAK";
    case ReplyStatus::Crc:
        return "CRC";
    case ReplyStatus::Other:
        break;
    }
    return "";
}
