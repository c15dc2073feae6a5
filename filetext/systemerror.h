#pragma once

#include <QString>

// The system's own text for an errno value ("No such file or directory"),
// safe on any thread.
QString systemError(int error);
