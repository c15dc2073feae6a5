#include "app/runwindowplacement.h"

#include <algorithm>
#include <array>

namespace {

qint64 area(const QRect& r) {
    return r.isEmpty() ? 0 : qint64(r.width()) * r.height();
}

// The four largest rectangles of screen that keep clear of obstacle: wholly
// left of it, right of it, above and below.
std::array<QRect, 4> roomAround(const QRect& screen, const QRect& obstacle) {
    if (obstacle.isEmpty())
        return {{screen, {}, {}, {}}};
    return {{
        QRect(QPoint(obstacle.right() + 1, screen.top()), screen.bottomRight()) & screen,
        QRect(screen.topLeft(), QPoint(obstacle.left() - 1, screen.bottom())) & screen,
        QRect(QPoint(screen.left(), obstacle.bottom() + 1), screen.bottomRight()) & screen,
        QRect(screen.topLeft(), QPoint(screen.right(), obstacle.top() - 1)) & screen,
    }};
}

// A window of at most `wanted` inside room, placed where it covers least of
// the main window; near its top edge or left edge when that costs nothing.
QRect fitInto(const QRect& room, const QSize& wanted, const QRect& mainFrame) {
    const QSize size = wanted.boundedTo(room.size());
    const int lastX = room.right() - size.width() + 1;
    const int lastY = room.bottom() - size.height() + 1;
    const std::array<int, 3> xs{qBound(room.left(), mainFrame.left(), lastX), room.left(), lastX};
    const std::array<int, 3> ys{qBound(room.top(), mainFrame.top(), lastY), room.top(), lastY};
    QRect best;
    qint64 bestCover = -1;
    for (int y : ys)
        for (int x : xs) {
            const QRect r(QPoint(x, y), size);
            const qint64 cover = area(r & mainFrame);
            if (bestCover < 0 || cover < bestCover) {
                best = r;
                bestCover = cover;
            }
        }
    return best;
}

} // namespace

QRect placeRunWindow(const QRect& screen, const QRect& mainFrame, const QRect& keypad,
                     const QSize& wanted, const QSize& least) {
    // Beside the main window first, then anywhere clear of the keypad (over
    // the rest of the main window); no keypad leaves the whole screen.
    std::array<QRect, 8> rooms{};
    const auto beside = roomAround(screen, mainFrame);
    const auto clear = roomAround(screen, keypad);
    std::copy(beside.begin(), beside.end(), rooms.begin());
    std::copy(clear.begin(), clear.end(), rooms.begin() + 4);

    QRect best;
    qint64 bestCover = 0;
    QRect largest;
    for (const QRect& room : rooms) {
        if (room.isEmpty())
            continue;
        const QRect r = fitInto(room, wanted, mainFrame);
        if (area(r) > area(largest))
            largest = r;
        if (r.width() < least.width() || r.height() < least.height())
            continue;
        const qint64 cover = area(r & mainFrame);
        if (best.isNull() || cover < bestCover || (cover == bestCover && area(r) > area(best))) {
            best = r;
            bestCover = cover;
        }
    }
    return best.isNull() ? largest : best;
}
