// Feeds arbitrary bytes to one connection of the TDS test server, as a client
// would send them: packets, PRELOGIN, TLS records inside PRELOGIN packets,
// LOGIN7, SQL batches, RPCs, bulk loads. The first byte sets how the bytes
// are cut into reads and how the server answers about encryption. The server must answer
// or close the connection; it must never crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/support/tds_server/tds_session.h"
#include "tests/support/tds_server/tds_sql.h"
#include "tests/support/tds_server/tds_tls.h"

namespace {

class memory_transport : public tds::transport {
 public:
  memory_transport(std::string_view in, std::size_t chunk) : in_(in), chunk_(chunk) {}
  long read(char* buf, std::size_t size, int) override {
    if (in_.empty()) return -1;
    const std::size_t n = std::min({size, chunk_, in_.size()});
    std::copy(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(n), buf);
    in_.remove_prefix(n);
    return static_cast<long>(n);
  }
  bool write(const char*, std::size_t n) override {
    written_ += n;
    return written_ < (64u << 20);
  }
 private:
  std::string_view in_;
  std::size_t chunk_;
  std::size_t written_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const std::size_t chunks[] = {1, 7, 512, 4096, 65536};
  const std::size_t chunk = chunks[data[0] % 5];
  static const tds::encryption_mode modes[] = {tds::encryption_mode::sql_server, tds::encryption_mode::not_supported,
                                               tds::encryption_mode::forced};
  tds::server_context ctx;
  ctx.encryption = modes[(data[0] / 5) % 3];
  ctx.version_text = "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64)";
  ctx.user = "sa";
  ctx.password = "orv-Test-1";
  {
    auto lock = ctx.cat.lock();
    ctx.cat.create("f");
  }
  memory_transport io(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), chunk);
  tds::serve_connection(ctx, io);
  return 0;
}
