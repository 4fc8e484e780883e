// Encryption as SQL Server negotiates it: FreeTDS's tsql and freebcp with each
// of its encryption settings against each answer of the server, and damaged
// TLS records inside PRELOGIN packets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "tests/support/tds_server/tests/tds_server_env.h"
#include "tests/support/test_dir.h"

namespace {

std::string packet(uint8_t type, const std::string& body) {
  const std::size_t len = body.size() + 8;
  std::string p = {static_cast<char>(type), 1, static_cast<char>(len >> 8), static_cast<char>(len & 0xFF), 0, 0, 1, 0};
  return p + body;
}

// A client's PRELOGIN: VERSION and ENCRYPTION.
std::string prelogin(uint8_t encryption) {
  std::string b("\x00\x00\x0B\x00\x06\x01\x00\x11\x00\x01\xFF", 11);
  b += std::string("\x0F\x00\x07\xD0\x00\x00", 6);
  b.push_back(static_cast<char>(encryption));
  return packet(0x12, b);
}

// Connects, sends `first`, reads the PRELOGIN answer, sends `then` (the write
// side stays open), and waits for the server to close. Returns the answer's
// ENCRYPTION value (-1 when none came) and whether the server closed within 5 s.
std::pair<int, bool> exchange(uint16_t port, const std::string& first, const std::string& then) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) { ::close(fd); return {-1, false}; }
  ::send(fd, first.data(), first.size(), MSG_NOSIGNAL);
  std::string in;
  char buf[4096];
  int encryption = -1;
  bool closed = false;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) break;
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) { closed = true; break; }
    in.append(buf, static_cast<std::size_t>(n));
    if (encryption < 0 && in.size() >= 8 && in.size() >= static_cast<std::size_t>((uint8_t(in[2]) << 8) | uint8_t(in[3]))) {
      // The option table: token, offset, length; ENCRYPTION is token 1.
      for (std::size_t i = 8; i + 5 <= in.size() && in[i] != '\xFF'; i += 5) {
        const std::size_t off = 8 + ((uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]));
        if (in[i] == 1 && off < in.size()) encryption = uint8_t(in[off]);
      }
      ::send(fd, then.data(), then.size(), MSG_NOSIGNAL);
    }
  }
  ::close(fd);
  return {encryption, closed};
}

}  // namespace

TEST_F(tds_server_test, tsql_and_freebcp_log_in_over_each_encryption_answer) {
  fresh()->exec("CREATE TABLE b (i int, s nvarchar(20))");
  test_dir dir;
  std::ofstream(dir / "in.tsv", std::ios::binary) << "1\tcaf\xC3\xA9\n";
  struct row {
    tds::encryption_mode server;
    const char* client;  // FreeTDS's "encryption" setting
    bool logs_in;
  };
  const row rows[] = {
      {tds::encryption_mode::sql_server, "request", true},     // the login in TLS, then clear
      {tds::encryption_mode::sql_server, "require", true},     // all in TLS
      {tds::encryption_mode::sql_server, "off", true},         // all in clear
      {tds::encryption_mode::not_supported, "request", true},
      {tds::encryption_mode::not_supported, "require", false}, // the client refuses
      {tds::encryption_mode::not_supported, "off", true},
      {tds::encryption_mode::forced, "request", true},         // all in TLS
      {tds::encryption_mode::forced, "require", true},
      {tds::encryption_mode::forced, "off", false},            // the server refuses
  };
  int loaded = 0;
  for (const row& r : rows) {
    SCOPED_TRACE(std::to_string(static_cast<int>(r.server)) + " " + r.client);
    srv().set_encryption(r.server);
    const std::string conf = (dir / (std::string(r.client) + ".conf")).string();
    std::ofstream(conf) << "[global]\n\tencryption = " << r.client << "\n[t]\n\thost = 127.0.0.1\n\tport = "
                        << srv().port() << "\n\ttds version = 7.4\n";
    const std::string env = "FREETDSCONF=" + conf + " ";
    const std::string tsql = tds_test::command_output("printf 'SELECT 42\\ngo\\nexit\\n' | " + env + "tsql -S t -U sa -P orv-Test-1");
    const std::string bcp = tds_test::command_output(env + "freebcp t.dbo.b in " + (dir / "in.tsv").string() + " -c -S t -U sa -P orv-Test-1");
    if (r.logs_in) {
      EXPECT_NE(tsql.find("42"), std::string::npos) << tsql;
      EXPECT_NE(bcp.find("1 rows copied"), std::string::npos) << bcp;
      ++loaded;
    } else {
      EXPECT_NE(tsql.find("20002"), std::string::npos) << tsql;
      EXPECT_EQ(bcp.find("rows copied"), std::string::npos) << bcp;
    }
  }
  const auto stored = srv().rows("t", "b");
  ASSERT_EQ(stored.size(), static_cast<std::size_t>(loaded));
  EXPECT_EQ(tds::cell_utf8(srv().columns("t", "b")[1].type, stored.back()[1]), "caf\xC3\xA9");
}

TEST_F(tds_server_test, damaged_tls_records_and_a_client_refusing_encryption_close_their_connection_only) {
  struct row {
    tds::encryption_mode server;
    uint8_t client;
    std::string then;
    int answer;
  };
  const std::string hello_start("\x16\x03\x01", 3);
  const row rows[] = {
      // A record longer than TLS allows, data before any handshake, an empty ClientHello.
      {tds::encryption_mode::sql_server, 0, packet(0x12, hello_start + std::string("\x48\x01", 2) + "abc"), 0},
      {tds::encryption_mode::sql_server, 0, packet(0x12, std::string("\x17\x03\x03\x00\x05hello", 10)), 0},
      {tds::encryption_mode::sql_server, 1, packet(0x12, hello_start + std::string("\x00\x04\x01\x00\x00\x00", 6)), 1},
      // The login in clear where the handshake should be.
      {tds::encryption_mode::sql_server, 0, packet(0x10, std::string(100, '\0')), 0},
      // Forced encryption and a client that cannot encrypt: ENCRYPT_REQ, then the end.
      {tds::encryption_mode::forced, 2, "", 3},
  };
  for (std::size_t k = 0; k < std::size(rows); ++k) {
    SCOPED_TRACE(k);
    srv().set_encryption(rows[k].server);
    const auto [answer, closed] = exchange(srv().port(), prelogin(rows[k].client), rows[k].then);
    EXPECT_EQ(answer, rows[k].answer);
    EXPECT_TRUE(closed);
  }
  srv().set_encryption(tds::encryption_mode::sql_server);
  auto c = connect();
  ASSERT_TRUE(c->ok());
  EXPECT_EQ(c->rows("SELECT 1").at(0).at(0), "1");
}
