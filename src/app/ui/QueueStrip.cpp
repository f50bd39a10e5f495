#include "app/ui/QueueStrip.h"

#include <QFile>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "infra/TextEncoding.h"

namespace {

// The mark's height along the thumbnail's lower edge, and its frame's width.
constexpr int kMarkHeight = 5;
constexpr int kFrame = 2;

QColor MarkColour(PictureQueue::Mark mark) {
  const std::uint32_t rgb = PictureQueue::Colour(mark);
  return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

}  // namespace

QueueStrip::QueueStrip(QWidget* parent) : QListWidget(parent) {
  setViewMode(QListView::IconMode);
  setFlow(QListView::TopToBottom);
  setWrapping(false);
  setMovement(QListView::Static);
  setResizeMode(QListView::Adjust);
  setWordWrap(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setUniformItemSizes(true);
  setSpacing(2);
  connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) emit EntrySelected(row);
  });
}

int QueueStrip::ThumbnailSide() const {
  // The strip's width less its scroll bar and margins.
  const int room = viewport()->width() - 2 * spacing() - 6;
  return std::max(16, room);
}

void QueueStrip::SetEntries(const std::vector<std::string>& names) {
  blockSignals(true);
  clear();
  shown_.clear();
  textHeight_ = 0;
  for (const std::string& name : names) {
    shown_.push_back({QImage(), PictureQueue::Mark::kWaiting,
                      QString::fromStdString(Cp932ToUtf8(PictureQueue::Label(PictureQueue::Mark::kWaiting))),
                      QFile::decodeName(QByteArray::fromStdString(name))});
    addItem(new QListWidgetItem());
    Redraw(static_cast<int>(shown_.size()) - 1);
  }
  blockSignals(false);
}

void QueueStrip::SetThumbnail(int index, const QImage& thumbnail) {
  if (index < 0 || index >= Count()) return;
  shown_[index].thumbnail = thumbnail;
  Redraw(index);
}

void QueueStrip::SetMark(int index, PictureQueue::Mark mark, const std::string& label) {
  if (index < 0 || index >= Count()) return;
  shown_[index].mark = mark;
  shown_[index].label = QString::fromStdString(Cp932ToUtf8(label));
  Redraw(index);
}

PictureQueue::Mark QueueStrip::MarkAt(int index) const { return shown_.at(index).mark; }

QString QueueStrip::LabelAt(int index) const { return item(index) ? item(index)->text() : QString(); }

void QueueStrip::resizeEvent(QResizeEvent* event) {
  QListWidget::resizeEvent(event);
  // Only a new width changes the thumbnails: a window growing taller
  // redraws none of them, however many are queued.
  if (ThumbnailSide() == drawnSide_) return;
  for (int i = 0; i < Count(); ++i) Redraw(i);
}

void QueueStrip::Redraw(int index) {
  const Shown& entry = shown_[index];
  const int side = ThumbnailSide();
  const bool sameSide = side == drawnSide_;
  drawnSide_ = side;
  // Drawn at the screen's pixel density, so the thumbnail stays sharp.
  const qreal ratio = devicePixelRatioF();
  QImage icon(QSize(side, side) * ratio, QImage::Format_ARGB32_Premultiplied);
  icon.setDevicePixelRatio(ratio);
  icon.fill(Qt::black);
  QPainter painter(&icon);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QColor colour = MarkColour(entry.mark);
  if (!entry.thumbnail.isNull()) {
    const QRectF room(kFrame, kFrame, side - 2 * kFrame, side - 2 * kFrame - kMarkHeight);
    const QSizeF fitted = QSizeF(entry.thumbnail.size()).scaled(room.size(), Qt::KeepAspectRatio);
    const QRectF target(room.center().x() - fitted.width() / 2, room.center().y() - fitted.height() / 2,
                        fitted.width(), fitted.height());
    painter.drawImage(target, entry.thumbnail);
  }
  painter.setPen(QPen(colour, kFrame));
  painter.drawRect(QRectF(kFrame / 2.0, kFrame / 2.0, side - kFrame, side - kFrame));
  painter.fillRect(QRectF(0, side - kMarkHeight, side, kMarkHeight), colour);
  painter.end();

  QListWidgetItem* shownItem = item(index);
  const QString& label = entry.label;
  shownItem->setIcon(QIcon(QPixmap::fromImage(icon)));
  shownItem->setText(label);
  shownItem->setForeground(colour.darker(130));
  shownItem->setToolTip(entry.name + QLatin1Char('\n') + label);
  shownItem->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
  setIconSize(QSize(side, side));
  // Room for the thumbnail and at least two lines of label: as many as the
  // longest label shown needs at this width, so that none is cut short
  // (entries share one size).
  const int wrapped =
      fontMetrics().boundingRect(QRect(0, 0, side, 1 << 16), Qt::AlignHCenter | Qt::TextWordWrap, label).height();
  const int textHeight = std::max({2 * fontMetrics().lineSpacing(), wrapped, sameSide ? textHeight_ : 0});
  const QSize size(side + 4, side + textHeight + 6);
  if (textHeight != textHeight_) {
    textHeight_ = textHeight;
    for (int i = 0; i < Count(); ++i) item(i)->setSizeHint(size);
    // The view keeps the entries' common size until it lays them out again.
    scheduleDelayedItemsLayout();
  } else {
    shownItem->setSizeHint(size);
  }
}
