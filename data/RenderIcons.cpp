// Build tool: renders the program's own icon drawing into a hicolor icon
// tree, PNG at the theme's usual sizes plus a scalable SVG.
//
//   tintwise-render-icons <output directory>
//
// Writes <output>/<N>x<N>/apps/tintwise.png and <output>/scalable/apps/tintwise.svg;
// exits with 1 when any file cannot be written. Runs without a display.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QSvgGenerator>
#include <cstdio>

#include "app/ui/ProgramIcon.h"

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
// The scalable copy is drawn at the largest size, where the drawing uses
// its proportional line widths.
constexpr int kScalableSize = 256;

bool WritePng(const QString& root, int size) {
  const QString directory = root + QStringLiteral("/%1x%1/apps").arg(size);
  if (!QDir().mkpath(directory)) return false;
  return ProgramIconPixmap(size).save(directory + QStringLiteral("/tintwise.png"), "PNG");
}

bool WriteSvg(const QString& root) {
  const QString directory = root + QStringLiteral("/scalable/apps");
  if (!QDir().mkpath(directory)) return false;
  const QString path = directory + QStringLiteral("/tintwise.svg");
  QSvgGenerator generator;
  generator.setFileName(path);
  generator.setSize(QSize(kScalableSize, kScalableSize));
  generator.setViewBox(QRect(0, 0, kScalableSize, kScalableSize));
  generator.setTitle(QStringLiteral("Tintwise"));
  QPainter painter;
  if (!painter.begin(&generator)) return false;
  PaintProgramIcon(painter, kScalableSize);
  painter.end();
  return QFileInfo(path).size() > 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Pixmaps need a GUI application, which needs no display offscreen.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tintwise-render-icons <output directory>\n");
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  bool ok = WriteSvg(root);
  for (int size : kSizes) ok = WritePng(root, size) && ok;
  if (!ok) std::fprintf(stderr, "tintwise-render-icons: cannot write the icons under %s\n", argv[1]);
  return ok ? 0 : 1;
}
