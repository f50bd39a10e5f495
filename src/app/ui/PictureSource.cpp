#include "app/ui/PictureSource.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QUrl>

#include "control/QueryPicture.h"

namespace {

bool IsWebUrl(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

PictureSource FileSource(const QString& path) {
  PictureSource source;
  source.kind = PictureSource::Kind::kFile;
  source.path = QFile::encodeName(path).toStdString();
  return source;
}

PictureSource LinkSource(const QUrl& url) {
  PictureSource source;
  source.kind = PictureSource::Kind::kLink;
  source.url = url.toEncoded(QUrl::RemoveFragment).toStdString();
  return source;
}

// The picture data a drag or the clipboard carries, as a file's bytes.
std::string PictureData(const QMimeData& data) {
  // The file formats as the source program offered them keep every pixel
  // as it was; browsers and image editors offer at least one of them.
  static const char* const kFormats[] = {"image/png", "image/jpeg", "image/gif", "image/webp", "image/bmp"};
  for (const char* format : kFormats) {
    const QByteArray bytes = data.data(QString::fromLatin1(format));
    if (!bytes.isEmpty()) return bytes.toStdString();
  }
  if (!data.hasImage()) return {};
  const QImage image = qvariant_cast<QImage>(data.imageData());
  if (image.isNull()) return {};
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return {};
  return encoded.toStdString();
}

}  // namespace

PictureSource PictureSource::From(const QMimeData* data) {
  if (!data) return {};
  const QList<QUrl> urls = data->hasUrls() ? data->urls() : QList<QUrl>();
  if (!urls.isEmpty() && urls.front().isLocalFile()) return FileSource(urls.front().toLocalFile());

  if (std::string bytes = PictureData(*data); !bytes.empty()) {
    PictureSource source;
    source.kind = Kind::kData;
    source.bytes = std::move(bytes);
    return source;
  }

  if (!urls.isEmpty() && IsWebUrl(urls.front())) return LinkSource(urls.front());

  if (!data->hasText()) return {};
  // The first line of the text, as a file URL, a link or an absolute path.
  QString text = data->text().trimmed();
  text = text.left(text.indexOf(QLatin1Char('\n'))).trimmed();
  if (text.isEmpty()) return {};
  const QUrl url(text, QUrl::TolerantMode);
  if (url.isLocalFile()) return FileSource(url.toLocalFile());
  if (QueryPicture::IsLink(text.toStdString()) && IsWebUrl(url)) return LinkSource(url);
  if (text.startsWith(QLatin1Char('/'))) return FileSource(text);
  PictureSource source;
  source.kind = Kind::kNotAPicture;
  return source;
}
