#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QLabel window(QString::fromUtf8(u8"待機中"));
  window.setWindowTitle(QString::fromUtf8(u8"(ν・▽)νティントワイズ Ver 0.07"));
  window.resize(400, 200);
  window.show();
  return application.exec();
}
