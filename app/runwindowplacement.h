#pragma once

#include <QRect>
#include <QSize>

// The parts of the main window the run window keeps clear of, as frame
// rectangles in screen coordinates.
struct MainWindowPlaces {
    QRect frame;   // the whole window, its frame included
    QRect top;     // its title bar and menu bar: never covered
    QRect monitor; // the communication monitor: covered only when nothing else is left
};

// Where the run window goes: wholly inside the screen's available area and
// never over the main window's title and menu bar; beside the main window
// where there is room for at least `least`, else over the main window clear of
// the monitor (the keypad sends nothing during a run), and over the monitor
// only when no other place holds `least`. As near `wanted` in size as the room
// allows. Of the places that fit, the one covering least of the monitor wins,
// then the one covering least of the main window, then the larger one. When
// nothing holds `least`, the largest place that keeps the menu bar clear.
QRect placeRunWindow(const QRect& screen, const MainWindowPlaces& main, const QSize& wanted,
                     const QSize& least);
