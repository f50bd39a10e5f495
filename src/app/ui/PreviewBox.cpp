#include "app/ui/PreviewBox.h"

#include <QPainter>

PreviewBox::PreviewBox(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent, false); }

void PreviewBox::SetPicture(const QImage& picture) {
  picture_ = picture;
  message_.clear();
  repaint();
}

void PreviewBox::SetMessage(const QString& message) {
  picture_ = QImage();
  message_ = message;
  repaint();
}

void PreviewBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_.isNull()) {
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (!message_.isEmpty()) {
      const QRect inside = rect().adjusted(4, 4, -4, -4);
      painter.drawText(inside, Qt::AlignCenter | Qt::TextWordWrap,
                       fontMetrics().elidedText(message_, Qt::ElideRight, inside.width() * 3));
    }
    return;
  }
  // Presenting stretches the back buffer over the whole box with filtering.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.drawImage(rect(), picture_);
}
