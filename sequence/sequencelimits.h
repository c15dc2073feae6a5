#pragma once

#include <QtGlobal>

// The defaults and bounds of the numbers a sequence file may give. The man
// page is made from these lines at configure time (packaging/CMakeLists.txt
// reads them), so each stays a plain number on a line of its own.
namespace sequencelimits {
inline constexpr int expectDefaultMs = 2000;
inline constexpr int expectMaxMs = 600000;
inline constexpr int waitMaxMs = 3600000;
inline constexpr int repeatMax = 1000000;
inline constexpr int fileMaxMiB = 16;
inline constexpr qint64 fileMaxBytes = qint64(fileMaxMiB) << 20;
} // namespace sequencelimits
