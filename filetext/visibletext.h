#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// One escaper, three outputs. Whatever comes from outside (a device's bytes,
// a file name, a line of a file) is shown so that it can neither be lost nor
// act on what shows it: escapes read \r, \n, \t, \\ and \xHH, one a byte.

// For the monitor and the session log: printable ASCII as it is, a backslash
// doubled, every other byte escaped. Distinct lines stay distinct.
QString visibleText(const QByteArray& bytes);
// The same text appended to out as ASCII bytes, for the session log.
void appendVisible(QByteArray& out, const QByteArray& bytes);

// For a terminal: UTF-8 text as it is, but control characters (C0, DEL, C1),
// the bidirectional controls (U+202A-U+202E, U+2066-U+2069), a byte order
// mark and bytes that are not UTF-8 escaped, a backslash doubled. For a
// name or a line from a file, before it goes into a message.
QString terminalText(QByteArrayView bytes);
// The same guard over a whole message already made of such parts: its
// backslashes are left as they are.
QString terminalSafe(const QString& text);

// For XML: what XML cannot hold (control characters, U+FFFE, U+FFFF, lone
// surrogates) escaped or replaced, so a strange name never spoils a report.
QString xmlText(const QString& text);

// Whether bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isUtf8(QByteArrayView bytes);
