#pragma once

#include <QImage>
#include <QWidget>

// The preview box: a black frame over which a picture is shown, stretched
// over the whole box whatever its aspect ratio. Empty (just the frame) until
// a picture is set; an empty box may show one line of text (what it is
// waiting for, or why it has no picture). UI thread only.
//
// What is drawn is made from the picture as set (the decoded picture, held
// at up to kSourceSide pixels a side) at the box's size in device pixels
// (its size times the screen's pixel ratio), so a scaled display shows as
// many of the picture's pixels as it has, never a 1x copy stretched. It is
// made again whenever the box is drawn at another size or ratio: a resized
// window, another screen.
class PreviewBox : public QWidget {
  Q_OBJECT

 public:
  // The largest side worth keeping of a picture to be shown: a maximised
  // window on a 4K screen at 2x has boxes under a thousand device pixels.
  static constexpr int kSourceSide = 2048;

  explicit PreviewBox(QWidget* parent = nullptr);

  // Shows `picture` (a null image empties the box) and repaints at once.
  void SetPicture(const QImage& picture);
  // The picture as set.
  const QImage& Picture() const { return picture_; }
  bool IsEmpty() const { return picture_.isNull(); }
  // Empties the box and shows `message` in it (an empty text shows none).
  void SetMessage(const QString& message);
  const QString& Message() const { return message_; }
  // The picture as drawn now: the box's size in device pixels, carrying the
  // ratio; made here if the box's size or ratio changed since. Null when empty.
  const QImage& Shown();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
  QImage shown_;
  QString message_;
};
