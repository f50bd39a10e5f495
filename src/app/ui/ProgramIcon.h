#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own icon, drawn at start-up: a 3 x 3 grid of colour swatches
// (the picture's colour signature) under a magnifying lens. Drawn at the
// size and pixel ratio it is shown at (offering 16 to 256 pixels to the
// window system). UI thread only.
QIcon ProgramIcon();

// One size of the icon, `size` pixels square.
QPixmap ProgramIconPixmap(int size);

class QPainter;
// Draws the icon into the square (0, 0)-(size, size) of an active painter on
// any paint device (the build's icon renderer draws the scalable copy with it).
void PaintProgramIcon(QPainter& painter, int size);
