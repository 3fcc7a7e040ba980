#include <windows.h>

#include <QApplication>
#include <QMetaObject>

#include "TerminationSignals.h"

namespace {

std::atomic<bool> requested{false};
std::atomic<bool> windowsOpen{false};
std::atomic<std::atomic<bool>*> terminationFlag{nullptr};

// Runs on a thread of its own: the window closes on the user-interface thread, and the
// system waits while this returns TRUE and the program ends its event loop.
BOOL WINAPI OnConsoleEvent(DWORD) {
  requested = true;
  if (std::atomic<bool>* flag = terminationFlag.load()) flag->store(true);
  if (windowsOpen) {
    QMetaObject::invokeMethod(qApp, &QApplication::closeAllWindows, Qt::QueuedConnection);
  }
  return TRUE;
}

}  // namespace

// A window asked to close by the system (taskkill, logging off) goes through closeEvent by
// itself; a console's Ctrl+C, Ctrl+Break and close need this handler.
void CatchTermination() {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void CloseWindowsOnTermination(QObject*) {
  windowsOpen = true;
  if (requested) {
    QMetaObject::invokeMethod(qApp, &QApplication::closeAllWindows, Qt::QueuedConnection);
  }
}

void SetFlagOnTermination(std::atomic<bool>* flag) {
  terminationFlag = flag;
  if (requested) flag->store(true);
}
