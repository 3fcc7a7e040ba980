// Why the line's server could not be reached, as the network says it, not as libpq words it:
// the name that does not resolve, the address where nothing listens, the server that does
// not answer in time. One file per platform.
#pragma once

#include <chrono>
#include <string>

#include "Failure.h"

namespace line {

// The kind of failure of a connection to `host` (a name, an address, or a folder holding
// PostgreSQL's Unix socket; empty: the platform's default) at `port`, waiting at most
// `wait` for each step; with `tls`, a server that answers PostgreSQL's request for an
// encrypted connection with "no" is LineNoTls. A server that answers as asked refused the
// login itself (its role, password or database): LineLoginRefused. Cause::Other when the
// system gave no kind.
base::Failure::Cause UnreachableCause(const std::string& host, int port, bool tls,
                                      std::chrono::milliseconds wait);

// PostgreSQL's request for an encrypted connection: its length, then the code 80877103, each
// four bytes, most significant first. The server answers one byte: 'S' yes, 'N' no.
inline constexpr unsigned char kTlsRequest[8] = {0, 0, 0, 8, 0x04, 0xd2, 0x16, 0x2f};

}  // namespace line
