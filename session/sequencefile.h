#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// A sequence file: keypad steps and the replies expected to them, one step a
// line. Parsing is text in, steps or a located error out; nothing is sent
// until a whole file has been read without an error.
struct SequenceStep {
    enum Kind { Key, CommTest, Reset, Expect, Wait, Repeat, End };
    enum Reply { Ack, Nak, Crc, Any, None };

    Kind kind = Key;
    int line = 0;      // 1-based line of the file
    QString text;      // the step as written, for messages and reports
    int key = -1;      // Key: the keypad index, as MainSession::sendKeyCode takes it
    Reply reply = Any; // Expect
    int ms = 0;        // Expect: the bound; Wait: the pause
    int count = 0;     // Repeat: how many times
    int partner = -1;  // Repeat: index of its End; End: index of its Repeat

    // Whether running the step writes a frame ("key *" and "key #" do not).
    bool sends() const {
        return kind == CommTest || kind == Reset || (kind == Key && key != 9 && key != 11);
    }
};

struct SequenceFile {
    QString name;                // the file name without folders, for messages
    QVector<SequenceStep> steps; // flat; Repeat and End point at each other
    QString error;               // "name:line: \"step\": reason"; empty when valid
    bool isValid() const { return error.isEmpty(); }
};

// The defaults and bounds of the numbers a file may give.
namespace sequencelimits {
inline constexpr int expectDefaultMs = 2000;
inline constexpr int expectMaxMs = 600000;
inline constexpr int waitMaxMs = 3600000;
inline constexpr int repeatMax = 1000000;
} // namespace sequencelimits

// "ACK", "NAK", "CRC", "any", "none".
QString replyName(SequenceStep::Reply reply);

// Reads a sequence from its UTF-8 text; name is what messages call the file.
SequenceFile parseSequence(const QString& name, const QByteArray& text);

// Reads the file at path; an unreadable file is an error naming it.
SequenceFile readSequenceFile(const QString& path);
