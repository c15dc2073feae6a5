#pragma once

#include <QByteArrayView>

// What a monitor or log line is, told from its text alone, so that a live
// row and the same line read back from a log get the same kind. The text is
// the line as the log writes it (control bytes escaped); the prefixes are
// plain ASCII, so the raw bytes of a line give the same answer.
enum class RowKind : quint8 {
    Text,         // a line the program did not write (a hand-edited log)
    Sent,         // "Key: ", "Comm Test - ", "Reset - ", "Sent: "
    Ack,          // "Reply: 0B 00..."
    Nak,          // "Reply: 0B FF..."
    Crc,          // "Reply: 0B 0F..."
    Reply,        // any other reply
    NotSent,      // "Not sent (...): ..."
    Error,        // "Error: ...", and the log's "(N lines not logged: ...)"
    Port,         // "Port: ..."
    ExpectFailed, // "Expect failed: ..."
    Run,          // "Run: ..." (a run started from the window, and its verdict)
};
constexpr int rowKindCount = int(RowKind::Run) + 1;

RowKind rowKind(QByteArrayView text);

// The kinds an operator hunts for in a long session.
constexpr bool isProblem(RowKind kind) {
    return kind == RowKind::Nak || kind == RowKind::Crc || kind == RowKind::Error ||
           kind == RowKind::NotSent || kind == RowKind::ExpectFailed;
}
