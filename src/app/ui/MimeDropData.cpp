#include "app/ui/MimeDropData.h"

#include <QBuffer>
#include <QImage>
#include <QMimeData>
#include <QUrl>

DropData MimeDropData(const QMimeData* data) {
  DropData drop;
  if (!data) return drop;
  if (data->hasUrls()) {
    for (const QUrl& url : data->urls()) drop.urls.push_back(url.toEncoded().toStdString());
  }
  if (data->hasText()) drop.text = data->text().toStdString();
  static const char* const kFormats[] = {"image/png", "image/jpeg", "image/gif", "image/webp", "image/bmp"};
  for (const char* format : kFormats) {
    const QByteArray bytes = data->data(QString::fromLatin1(format));
    if (!bytes.isEmpty()) drop.pictures.emplace_back(format, bytes.toStdString());
  }
  // Only a decoded image: encoded losslessly, and only then, as it costs.
  if (drop.pictures.empty() && data->hasImage()) {
    const QImage image = qvariant_cast<QImage>(data->imageData());
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    if (!image.isNull() && image.save(&buffer, "PNG")) drop.pictures.emplace_back("image/png", encoded.toStdString());
  }
  return drop;
}
