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

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/relay_sockets.h"

class tds_relay {
 public:
  explicit tds_relay(unsigned server_port)
      : sockets_("127.0.0.1", server_port, [this](int n) { return std::make_unique<connection>(*this, n); }) {}

  // The port clients connect to; 0 when the relay could not listen.
  unsigned port() const { return sockets_.port(); }

  // The k-th SQL batch from now on (after: from the first batch that begins
  // with after on) that begins with prefix loses its answer; with
  // refuse_after, no connection is taken after that.
  void lose_batch_answer(const std::string& prefix, int k, bool refuse_after = false, const std::string& after = {}) {
    std::lock_guard lock(mutex_);
    arm_locked(kind::batch, prefix, k, refuse_after);
    after_ = after;
  }
  // The k-th bulk load message from now on loses its answer.
  void lose_bulk_answer(int k, bool refuse_after = false) {
    std::lock_guard lock(mutex_);
    arm_locked(kind::bulk, {}, k, refuse_after);
  }
  // The login of the n-th connection from now on loses its answer.
  void lose_login_answer(int n, bool refuse_after = false) {
    std::lock_guard lock(mutex_);
    arm_locked(kind::login, {}, 1, refuse_after);
    login_connection_ = sockets_.connections() + n;
  }
  // The fault has happened.
  bool faulted() const { return faulted_; }
  // The connections relayed so far, in order: whether each carried a bulk load.
  std::vector<bool> bulk_connections() const {
    std::lock_guard lock(mutex_);
    std::vector<bool> bulk = bulk_;
    bulk.resize(static_cast<size_t>(sockets_.connections()));
    return bulk;
  }

 private:
  enum class kind { none, batch, bulk, login };
  enum : unsigned char { sql_batch = 0x01, bulk_load = 0x07, login7 = 0x10, prelogin = 0x12 };
  using verdict = relay_connection::verdict;

  void arm_locked(kind what, const std::string& prefix, int k, bool refuse_after) {
    armed_ = what;
    prefix_ = prefix;
    countdown_ = k;
    refuse_after_ = refuse_after;
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
    if (type == bulk_load) {
      if (bulk_.size() < static_cast<size_t>(connection)) bulk_.resize(static_cast<size_t>(connection));
      bulk_[static_cast<size_t>(connection - 1)] = true;
    }
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
    if (refuse_after_) sockets_.refuse();
    return true;
  }

  // One connection: the client's bytes are read packet by packet to find its
  // requests.
  class connection : public relay_connection {
   public:
    connection(tds_relay& relay, int number) : relay_(relay), number_(number) {}

    verdict from_server(char*, size_t) override {
      if (!drop_on_answer_) return verdict::pass;
      relay_.faulted_ = true;
      return verdict::drop;
    }

    verdict from_client(char* bytes, size_t size, int) override {
      if (!parse_) return verdict::pass;
      packets_.append(bytes, size);
      while (packets_.size() >= 8) {
        const size_t length = static_cast<unsigned char>(packets_[2]) << 8 | static_cast<unsigned char>(packets_[3]);
        const auto type = static_cast<unsigned char>(packets_[0]);
        if (length < 8 || (type == prelogin && prelogin_done_)) {
          // Not a packet in clear (a TLS handshake, TLS records): not read.
          parse_ = false;
          packets_.clear();
          break;
        }
        if (packets_.size() < length) break;
        if (message_.empty()) message_type_ = type;
        message_.append(packets_, 8, length - 8);
        const bool end_of_message = packets_[1] & 0x01;
        packets_.erase(0, length);
        if (!end_of_message) continue;
        if (message_type_ == prelogin) prelogin_done_ = true;
        if (relay_.counts(message_type_, message_, number_)) drop_on_answer_ = true;
        message_.clear();
      }
      return verdict::pass;
    }

   private:
    tds_relay& relay_;
    const int number_;
    bool parse_ = true;
    bool prelogin_done_ = false;
    bool drop_on_answer_ = false;
    std::string packets_;  // client bytes not yet a whole packet
    std::string message_;  // the payload of the client's message so far
    unsigned char message_type_ = 0;
  };

  mutable std::mutex mutex_;
  std::vector<bool> bulk_;
  kind armed_ = kind::none;
  std::string prefix_;
  std::string after_;
  int countdown_ = 0;
  int login_connection_ = 0;
  bool refuse_after_ = false;
  std::atomic<bool> faulted_{false};
  relay_sockets sockets_;  // last: its threads end before the members they use
};
