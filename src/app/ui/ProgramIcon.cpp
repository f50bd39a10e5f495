#include "app/ui/ProgramIcon.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include "app/ui/PaintedIcon.h"

namespace {

// The nine swatches, row by row: a small picture reduced to 3 x 3.
const QRgb kSwatches[9] = {
    0xf2c14e, 0xf78154, 0xd1495b,  //
    0x5fad56, 0x4d9078, 0x2e86ab,  //
    0x3d348b, 0x7678ed, 0xb4a0e5,
};

}  // namespace

QPixmap ProgramIconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  PaintProgramIcon(painter, size);
  painter.end();
  return pixmap;
}

void PaintProgramIcon(QPainter& painter, int size) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);

  // The swatch grid fills the upper-left three quarters.
  const double grid = size * 0.72;
  const double cell = grid / 3.0;
  const double margin = size / 32.0;
  painter.setPen(Qt::NoPen);
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      painter.setBrush(QColor::fromRgb(kSwatches[row * 3 + column]));
      painter.drawRect(QRectF(margin + column * cell, margin + row * cell, cell, cell));
    }
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(40, 40, 40), size >= 32 ? size / 32.0 : 1.0));
  painter.drawRect(QRectF(margin, margin, grid, grid));

  // The lens over the lower-right corner, with its handle.
  const double lensRadius = size * 0.22;
  const QPointF lensCentre(size * 0.62, size * 0.62);
  const double ring = size >= 32 ? size / 12.0 : 1.5;
  painter.setBrush(QColor(255, 255, 255, 150));
  painter.setPen(QPen(QColor(30, 30, 30), ring));
  painter.drawEllipse(lensCentre, lensRadius, lensRadius);
  painter.setPen(QPen(QColor(30, 30, 30), ring * 1.6, Qt::SolidLine, Qt::RoundCap));
  const double handleStart = lensRadius * 0.75 + ring;
  painter.drawLine(lensCentre + QPointF(handleStart, handleStart),
                   QPointF(size - ring, size - ring));
  painter.restore();
}

QIcon ProgramIcon() {
  // The title bar and task bar ask for one of these; a scaled display asks
  // for 1.5 or 2 times as many pixels, drawn afresh at that size.
  return PaintedIcon(PaintProgramIcon, {16, 24, 32, 48, 64, 96, 128, 256});
}
