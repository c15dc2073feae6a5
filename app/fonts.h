#pragma once

#include <QFont>

namespace fonts {
// "MS Sans Serif" at the given size where it is installed, else the
// platform's sans-serif at the same size.
QFont windowFont(int pointSize);
} // namespace fonts
