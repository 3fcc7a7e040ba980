#include <QApplication>

#include "FrmMultiBuf.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  FrmMultiBuf window;
  window.show();
  return app.exec();
}
