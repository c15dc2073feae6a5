#pragma once

#include <QByteArray>

// What a reply says about the last command, told by its first five
// characters exactly as received (case and spaces count).
enum class ReplyStatus {
    Other, // anything else, including a reply shorter than five characters
    Ack,   // "0B 00"
    Nak,   // "0B FF": the device did not know the command
    Crc,   // "0B 0F": the device saw a checksum error
};

ReplyStatus classifyReply(const QByteArray& reply);

// "ACK", "NAK", "CRC"; empty for Other.
const char* replyStatusName(ReplyStatus status);
