// A stand-in for a slow or failing disk under the real program, loaded with LD_PRELOAD:
// fsync waits KZB_FSYNC_DELAY_MS milliseconds, and the first KZB_FSYNC_FAILURES calls fail
// with EIO. Everything else goes to the system as usual.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <time.h>

static atomic_int failuresLeft;
static atomic_flag counted = ATOMIC_FLAG_INIT;

int fsync(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  const char* delay = getenv("KZB_FSYNC_DELAY_MS");
  if (delay) {
    const long ms = atol(delay);
    struct timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&wait, NULL);
  }
  if (!atomic_flag_test_and_set(&counted)) {
    const char* failures = getenv("KZB_FSYNC_FAILURES");
    atomic_store(&failuresLeft, failures ? atoi(failures) : 0);
  }
  if (atomic_fetch_sub(&failuresLeft, 1) > 0) {
    errno = EIO;
    return -1;
  }
  return real(fd);
}
