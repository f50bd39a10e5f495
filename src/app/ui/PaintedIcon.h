#pragma once

#include <QIcon>
#include <QSize>
#include <functional>
#include <vector>

class QPainter;

// Draws a square picture of `side` device pixels into (0, 0)-(side, side).
using IconPainter = std::function<void(QPainter& painter, int side)>;

// An icon drawn on demand at the size a screen asks for, in its device
// pixels: on a display scaled to 150 % or 200 % it is painted at 1.5 or 2
// times the logical size rather than a 1x copy scaled up, and moving the
// window to a screen of another ratio simply asks for another size.
// `sizes` are the sizes it offers to those that need a list (the window
// system's title-bar icon); any size can still be asked for. UI thread only.
QIcon PaintedIcon(IconPainter painter, std::vector<int> sizes = {});
