// A TCP relay for tests between a TDS client (FreeTDS) and the TDS test
// server, on 127.0.0.1 with a port of its own. It passes the bytes of every
// connection both ways and reads the client's messages (8-byte packet
// headers, a message ending at the packet marked end-of-message) to make one
// fault of a real network once: a lost answer. Once the server has received
// the k-th request that matches and starts to answer it, both connections
// are dropped before the client reads a byte of the answer (the server has
// run the request). A request matches by
//  - the text a SQL batch begins with (its UTF-16 text past ALL_HEADERS,
//    compared as ASCII), counted from now or from the first batch that
//    begins with another text,
//  - being a bulk load's rows (the message after "insert bulk"),
//  - being the login of the n-th connection from now on.
// Afterwards it goes on relaying new connections, or refuses them (a server
// that can no longer be reached).
//
// Only sessions in clear are read: the test server is to answer PRELOGIN
// without encryption (encryption_mode::not_supported). A connection that
// starts TLS is relayed without being read.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class tds_relay {
 public:
  explicit tds_relay(unsigned server_port) : server_port_(server_port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ::close(listener_);
      listener_ = -1;
      return;
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { accept_loop(); });
  }
  ~tds_relay() {
    stop_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    std::list<std::thread> pumps;
    {
      std::lock_guard lock(mutex_);
      pumps.swap(pumps_);
    }
    for (std::thread& t : pumps) t.join();
    if (listener_ >= 0) ::close(listener_);
  }
  tds_relay(const tds_relay&) = delete;
  tds_relay& operator=(const tds_relay&) = delete;

  // The port clients connect to; 0 when the relay could not listen.
  unsigned port() const { return port_; }

  // The k-th SQL batch from now on (after: from the first batch that begins
  // with after on) that begins with prefix loses its answer; with
  // refuse_after, no connection is taken after that.
  void lose_batch_answer(const std::string& prefix, int k, bool refuse_after = false, const std::string& after = {}) {
    std::lock_guard lock(mutex_);
    arm_locked(kind::batch, prefix, k, refuse_after);
    after_ = after;
  }
  // The k-th bulk load message from now on loses its answer.
  void lose_bulk_answer(int k, bool refuse_after = false) { arm(kind::bulk, {}, k, refuse_after); }
  // The login of the n-th connection from now on loses its answer.
  void lose_login_answer(int n, bool refuse_after = false) {
    std::lock_guard lock(mutex_);
    arm_locked(kind::login, {}, 1, refuse_after);
    login_connection_ = connections_ + n;
  }
  // The fault has happened.
  bool faulted() const { return faulted_; }
  // The connections relayed so far, in order: whether each carried a bulk load.
  std::vector<bool> bulk_connections() const {
    std::lock_guard lock(mutex_);
    return bulk_;
  }

 private:
  enum class kind { none, batch, bulk, login };
  enum : unsigned char { sql_batch = 0x01, bulk_load = 0x07, login7 = 0x10, prelogin = 0x12 };

  void arm(kind what, const std::string& prefix, int k, bool refuse_after) {
    std::lock_guard lock(mutex_);
    arm_locked(what, prefix, k, refuse_after);
  }
  void arm_locked(kind what, const std::string& prefix, int k, bool refuse_after) {
    armed_ = what;
    prefix_ = prefix;
    countdown_ = k;
    refuse_after_ = refuse_after;
  }

  void accept_loop() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      if (refusing_) {
        ::close(client);
        continue;
      }
      const int server = connect_server();
      if (server < 0) {
        ::close(client);
        continue;
      }
      std::lock_guard lock(mutex_);
      const int number = ++connections_;
      bulk_.push_back(false);
      pumps_.emplace_back([this, client, server, number] { pump(client, server, number); });
    }
  }

  int connect_server() const {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(server_port_));
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return s;
    ::close(s);
    return -1;
  }

  static bool write_all(int fd, const char* data, size_t size) {
    while (size) {
      const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  // The text of a SQL batch message as ASCII (other characters '?'), past
  // its ALL_HEADERS.
  static std::string batch_text(const std::string& message) {
    size_t at = 0;
    if (message.size() >= 4) {
      const uint32_t headers = static_cast<unsigned char>(message[0]) | static_cast<unsigned char>(message[1]) << 8 |
                               static_cast<unsigned char>(message[2]) << 16 |
                               static_cast<uint32_t>(static_cast<unsigned char>(message[3])) << 24;
      if (headers >= 4 && headers <= message.size()) at = headers;
    }
    std::string text;
    for (; at + 1 < message.size(); at += 2) {
      const unsigned unit = static_cast<unsigned char>(message[at]) | static_cast<unsigned char>(message[at + 1]) << 8;
      text += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return text;
  }

  // Whether this message of the connection is the request whose answer is lost.
  bool counts(unsigned char type, const std::string& message, int connection) {
    std::lock_guard lock(mutex_);
    if (type == bulk_load) bulk_[static_cast<size_t>(connection - 1)] = true;
    bool match = false;
    switch (armed_) {
      case kind::batch:
        if (type != sql_batch) break;
        if (!after_.empty() && batch_text(message).rfind(after_, 0) == 0) after_.clear();
        else match = after_.empty() && batch_text(message).rfind(prefix_, 0) == 0;
        break;
      case kind::bulk: match = type == bulk_load; break;
      case kind::login: match = type == login7 && connection == login_connection_; break;
      case kind::none: break;
    }
    if (!match || countdown_ <= 0 || --countdown_ > 0) return false;
    armed_ = kind::none;
    if (refuse_after_) refusing_ = true;
    return true;
  }

  // One connection: the client's bytes are read packet by packet to find its
  // requests.
  void pump(int client, int server, int connection) {
    bool parse = true;
    bool prelogin_done = false;
    bool drop_on_answer = false;
    std::string packets;  // client bytes not yet a whole packet
    std::string message;  // the payload of the client's message so far
    unsigned char message_type = 0;
    char buffer[65536];
    while (!stop_) {
      pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (::poll(p, 2, 50) <= 0) continue;
      if (p[1].revents) {
        const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        if (drop_on_answer) {
          faulted_ = true;
          break;
        }
        if (!write_all(client, buffer, static_cast<size_t>(n))) break;
      }
      if (p[0].revents) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        bool armed = false;
        if (parse) packets.append(buffer, static_cast<size_t>(n));
        while (parse && packets.size() >= 8) {
          const size_t length = static_cast<unsigned char>(packets[2]) << 8 | static_cast<unsigned char>(packets[3]);
          const auto type = static_cast<unsigned char>(packets[0]);
          if (length < 8 || (type == prelogin && prelogin_done)) {
            // Not a packet in clear (a TLS handshake, TLS records): not read.
            parse = false;
            break;
          }
          if (packets.size() < length) break;
          if (message.empty()) message_type = type;
          message.append(packets, 8, length - 8);
          const bool end_of_message = packets[1] & 0x01;
          packets.erase(0, length);
          if (!end_of_message) continue;
          if (message_type == prelogin) prelogin_done = true;
          armed = counts(message_type, message, connection) || armed;
          message.clear();
        }
        if (!parse) packets.clear();
        if (!write_all(server, buffer, static_cast<size_t>(n))) break;
        if (armed) drop_on_answer = true;
      }
    }
    ::shutdown(client, SHUT_RDWR);
    ::shutdown(server, SHUT_RDWR);
    ::close(client);
    ::close(server);
  }

  unsigned server_port_;
  unsigned port_ = 0;
  int listener_ = -1;
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::list<std::thread> pumps_;
  int connections_ = 0;
  std::vector<bool> bulk_;
  kind armed_ = kind::none;
  std::string prefix_;
  std::string after_;
  int countdown_ = 0;
  int login_connection_ = 0;
  bool refuse_after_ = false;
  std::atomic<bool> refusing_{false};
  std::atomic<bool> faulted_{false};
  std::atomic<bool> stop_{false};
};
