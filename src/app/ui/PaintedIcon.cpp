#include "app/ui/PaintedIcon.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

class PaintedIconEngine : public QIconEngine {
 public:
  PaintedIconEngine(IconPainter painter, std::vector<int> sizes)
      : painter_(std::move(painter)), sizes_(std::move(sizes)) {}

  // Square, as large as fits `size` (in device pixels); greyed as the
  // style greys any icon when disabled (a list during a search).
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
    const int side = std::max(1, std::min(size.width(), size.height()));
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    {
      QPainter painter(&pixmap);
      painter_(painter, side);
    }
    if (mode == QIcon::Normal || !qApp) return pixmap;
    QStyleOption option;
    return QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
  }

  // Painted at the target's own pixel ratio, so a list's row icon on a 2x
  // screen gets twice the pixels rather than its 1x copy stretched.
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const int logical = std::min(rect.width(), rect.height());
    QPixmap picture = pixmap(QSize(1, 1) * static_cast<int>(std::lround(logical * ratio)), mode, state);
    picture.setDevicePixelRatio(ratio);
    const QPointF corner(rect.left() + (rect.width() - logical) / 2.0, rect.top() + (rect.height() - logical) / 2.0);
    painter->drawPixmap(corner, picture);
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min(size.width(), size.height());
    return {side, side};
  }

  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    QList<QSize> sizes;
    for (const int side : sizes_) sizes.append(QSize(side, side));
    return sizes;
  }

  QIconEngine* clone() const override { return new PaintedIconEngine(painter_, sizes_); }
  QString key() const override { return QStringLiteral("PaintedIconEngine"); }

 private:
  IconPainter painter_;
  std::vector<int> sizes_;
};

}  // namespace

QIcon PaintedIcon(IconPainter painter, std::vector<int> sizes) {
  // QIcon takes the engine over and deletes it with its last copy.
  return QIcon(new PaintedIconEngine(std::move(painter), std::move(sizes)));
}
