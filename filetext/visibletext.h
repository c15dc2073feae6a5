#pragma once

#include <QByteArray>
#include <QString>

// A line's bytes as text a person can read without anything being lost:
// printable ASCII as it is, a backslash doubled, and every other byte as a
// visible escape (\r, \n, \t, \x00, \xFF). Distinct lines stay distinct.
QString visibleText(const QByteArray& bytes);

// The same text appended to out as ASCII bytes, for the session log.
void appendVisible(QByteArray& out, const QByteArray& bytes);
