// Hostile input at the socket: each case gets an answer or a closed
// connection, and the server goes on serving others.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/tds_server/tests/tds_server_env.h"

namespace {

std::string packet(uint8_t type, const std::string& body, uint8_t status = 1, int length = -1) {
  const int len = length >= 0 ? length : static_cast<int>(body.size() + 8);
  std::string p = {static_cast<char>(type), static_cast<char>(status), static_cast<char>(len >> 8),
                   static_cast<char>(len & 0xFF), 0, 0, 1, 0};
  return p + body;
}

// Sends the bytes, half-closes, and reads until the server closes (true) or 5 s pass (false).
bool closes_after(uint16_t port, const std::string& bytes) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) { ::close(fd); return false; }
  ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  ::shutdown(fd, SHUT_WR);
  char buf[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) { ::close(fd); return false; }
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) { ::close(fd); return true; }
  }
}

std::string u16(const std::string& ascii) {
  std::string s;
  for (char c : ascii) { s.push_back(c); s.push_back('\0'); }
  return s;
}

}  // namespace

TEST_F(tds_server_test, hostile_packets_close_their_connection_only) {
  const std::string prelogin = packet(0x12, std::string("\x00\x00\x06\x00\x01\xff\x0f\x00\x07\xd0\x00\x00", 12));
  std::string login7(94, '\0');
  login7[0] = 94;  // a LOGIN7 with no fields at all, wrong user
  const std::vector<std::string> cases = {
      "",
      std::string("\x12\x01\x00\x04", 4),                 // a header cut short
      packet(0x12, "", 1, 3),                              // a length below the header's
      packet(0x12, "abc", 1, 60000),                       // a length beyond any packet size
      packet(0x55, "junk"),                                // an unknown packet type
      packet(0x01, u16("SELECT 1")),                       // a batch before any login
      prelogin + packet(0x10, std::string(20, '\xff')),    // a LOGIN7 shorter than its fixed part
      prelogin + packet(0x10, std::string("\xff\xff\x00\x00", 4) + std::string(90, '\x41')),  // length beyond the packet
      prelogin + packet(0x10, login7),
      std::string(100000, '\x07'),
  };
  for (std::size_t k = 0; k < cases.size(); ++k) EXPECT_TRUE(closes_after(srv().port(), cases[k])) << "case " << k;
  // Still serving.
  auto c = connect();
  ASSERT_TRUE(c->ok());
  EXPECT_EQ(c->rows("SELECT 1").at(0).at(0), "1");
}

TEST_F(tds_server_test, deep_or_malformed_statements_get_errors) {
  auto c = fresh();
  const std::string deep = "SELECT " + std::string(5000, '(') + "1" + std::string(5000, ')');
  EXPECT_FALSE(c->exec(deep));
  EXPECT_TRUE(tds_test::has_message(191));
  tds_test::clear_messages();
  EXPECT_FALSE(c->exec("SELECT 'unclosed"));
  EXPECT_TRUE(tds_test::has_message(105));
  tds_test::clear_messages();
  EXPECT_FALSE(c->exec("CREATE TABLE z (a int IDENTITY(99999999999999999999999, 1))"));
  EXPECT_FALSE(tds_test::messages().empty());
  tds_test::clear_messages();
  EXPECT_FALSE(c->exec("CREATE TABLE [" + std::string(129, 'x') + "] (a int)"));
  EXPECT_TRUE(tds_test::has_message(103));
  EXPECT_TRUE(c->exec("CREATE TABLE [" + std::string(128, 'x') + "] (a int)"));
  std::string many = "INSERT INTO [" + std::string(128, 'x') + "] VALUES (0)";
  for (int k = 1; k <= 1000; ++k) many += ", (" + std::to_string(k) + ")";
  tds_test::clear_messages();
  EXPECT_FALSE(c->exec(many));
  EXPECT_TRUE(tds_test::has_message(10738));
  EXPECT_EQ(c->rows("SELECT 2").at(0).at(0), "2");
}
