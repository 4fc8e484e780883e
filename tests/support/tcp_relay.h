// A TCP relay for tests between a MySQL client and its server, on 127.0.0.1 with
// a port of its own. It passes the bytes of every connection both ways, and on
// request it makes one of three faults of a real network once:
//  - a lost answer: once the server has received the k-th complete statement
//    that begins with a given text and starts to answer it, both connections
//    are dropped before the client reads a byte of the answer (the server has
//    run the statement); afterwards it goes on relaying new connections, or
//    refuses them;
//  - a cut: the first half of such a statement's packet reaches the server, then
//    both connections are dropped (the server never runs it);
//  - a TLS handshake that fails: the server's greeting of the next connection
//    offers TLS, and both connections are dropped when the client starts it
//    (a server whose TLS the client cannot complete).
#pragma once

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <thread>

class tcp_relay {
public:
  tcp_relay(const std::string& host, unsigned port) : m_host(host), m_port(port) {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ::close(m_listener);
      m_listener = -1;
      return;
    }
    m_own_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { accept_loop(); });
  }
  ~tcp_relay() {
    m_stop = true;
    if (m_acceptor.joinable()) m_acceptor.join();
    std::list<std::thread> pumps;
    {
      std::lock_guard lock(m_mutex);
      pumps.swap(m_pumps);
    }
    for (std::thread& t : pumps) t.join();
    if (m_listener >= 0) ::close(m_listener);
  }
  tcp_relay(const tcp_relay&) = delete;
  tcp_relay& operator=(const tcp_relay&) = delete;

  // The port clients connect to; 0 when the relay could not listen.
  unsigned port() const { return m_own_port; }

  // The k-th statement (COM_QUERY) from now on that begins with prefix loses its
  // answer; with refuse_after, no connection is taken after that.
  void lose_answer(const std::string& prefix, int k, bool refuse_after = false) { arm(prefix, k, refuse_after, false); }
  // The k-th statement from now on that begins with prefix is cut halfway.
  void cut(const std::string& prefix, int k) { arm(prefix, k, false, true); }
  // The next connection's TLS handshake fails.
  void break_next_tls() { m_break_tls = true; }
  // The fault has happened.
  bool faulted() const { return m_faulted; }

private:
  enum class fault { none, lose_answer, cut };

  void arm(const std::string& prefix, int k, bool refuse_after, bool cut) {
    std::lock_guard lock(m_mutex);
    m_prefix = prefix;
    m_countdown = k;
    m_refuse_after = refuse_after;
    m_cut = cut;
  }

  void accept_loop() {
    while (!m_stop) {
      pollfd p{m_listener, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const int client = ::accept(m_listener, nullptr, nullptr);
      if (client < 0) continue;
      if (m_refusing) {
        ::close(client);
        continue;
      }
      const int server = connect_server();
      if (server < 0) {
        ::close(client);
        continue;
      }
      std::lock_guard lock(m_mutex);
      m_pumps.emplace_back([this, client, server] { pump(client, server); });
    }
  }

  int connect_server() const {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(m_host.c_str(), std::to_string(m_port).c_str(), &hints, &found) != 0) return -1;
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const bool ok = ::connect(s, found->ai_addr, found->ai_addrlen) == 0;
    ::freeaddrinfo(found);
    if (!ok) ::close(s);
    return ok ? s : -1;
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

  // One connection: client -> server bytes are read packet by packet (a 3-byte
  // length, a sequence number, the payload) to find the statements, until the
  // client starts TLS.
  void pump(int client, int server) {
    const bool break_tls = m_break_tls.exchange(false);
    bool greeting = true;  // the server's first packet is still to come
    bool parse = true;
    bool drop_on_answer = false;
    bool dropped = false;
    std::string packets;  // client bytes not yet a whole packet
    char buffer[65536];
    auto drop = [&] {
      m_faulted = true;
      dropped = true;
      ::shutdown(client, SHUT_RDWR);
      ::shutdown(server, SHUT_RDWR);
    };
    while (!m_stop && !dropped) {
      pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (::poll(p, 2, 50) <= 0) continue;
      if (p[1].revents) {
        const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        if (drop_on_answer) {
          drop();
          break;
        }
        // The greeting's lower capability bytes follow the protocol byte, the
        // version text, the thread id and 9 bytes of scramble and filler.
        if (greeting && break_tls && n > 5) {
          const void* version_end = std::memchr(buffer + 5, 0, static_cast<size_t>(n) - 5);
          const size_t at = version_end ? static_cast<size_t>(static_cast<const char*>(version_end) - buffer) + 14 : 0;
          if (at && at + 2 <= static_cast<size_t>(n)) buffer[at + 1] |= 0x08;  // CLIENT_SSL (0x0800)
        }
        greeting = false;
        if (!write_all(client, buffer, static_cast<size_t>(n))) break;
      }
      if (p[0].revents) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        bool armed = false;
        size_t forwarded = 0;  // bytes of packets that earlier reads forwarded
        if (parse) {
          forwarded = packets.size();
          packets.append(buffer, static_cast<size_t>(n));
        }
        size_t start = 0;  // of the packet in hand, in the bytes held before this loop
        while (parse && packets.size() >= 4) {
          const size_t length = static_cast<unsigned char>(packets[0]) |
                                static_cast<unsigned char>(packets[1]) << 8 |
                                static_cast<unsigned char>(packets[2]) << 16;
          if (packets.size() < 4 + length) break;
          const unsigned char sequence = static_cast<unsigned char>(packets[3]);
          if (sequence == 1 && length == 32) {
            // The client's request for TLS: its handshake starts next.
            if (break_tls) drop();
            parse = false;
          } else if (sequence == 0 && length > 0 && packets[4] == 0x03) {
            const fault f = counts(packets.data() + 5, length - 1);
            if (f == fault::cut) {
              const size_t half = start + 4 + length / 2;
              if (half > forwarded) write_all(server, buffer, std::min(half - forwarded, static_cast<size_t>(n)));
              drop();
              break;
            }
            armed = f == fault::lose_answer || armed;
          }
          packets.erase(0, 4 + length);
          start += 4 + length;
        }
        if (dropped) break;
        if (!parse) packets.clear();
        if (!write_all(server, buffer, static_cast<size_t>(n))) break;
        if (armed) drop_on_answer = true;
      }
    }
    ::close(client);
    ::close(server);
  }

  // The fault this statement meets.
  fault counts(const char* statement, size_t length) {
    std::lock_guard lock(m_mutex);
    if (m_countdown <= 0 || length < m_prefix.size() || m_prefix.compare(0, m_prefix.size(), statement, m_prefix.size()) != 0)
      return fault::none;
    if (--m_countdown > 0) return fault::none;
    if (m_refuse_after) m_refusing = true;
    return m_cut ? fault::cut : fault::lose_answer;
  }

  std::string m_host;
  unsigned m_port;
  unsigned m_own_port = 0;
  int m_listener = -1;
  std::thread m_acceptor;
  std::mutex m_mutex;
  std::list<std::thread> m_pumps;
  std::string m_prefix;
  int m_countdown = 0;
  bool m_refuse_after = false;
  bool m_cut = false;
  std::atomic<bool> m_refusing{false};
  std::atomic<bool> m_break_tls{false};
  std::atomic<bool> m_faulted{false};
  std::atomic<bool> m_stop{false};
};
