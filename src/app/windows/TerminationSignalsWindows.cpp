#include <windows.h>

#include <QApplication>
#include <QMetaObject>

#include "TerminationSignals.h"

namespace {

// Runs on a thread of its own: the window closes on the user-interface thread, and the
// system waits while this returns TRUE and the program ends its event loop.
BOOL WINAPI OnConsoleEvent(DWORD) {
  QMetaObject::invokeMethod(qApp, &QApplication::closeAllWindows, Qt::QueuedConnection);
  return TRUE;
}

}  // namespace

// A window asked to close by the system (taskkill, logging off) goes through closeEvent by
// itself; a console's Ctrl+C, Ctrl+Break and close need this handler.
void CloseWindowsOnTermination(QObject*) {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

namespace {
std::atomic<bool>* terminationFlag = nullptr;
BOOL WINAPI OnConsoleEventSetFlag(DWORD) {
  if (terminationFlag) terminationFlag->store(true);
  return TRUE;
}
}  // namespace

void SetFlagOnTermination(std::atomic<bool>* flag) {
  terminationFlag = flag;
  SetConsoleCtrlHandler(OnConsoleEventSetFlag, TRUE);
}
