#pragma once

#include <QImage>
#include <QWidget>

// The preview box: a black frame over which the rendered preview picture is
// shown, stretched over the whole box whatever its aspect ratio. Empty (just
// the frame) until a picture is set; an empty box may show one line of text
// (what it is waiting for, or why it has no picture). UI thread only.
class PreviewBox : public QWidget {
  Q_OBJECT

 public:
  explicit PreviewBox(QWidget* parent = nullptr);

  // Shows `picture` (a null image empties the box) and repaints at once.
  void SetPicture(const QImage& picture);
  const QImage& Picture() const { return picture_; }
  bool IsEmpty() const { return picture_.isNull(); }
  // Empties the box and shows `message` in it (an empty text shows none).
  void SetMessage(const QString& message);
  const QString& Message() const { return message_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
  QString message_;
};
