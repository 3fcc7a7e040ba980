// The line's server reached with POSIX sockets: a Unix socket's folder or a TCP address.
#include "LineReach.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace line {
namespace {

using Cause = base::Failure::Cause;

Cause CauseOfConnectError(int error) {
  switch (error) {
    case ENOENT:
    case ECONNREFUSED:
      return Cause::LineRefused;  // no server at that socket or port
    case ETIMEDOUT:
      return Cause::LineNoAnswer;
    case EACCES:
    case EPERM:
      return Cause::NoPermission;
    case ENETUNREACH:
    case EHOSTUNREACH:
      return Cause::LineNoAnswer;
    default:
      return Cause::Other;
  }
}

// Connects `fd` to `address`, waiting at most `wait`: 0, or the errno that stopped it.
int ConnectWithin(int fd, const sockaddr* address, socklen_t length,
                  std::chrono::milliseconds wait) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  if (connect(fd, address, length) == 0) return 0;
  if (errno != EINPROGRESS) return errno;
  pollfd p{fd, POLLOUT, 0};
  const int ready = poll(&p, 1, static_cast<int>(wait.count()));
  if (ready == 0) return ETIMEDOUT;
  if (ready < 0) return errno;
  int error = 0;
  socklen_t size = sizeof error;
  getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
  return error;
}

// With `tls`, asks the connected server for an encrypted connection: "no" is LineNoTls.
Cause TlsCause(int fd, bool tls, std::chrono::milliseconds wait) {
  if (!tls) return Cause::LineLoginRefused;
  if (send(fd, kTlsRequest, sizeof kTlsRequest, MSG_NOSIGNAL) != sizeof kTlsRequest) {
    return Cause::Other;
  }
  pollfd p{fd, POLLIN, 0};
  char answer = 0;
  if (poll(&p, 1, static_cast<int>(wait.count())) != 1 || recv(fd, &answer, 1, 0) != 1) {
    return Cause::Other;
  }
  return answer == 'N' ? Cause::LineNoTls : Cause::LineLoginRefused;
}

Cause UnixSocketCause(const std::string& folder, int port, std::chrono::milliseconds wait) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = folder + "/.s.PGSQL." + std::to_string(port);
  if (path.size() >= sizeof address.sun_path) return Cause::Other;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Cause::Other;
  const int error =
      ConnectWithin(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address, wait);
  close(fd);
  return error == 0 ? Cause::LineLoginRefused : CauseOfConnectError(error);
}

}  // namespace

Cause UnreachableCause(const std::string& host, int port, bool tls,
                       std::chrono::milliseconds wait) {
  if (port == 0) port = 5432;
  // libpq's default on Debian is the server's socket folder; a host starting with '/' is one.
  if (host.empty()) return UnixSocketCause("/var/run/postgresql", port, wait);
  if (host[0] == '/') return UnixSocketCause(host, port, wait);
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int looked = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (looked == EAI_NONAME || looked == EAI_FAIL || looked == EAI_AGAIN) {
    return Cause::LineHostUnknown;
  }
  if (looked != 0) return Cause::Other;
  Cause cause = Cause::Other;
  for (addrinfo* a = found; a; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    const int error = ConnectWithin(fd, a->ai_addr, a->ai_addrlen, wait);
    if (error == 0) {
      cause = TlsCause(fd, tls, wait);
      close(fd);
      break;
    }
    close(fd);
    cause = CauseOfConnectError(error);
  }
  freeaddrinfo(found);
  return cause;
}

}  // namespace line
