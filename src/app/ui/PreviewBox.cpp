#include "app/ui/PreviewBox.h"

#include <QPainter>

PreviewBox::PreviewBox(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent, false); }

void PreviewBox::SetPicture(const QImage& picture) {
  picture_ = picture;
  repaint();
}

void PreviewBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_.isNull()) {
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    return;
  }
  // Presenting stretches the back buffer over the whole box with filtering.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.drawImage(rect(), picture_);
}
