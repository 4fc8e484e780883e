// The sockets of a TCP relay for tests: a listener on 127.0.0.1 with a port of
// its own, and for every connection it takes a connection to the server, whose
// bytes a thread passes both ways. What a relay makes of the bytes (reading a
// protocol's messages to make a fault of a real network) is the business of a
// relay_connection, one for each connection.
#pragma once

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class relay_connection {
public:
  virtual ~relay_connection() = default;
  // Whether the bytes go on to the other side, or both connections are dropped.
  enum class verdict { pass, drop };
  // Bytes from the client, before they go to the server; a handler may send a
  // part of them to server itself and drop the rest.
  virtual verdict from_client(char* bytes, size_t size, int server) = 0;
  // Bytes from the server, before they go to the client; they may be changed.
  virtual verdict from_server(char* bytes, size_t size) = 0;
};

class relay_sockets {
public:
  // Makes the relay_connection of the n-th connection (1 for the first).
  using connection_maker = std::function<std::unique_ptr<relay_connection>(int n)>;

  relay_sockets(const std::string& host, unsigned port, connection_maker maker)
      : host_(host), port_(port), maker_(std::move(maker)) {
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
    own_port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { accept_loop(); });
  }
  // Stops: every connection is closed and its thread joined.
  ~relay_sockets() {
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
  relay_sockets(const relay_sockets&) = delete;
  relay_sockets& operator=(const relay_sockets&) = delete;

  // The port clients connect to; 0 when the relay could not listen.
  unsigned port() const { return own_port_; }
  // The connections taken so far.
  int connections() const { return connections_; }
  // No connection is taken from now on (a server that can no longer be reached).
  void refuse() { refusing_ = true; }

  static bool write_all(int fd, const char* data, size_t size) {
    while (size) {
      const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

private:
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
      std::shared_ptr<relay_connection> connection = maker_(++connections_);
      std::lock_guard lock(mutex_);
      pumps_.emplace_back([this, client, server, connection] { pump(client, server, *connection); });
    }
  }

  int connect_server() const {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host_.c_str(), std::to_string(port_).c_str(), &hints, &found) != 0) return -1;
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const bool ok = ::connect(s, found->ai_addr, found->ai_addrlen) == 0;
    ::freeaddrinfo(found);
    if (!ok) ::close(s);
    return ok ? s : -1;
  }

  void pump(int client, int server, relay_connection& connection) {
    char buffer[65536];
    while (!stop_) {
      pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (::poll(p, 2, 50) <= 0) continue;
      if (p[1].revents) {
        const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
        if (n <= 0 || connection.from_server(buffer, static_cast<size_t>(n)) == relay_connection::verdict::drop ||
            !write_all(client, buffer, static_cast<size_t>(n)))
          break;
      }
      if (p[0].revents) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0 ||
            connection.from_client(buffer, static_cast<size_t>(n), server) == relay_connection::verdict::drop ||
            !write_all(server, buffer, static_cast<size_t>(n)))
          break;
      }
    }
    ::shutdown(client, SHUT_RDWR);
    ::shutdown(server, SHUT_RDWR);
    ::close(client);
    ::close(server);
  }

  std::string host_;
  unsigned port_;
  connection_maker maker_;
  unsigned own_port_ = 0;
  int listener_ = -1;
  std::thread acceptor_;
  std::mutex mutex_;
  std::list<std::thread> pumps_;
  std::atomic<int> connections_{0};
  std::atomic<bool> refusing_{false};
  std::atomic<bool> stop_{false};
};
