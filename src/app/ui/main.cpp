#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

#include <cstdio>

#include "app/ui/CTintwiseDlg.h"
#include "infra/ServerAddress.h"

// tintwise [--site-host HOST] [--cache-host HOST] [--dir DIRECTORY] [image]:
// opens the window, keeping its files in DIRECTORY when given;
// an image given on the command line is searched as soon as the cache has
// been loaded, as if it had been dropped. The hosts (host or host:port)
// replace the site's and the cache server's, as tintwise-cli's options do
// (a demo site on another port).
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
  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  std::string siteHost = SiteHost();
  std::string cacheHost = CacheHost();
  while (arguments.size() >= 2 && arguments.front().startsWith(QLatin1String("--"))) {
    const QString option = arguments.takeFirst();
    const std::string value = arguments.takeFirst().toStdString();
    if (option == QLatin1String("--site-host")) {
      siteHost = value;
    } else if (option == QLatin1String("--cache-host")) {
      cacheHost = value;
    } else if (option == QLatin1String("--dir")) {
      // Made absolute now, as the image below.
      const QFileInfo directory(QString::fromStdString(value));
      if (!directory.isDir()) {
        std::fprintf(stderr, "tintwise: not a directory: %s\n", value.c_str());
        return 2;
      }
      options.programDirectory = QFile::encodeName(directory.absoluteFilePath()).toStdString();
    } else {
      std::fprintf(stderr, "tintwise: unknown option %s\n", option.toLocal8Bit().constData());
      return 2;
    }
  }
  OverrideServerHosts(siteHost, cacheHost);
  // Made absolute now: the window makes the program's directory current.
  if (!arguments.isEmpty()) {
    options.searchAtStart = QFile::encodeName(QFileInfo(arguments.front()).absoluteFilePath()).toStdString();
  }

  CTintwiseDlg dialog(std::move(options));
  dialog.show();
  dialog.exec();
  return 0;
}
