// The line's connection cut with Windows sockets; libpq.dll found among the loaded modules.
#include "LineSocket.h"

#include <winsock2.h>

namespace line {

std::intptr_t SocketOf(void* connection) {
  // Only a libpq already loaded (by Qt's driver) is asked; none is loaded here.
  const HMODULE libpq = GetModuleHandleW(L"libpq.dll");
  if (!libpq || !connection) return -1;
  using PQsocket = int (*)(const void*);
  const auto socketOf =
      reinterpret_cast<PQsocket>(reinterpret_cast<void*>(GetProcAddress(libpq, "PQsocket")));
  return socketOf ? socketOf(connection) : -1;
}

void ShutDown(std::intptr_t socket) {
  if (socket >= 0) shutdown(static_cast<SOCKET>(socket), SD_BOTH);
}

}  // namespace line
