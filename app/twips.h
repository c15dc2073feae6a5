#pragma once

#include <QRect>

// Layout sizes are given in twips: 15 to a pixel at 96 dpi, rounded to the
// nearest pixel.
constexpr int twips(int t) {
    return (t + 7) / 15;
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return {twips(left), twips(top), twips(width), twips(height)};
}
