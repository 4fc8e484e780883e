// One client connection of the test server, over any transport: the server
// runs it on a socket, the fuzz target on bytes in memory.
#pragma once

#include <cstddef>

#include "tests/support/tds_server/tds_sql.h"

namespace tds {

class transport {
 public:
  virtual ~transport() = default;
  // Up to `size` bytes; 0 when nothing came within timeout_ms (-1: wait), -1 at the end.
  virtual long read(char* buf, std::size_t size, int timeout_ms) = 0;
  // All the bytes; false when the peer is gone.
  virtual bool write(const char* p, std::size_t n) = 0;
};

// Serves one connection until the peer closes it or sends something malformed.
void serve_connection(server_context& ctx, transport& io);

}  // namespace tds
