#include "app/ui/PreviewBox.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

PreviewBox::PreviewBox(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent, false); }

void PreviewBox::SetPicture(const QImage& picture) {
  picture_ = picture;
  shown_ = QImage();
  message_.clear();
  repaint();
}

void PreviewBox::SetMessage(const QString& message) {
  picture_ = QImage();
  shown_ = QImage();
  message_ = message;
  repaint();
}

const QImage& PreviewBox::Shown() {
  if (picture_.isNull()) return shown_;
  const qreal ratio = devicePixelRatioF();
  const QSize device(std::max(1, static_cast<int>(std::lround(width() * ratio))),
                     std::max(1, static_cast<int>(std::lround(height() * ratio))));
  if (shown_.size() == device && shown_.devicePixelRatio() == ratio) return shown_;
  // Brought down by averaging (or up, from a small picture, by blending
  // neighbours) straight from the picture to the device pixels: a picture
  // already of that size is taken as it is.
  shown_ = picture_.size() == device ? picture_
                                     : picture_.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  shown_.setDevicePixelRatio(ratio);
  return shown_;
}

void PreviewBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_.isNull()) {
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (!message_.isEmpty()) {
      // The margin follows the text's size, as the dialog's spacing does.
      const int margin = std::max(2, fontMetrics().averageCharWidth() / 2);
      const QRect inside = rect().adjusted(margin, margin, -margin, -margin);
      painter.drawText(inside, Qt::AlignCenter | Qt::TextWordWrap,
                       fontMetrics().elidedText(message_, Qt::ElideRight, inside.width() * 3));
    }
    return;
  }
  // One device pixel of the picture to one of the screen.
  painter.drawImage(QPointF(0, 0), Shown());
}
