#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cerrno>

#include "TerminationSignals.h"

namespace {

int wakeFds[2] = {-1, -1};
std::atomic<bool> requested{false};
std::atomic<std::atomic<bool>*> terminationFlag{nullptr};

// Only async-signal-safe work here: the event loop, or the self-test's loop, does the rest.
void OnSignal(int) {
  const int savedErrno = errno;
  requested = true;
  if (std::atomic<bool>* flag = terminationFlag.load()) flag->store(true);
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(wakeFds[1], &byte, 1);
  errno = savedErrno;
}

}  // namespace

void CatchTermination() {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0) {
    wakeFds[0] = wakeFds[1] = -1;  // the flag still works; writes to -1 fail harmlessly
  }
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

void CloseWindowsOnTermination(QObject* owner) {
  if (wakeFds[0] < 0) return;
  // A byte written before this call is still in the pipe: the notifier fires for it as soon
  // as the event loop runs.
  auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, owner);
  QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
    char drained[16];
    while (read(wakeFds[0], drained, sizeof drained) > 0) {
    }
    QApplication::closeAllWindows();
  });
}

void SetFlagOnTermination(std::atomic<bool>* flag) {
  terminationFlag = flag;
  if (requested) flag->store(true);
}
