#pragma once

#include <QRect>
#include <QSize>

// Where the run window goes, as frame rectangles in screen coordinates:
// wholly inside the screen's available area; beside the main window where
// there is room for at least `least`, else over the part of the main window
// that leaves the keypad clear; as near `wanted` in size as the room allows.
// Of the places that fit, the one covering least of the main window wins,
// then the larger one. Only when nothing clear of the keypad holds `least`
// does it fall back to the largest keypad-free room, smaller than `least`.
QRect placeRunWindow(const QRect& screen, const QRect& mainFrame, const QRect& keypad,
                     const QSize& wanted, const QSize& least);
