#include "app/ui/DialogFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace {

constexpr int kPointSize = 9;

// In order of preference: the face the layout was designed with, then faces
// with the same proportional kana, then fixed-pitch gothics.
const char* const kPreferredFamilies[] = {
    "MS UI Gothic", "IPAPGothic", "IPA Pゴシック", "Noto Sans CJK JP", "IPAGothic", "IPAゴシック",
    "TakaoPGothic", "VL PGothic", "Droid Sans Japanese",
};

}  // namespace

QFont DialogFont() {
  const QStringList installed = QFontDatabase::families();
  QString family;
  for (const char* name : kPreferredFamilies) {
    const QString candidate = QString::fromUtf8(name);
    if (installed.contains(candidate, Qt::CaseInsensitive)) {
      family = candidate;
      break;
    }
  }
  if (family.isEmpty()) {
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    if (!japanese.isEmpty()) family = japanese.front();
  }
  QFont font = family.isEmpty() ? QFont() : QFont(family);
  font.setPointSize(kPointSize);
  font.setStyleHint(QFont::SansSerif);
  return font;
}
