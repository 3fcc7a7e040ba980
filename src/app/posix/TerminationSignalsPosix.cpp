#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cerrno>

#include "TerminationSignals.h"

namespace {

int wakeFds[2] = {-1, -1};

// Only async-signal-safe work here: the event loop does the rest.
void OnSignal(int) {
  const char byte = 1;
  const int savedErrno = errno;
  [[maybe_unused]] ssize_t n = write(wakeFds[1], &byte, 1);
  errno = savedErrno;
}

}  // namespace

void CloseWindowsOnTermination(QObject* owner) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0) return;
  auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, owner);
  QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
    char drained[16];
    while (read(wakeFds[0], drained, sizeof drained) > 0) {
    }
    QApplication::closeAllWindows();
  });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

namespace {
std::atomic<bool>* terminationFlag = nullptr;
void OnSignalSetFlag(int) {
  if (terminationFlag) terminationFlag->store(true);
}
}  // namespace

void SetFlagOnTermination(std::atomic<bool>* flag) {
  terminationFlag = flag;
  struct sigaction action = {};
  action.sa_handler = OnSignalSetFlag;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}
