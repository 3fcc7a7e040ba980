// Starts Qt, shows one window, and once its first frame is painted and handed to the
// platform writes one byte to standard output (the caller's clock stops there, before any
// teardown) and leaves: "window" shows FrmMultiBuf on the simulated card, "empty" a bare QWidget,
// "label" a bare window with one Chinese caption (which loads the font database and a CJK
// font, as any window with Chinese text must).
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstring>
#include <memory>

#include "FrmMultiBuf.h"

namespace {

// Says so after the window's first paint, and quits: the flush to the platform follows the
// paint in the same pass, so the next turn of the event loop comes after the frame.
class FirstFrame : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      QTimer::singleShot(0, qApp, [] {
        (void)!write(STDOUT_FILENO, "F", 1);
        QApplication::quit();
      });
    }
    return false;
  }

 private:
  bool seen_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const char* mode = argc > 1 ? argv[1] : "empty";
  std::unique_ptr<QWidget> window;
  if (std::strcmp(mode, "window") == 0) {
    window = std::make_unique<FrmMultiBuf>();
  } else if (std::strcmp(mode, "label") == 0) {
    window = std::make_unique<QLabel>("开始采集");
    window->adjustSize();  // lays the caption out now, as the real window's labels do
    window->resize(576, 529);
  } else {
    window = std::make_unique<QWidget>();
    window->resize(576, 529);
  }
  FirstFrame firstFrame;
  window->installEventFilter(&firstFrame);
  window->show();
  return app.exec();
}
