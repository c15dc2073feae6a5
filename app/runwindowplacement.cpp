#include "app/runwindowplacement.h"

#include <array>
#include <utility>
#include <vector>

namespace {

qint64 area(const QRect& r) {
    return r.isEmpty() ? 0 : qint64(r.width()) * r.height();
}

// The four largest rectangles of screen that keep clear of obstacle: wholly
// right of it, left of it, below and above; the whole screen when there is none.
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

// What a place costs: the monitor it covers first, then the rest of the main window.
std::pair<qint64, qint64> cost(const QRect& r, const MainWindowPlaces& main) {
    return {area(r & main.monitor), area(r & main.frame)};
}

// A window of at most `wanted` inside room, placed where it costs least; along
// the main window's edges or the room's when that costs nothing more.
QRect fitInto(const QRect& room, const QSize& wanted, const MainWindowPlaces& main) {
    const QSize size = wanted.boundedTo(room.size());
    const int lastX = room.right() - size.width() + 1;
    const int lastY = room.bottom() - size.height() + 1;
    const QRect& m = main.frame;
    const std::array<int, 4> xs{room.left(), lastX, qBound(room.left(), m.left(), lastX),
                                qBound(room.left(), m.right() - size.width() + 1, lastX)};
    const std::array<int, 3> ys{room.top(), lastY, qBound(room.top(), m.top(), lastY)};
    QRect best;
    for (int y : ys)
        for (int x : xs) {
            const QRect r(QPoint(x, y), size);
            if (best.isNull() || cost(r, main) < cost(best, main))
                best = r;
        }
    return best;
}

} // namespace

QRect placeRunWindow(const QRect& screen, const MainWindowPlaces& main, const QSize& wanted,
                     const QSize& least) {
    // Beside the main window; else anywhere clear of its menu bar, and of its
    // monitor too where that leaves room.
    std::vector<QRect> rooms;
    for (const QRect& beside : roomAround(screen, main.frame))
        rooms.push_back(beside);
    const auto besideMonitor = roomAround(screen, main.monitor);
    for (const QRect& belowTop : roomAround(screen, main.top)) {
        rooms.push_back(belowTop);
        for (const QRect& clear : besideMonitor)
            rooms.push_back(belowTop & clear);
    }

    QRect best;
    QRect largest;
    for (const QRect& room : rooms) {
        if (room.isEmpty())
            continue;
        const QRect r = fitInto(room, wanted, main);
        if (area(r) > area(largest))
            largest = r;
        if (r.width() < least.width() || r.height() < least.height())
            continue;
        if (best.isNull() || cost(r, main) < cost(best, main) ||
            (cost(r, main) == cost(best, main) && area(r) > area(best)))
            best = r;
    }
    return best.isNull() ? largest : best;
}
