#pragma once

#include <QImage>
#include <QListWidget>
#include <string>
#include <vector>

#include "control/PictureQueue.h"

// The strip of queued pictures beside the preview: one thumbnail per
// picture, top to bottom, each with a coloured mark along its lower edge and
// its label under it (its verdict as far as it is known, with its
// confirmation's state). Selecting one emits
// EntrySelected. UI thread only.
class QueueStrip : public QListWidget {
  Q_OBJECT

 public:
  explicit QueueStrip(QWidget* parent = nullptr);

  // One waiting entry per name (file-system bytes; shown as the tooltip).
  void SetEntries(const std::vector<std::string>& names);
  int Count() const { return count(); }
  // A null thumbnail leaves the entry's frame empty.
  void SetThumbnail(int index, const QImage& thumbnail);
  // `label` (Shift-JIS): PictureQueue::LabelOf the entry.
  void SetMark(int index, PictureQueue::Mark mark, const std::string& label);
  PictureQueue::Mark MarkAt(int index) const;
  QString LabelAt(int index) const;
  // The thumbnail's side in device-independent pixels.
  int ThumbnailSide() const;

 signals:
  void EntrySelected(int index);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct Shown {
    QImage thumbnail;
    PictureQueue::Mark mark = PictureQueue::Mark::kWaiting;
    QString label;
    QString name;
  };
  void Redraw(int index);

  std::vector<Shown> shown_;
  int drawnSide_ = 0;   // the thumbnails' side as last drawn
  int textHeight_ = 0;  // the labels' room under the thumbnails at that side
};
