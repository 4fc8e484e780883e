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

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "tests/support/relay_sockets.h"

class tcp_relay {
public:
  tcp_relay(const std::string& host, unsigned port)
      : m_sockets(host, port, [this](int) { return std::make_unique<connection>(*this); }) {}

  // The port clients connect to; 0 when the relay could not listen.
  unsigned port() const { return m_sockets.port(); }

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
  using verdict = relay_connection::verdict;

  void arm(const std::string& prefix, int k, bool refuse_after, bool cut) {
    std::lock_guard lock(m_mutex);
    m_prefix = prefix;
    m_countdown = k;
    m_refuse_after = refuse_after;
    m_cut = cut;
  }

  // The fault this statement meets.
  fault counts(const char* statement, size_t length) {
    std::lock_guard lock(m_mutex);
    if (m_countdown <= 0 || length < m_prefix.size() || m_prefix.compare(0, m_prefix.size(), statement, m_prefix.size()) != 0)
      return fault::none;
    if (--m_countdown > 0) return fault::none;
    if (m_refuse_after) m_sockets.refuse();
    return m_cut ? fault::cut : fault::lose_answer;
  }

  // One connection: client -> server bytes are read packet by packet (a 3-byte
  // length, a sequence number, the payload) to find the statements, until the
  // client starts TLS.
  class connection : public relay_connection {
  public:
    explicit connection(tcp_relay& relay) : relay_(relay), break_tls_(relay.m_break_tls.exchange(false)) {}

    verdict from_server(char* bytes, size_t size) override {
      if (drop_on_answer_) return drop();
      // The greeting's lower capability bytes follow the protocol byte, the
      // version text, the thread id and 9 bytes of scramble and filler.
      if (greeting_ && break_tls_ && size > 5) {
        const void* version_end = std::memchr(bytes + 5, 0, size - 5);
        const size_t at = version_end ? static_cast<size_t>(static_cast<const char*>(version_end) - bytes) + 14 : 0;
        if (at && at + 2 <= size) bytes[at + 1] |= 0x08;  // CLIENT_SSL (0x0800)
      }
      greeting_ = false;
      return verdict::pass;
    }

    verdict from_client(char* bytes, size_t size, int server) override {
      if (!parse_) return verdict::pass;
      const size_t forwarded = packets_.size();  // bytes of packets that earlier reads forwarded
      packets_.append(bytes, size);
      size_t start = 0;  // of the packet in hand, in the bytes held before this read
      while (parse_ && packets_.size() >= 4) {
        const size_t length = static_cast<unsigned char>(packets_[0]) |
                              static_cast<unsigned char>(packets_[1]) << 8 |
                              static_cast<unsigned char>(packets_[2]) << 16;
        if (packets_.size() < 4 + length) break;
        const unsigned char sequence = static_cast<unsigned char>(packets_[3]);
        if (sequence == 1 && length == 32) {
          // The client's request for TLS: its handshake starts next.
          if (break_tls_) return drop();
          parse_ = false;
        } else if (sequence == 0 && length > 0 && packets_[4] == 0x03) {
          const fault f = relay_.counts(packets_.data() + 5, length - 1);
          if (f == fault::cut) {
            const size_t half = start + 4 + length / 2;
            if (half > forwarded) relay_sockets::write_all(server, bytes, std::min(half - forwarded, size));
            return drop();
          }
          if (f == fault::lose_answer) drop_on_answer_ = true;
        }
        packets_.erase(0, 4 + length);
        start += 4 + length;
      }
      if (!parse_) packets_.clear();
      return verdict::pass;
    }

  private:
    verdict drop() {
      relay_.m_faulted = true;
      return verdict::drop;
    }

    tcp_relay& relay_;
    const bool break_tls_;
    bool greeting_ = true;  // the server's first packet is still to come
    bool parse_ = true;
    bool drop_on_answer_ = false;
    std::string packets_;  // client bytes not yet a whole packet
  };

  std::mutex m_mutex;
  std::string m_prefix;
  int m_countdown = 0;
  bool m_refuse_after = false;
  bool m_cut = false;
  std::atomic<bool> m_break_tls{false};
  std::atomic<bool> m_faulted{false};
  relay_sockets m_sockets;  // last: its threads end before the members they use
};
