#pragma once

#include <QFont>

namespace fonts {
// "MS Sans Serif" at the given size where it is installed, else the
// installed free font nearest to its widths (FreeSans, Liberation Sans),
// else the platform's sans-serif at the same size.
QFont windowFont(int pointSize);
} // namespace fonts
