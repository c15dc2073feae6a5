#pragma once

#include "protocol/commandtable.h"
#include "sequence/sequencelimits.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// A sequence file: keypad steps and the replies expected to them, one step a
// line. Parsing is text in, steps or a located error out; nothing is sent
// until a whole file has been read without an error.
//
// A file may hold millions of steps, so a step is small and keeps no text of
// its own: it points into the file's bytes, which SequenceFile holds once.
struct SequenceStep {
    enum Kind : quint8 { Key, CommTest, Reset, Expect, Wait, Repeat, End, Send };
    enum Reply : quint8 { Ack, Nak, Crc, Any, None };

    Kind kind = Key;
    Reply reply = Any; // Expect
    qint8 key = -1;    // Key: the keypad index, as MainSession::sendKeyCode takes it
    quint8 words = 0;  // how many words of its line the step is
    int line = 0;      // 1-based line of the file
    quint32 at = 0;    // where its first word starts in SequenceFile::text
    union {            // one number a step, so one field for both names
        int ms = 0;    // Expect: the bound; Wait: the pause
        int count;     // Repeat: how many times
    };
    int partner = -1; // Repeat: index of its End; End: index of its Repeat

    // Whether running the step writes a frame ("key *" and "key #" do not).
    bool sends() const {
        return kind == CommTest || kind == Reset || kind == Send ||
               (kind == Key && commands::keypadFrame(key) != nullptr);
    }
};
static_assert(sizeof(SequenceStep) == 20, "a step stays small: files hold millions");

struct SequenceFile {
    QString name;                // the file name without folders, for messages
    QByteArray text;             // the file as read; steps point into it
    QVector<SequenceStep> steps; // flat; Repeat and End point at each other
    QString error;               // "name:line: \"step\": reason"; empty when valid
    bool isValid() const { return error.isEmpty(); }

    // The step as written, its words one space apart, for messages and
    // reports; control bytes are escaped as the monitor shows them.
    QString stepText(const SequenceStep& step) const;
    // The bytes a send step sends, read again from its line: the file holds
    // them once, whatever the count of repetitions.
    QByteArray frame(const SequenceStep& step) const;

    // How many expectations a whole run evaluates: every expect times the
    // counts of the repeats around it. Saturates at the largest qint64.
    qint64 expectationCount() const { return m_expectationCount; }

private:
    friend SequenceFile parseSequence(const QString& name, const QByteArray& text);
    qint64 m_expectationCount = 0;
};

// "ACK", "NAK", "CRC", "any", "none".
QString replyName(SequenceStep::Reply reply);

// Reads a sequence from its UTF-8 text; name is what messages call the file.
// The steps share text's bytes rather than copying them.
SequenceFile parseSequence(const QString& name, const QByteArray& text);

// Reads the file at path; an unreadable file is an error naming it and why.
SequenceFile readSequenceFile(const QString& path);
// The same for a path given as bytes, as the command line gives it: a name
// that is not UTF-8 is opened as it is, and shown with its odd bytes escaped.
SequenceFile readSequenceFile(const QByteArray& nativePath);
