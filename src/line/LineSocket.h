// A connection to the line's server cut from another thread: its socket shut down, so that
// a call of libpq's waiting on a server that does not answer returns at once with the
// connection broken. The socket is found through libpq's own PQsocket, in the libpq that Qt's
// PostgreSQL driver loaded. One file per platform.
#pragma once

#include <cstdint>

namespace line {

// The socket of a libpq connection (a PGconn*); -1 when libpq or its socket cannot be found.
std::intptr_t SocketOf(void* connection);

// Shuts the socket down for reading and writing; its connection's owner still closes it.
void ShutDown(std::intptr_t socket);

}  // namespace line
