// The line's connection cut with POSIX sockets; libpq found among the loaded libraries.
#include "LineSocket.h"

#include <dlfcn.h>
#include <sys/socket.h>

namespace line {

std::intptr_t SocketOf(void* connection) {
  // Only a libpq already loaded (by Qt's driver) is asked; none is loaded here.
  void* libpq = dlopen("libpq.so.5", RTLD_NOW | RTLD_NOLOAD);
  if (!libpq || !connection) return -1;
  using PQsocket = int (*)(const void*);
  const auto socketOf = reinterpret_cast<PQsocket>(dlsym(libpq, "PQsocket"));
  const std::intptr_t socket = socketOf ? socketOf(connection) : -1;
  dlclose(libpq);  // the driver's own reference keeps it loaded
  return socket;
}

void ShutDown(std::intptr_t socket) {
  if (socket >= 0) shutdown(static_cast<int>(socket), SHUT_RDWR);
}

}  // namespace line
