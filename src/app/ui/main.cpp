#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

#include "app/ui/CTintwiseDlg.h"

// tintwise [image]: opens the window; an image given on the command line is
// searched as soon as the cache has been loaded, as if it had been dropped.
int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tintwise"));

  // The window speaks Japanese, so Qt's own dialogs (the open-file dialog)
  // should too.
  QTranslator qtTranslator;
  if (qtTranslator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTranslator);
  }

  CTintwiseDlg::Options options;
  const QStringList arguments = QApplication::arguments();
  // Made absolute now: the window makes the program's directory current.
  if (arguments.size() > 1) {
    options.searchAtStart = QFile::encodeName(QFileInfo(arguments.at(1)).absoluteFilePath()).toStdString();
  }

  CTintwiseDlg dialog(std::move(options));
  dialog.show();
  dialog.exec();
  return 0;
}
