#pragma once

#include <QByteArray>

// What --help prints. Its limits and exit statuses are the constants the
// parser and the run use, so the text cannot drift from them.
QByteArray helpText();
