#pragma once

#include <QByteArray>

// A small INI reader/editor that behaves like the Windows profile-file calls
// the program was first written against. Bytes in, bytes out, no I/O, so both
// functions can be fed anything.
//
// How a file is read:
// - CR LF, LF and a lone CR each end a line; the last line needs no line break.
// - A UTF-8 byte-order mark at the very start is skipped.
// - After leading blanks (spaces, tabs): '[' starts a section header whose name
//   runs to the last ']' on the line (or the line's end); ';' or '#' starts a
//   comment; anything else with an '=' is a key line, its name being the text
//   before the first '='. Other lines are ignored, and so are key lines before
//   the first header.
// - Section and key names match ASCII case-insensitively, trimmed of blanks.
// - Only the first matching section is searched and within it the first
//   matching key wins.
namespace ini {

// The value of key in section, trimmed of surrounding blanks and of one pair of
// matching surrounding quotes (" or '). Empty when the section or key is
// missing. Never cut to any length.
QByteArray lookup(const QByteArray& content, const QByteArray& section, const QByteArray& key);

// content with only the value of key in section changed; every other byte is
// kept. Replaces the first matching key of the first matching section, else
// inserts "key=value" after the section's last non-blank line, else appends the
// section at the end. New line breaks follow the file's first one (CR LF or LF).
//
// The value is cut at its first CR, LF or NUL, which a line cannot hold; a value
// with surrounding blanks or quotes is written quoted, so that lookup() gives
// it back unchanged. Names that could never be found again (containing CR, LF
// or NUL, or a key containing '=' or starting with '[', ';' or '#') leave the
// content as it was.
QByteArray edit(const QByteArray& content, const QByteArray& section, const QByteArray& key,
                const QByteArray& value);

} // namespace ini
