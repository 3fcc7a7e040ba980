// The line's server reached with Windows sockets (TCP only: libpq on Windows has no Unix
// socket here).
#include "LineReach.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace line {
namespace {

using Cause = base::Failure::Cause;

Cause CauseOfConnectError(int error) {
  switch (error) {
    case WSAECONNREFUSED:
      return Cause::LineRefused;
    case WSAETIMEDOUT:
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
      return Cause::LineNoAnswer;
    case WSAEACCES:
      return Cause::NoPermission;
    default:
      return Cause::Other;
  }
}

// Connects `s` to `address`, waiting at most `wait`: 0, or the Winsock error that stopped it.
int ConnectWithin(SOCKET s, const sockaddr* address, int length, std::chrono::milliseconds wait) {
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  if (connect(s, address, length) == 0) return 0;
  if (WSAGetLastError() != WSAEWOULDBLOCK) return WSAGetLastError();
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  const long ms = static_cast<long>(wait.count());
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  const int ready = select(0, nullptr, &writable, &failed, &limit);
  if (ready == 0) return WSAETIMEDOUT;
  if (ready == SOCKET_ERROR) return WSAGetLastError();
  if (!FD_ISSET(s, &failed)) return 0;
  int error = 0;
  int size = sizeof error;
  getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
  return error ? error : WSAECONNREFUSED;
}

// With `tls`, asks the connected server for an encrypted connection: "no" is LineNoTls.
Cause TlsCause(SOCKET s, bool tls, std::chrono::milliseconds wait) {
  if (!tls) return Cause::LineLoginRefused;
  const int length = static_cast<int>(sizeof kTlsRequest);
  if (send(s, reinterpret_cast<const char*>(kTlsRequest), length, 0) != length) {
    return Cause::Other;
  }
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  const long ms = static_cast<long>(wait.count());
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  char answer = 0;
  if (select(0, &readable, nullptr, nullptr, &limit) != 1 || recv(s, &answer, 1, 0) != 1) {
    return Cause::Other;
  }
  return answer == 'N' ? Cause::LineNoTls : Cause::LineLoginRefused;
}

}  // namespace

Cause UnreachableCause(const std::string& host, int port, bool tls,
                       std::chrono::milliseconds wait) {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) return Cause::Other;
  if (port == 0) port = 5432;
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int looked = getaddrinfo(host.empty() ? "localhost" : host.c_str(),
                                 std::to_string(port).c_str(), &hints, &found);
  if (looked == WSAHOST_NOT_FOUND || looked == WSANO_DATA || looked == WSATRY_AGAIN) {
    return Cause::LineHostUnknown;
  }
  if (looked != 0) return Cause::Other;
  Cause cause = Cause::Other;
  for (addrinfo* a = found; a; a = a->ai_next) {
    const SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) continue;
    const int error = ConnectWithin(s, a->ai_addr, static_cast<int>(a->ai_addrlen), wait);
    if (error == 0) {
      cause = TlsCause(s, tls, wait);
      closesocket(s);
      break;
    }
    closesocket(s);
    cause = CauseOfConnectError(error);
  }
  freeaddrinfo(found);
  return cause;
}

}  // namespace line
