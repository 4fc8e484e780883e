// Byte-level reading and writing of TDS messages: little-endian integers,
// UTF-16 strings with length prefixes, and the packet header. Every read checks
// the bytes left and throws tds_protocol_error past the end, so hostile input
// can only end in a closed connection.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tds {

// Malformed input from a client: the connection is closed.
struct tds_protocol_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Input that stops before its end: more bytes may complete it.
struct tds_truncated : tds_protocol_error {
  tds_truncated() : tds_protocol_error("message ends too early") {}
};

// Packet types of the protocol.
enum packet_type : uint8_t {
  pkt_sql_batch = 0x01,
  pkt_rpc = 0x03,
  pkt_reply = 0x04,
  pkt_attention = 0x06,
  pkt_bulk = 0x07,
  pkt_transaction = 0x0E,
  pkt_login7 = 0x10,
  pkt_sspi = 0x11,
  pkt_prelogin = 0x12,
};

constexpr std::size_t packet_header_size = 8;
constexpr uint8_t status_eom = 0x01;

// A bounds-checked cursor over received bytes.
class reader {
 public:
  reader() = default;
  explicit reader(std::string_view bytes) : p_(bytes.data()), end_(bytes.data() + bytes.size()) {}

  std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }
  bool at_end() const { return p_ == end_; }
  const char* pos() const { return p_; }

  void need(std::size_t n) const {
    if (left() < n) throw tds_truncated();
  }
  std::string_view bytes(std::size_t n) {
    need(n);
    std::string_view v(p_, n);
    p_ += n;
    return v;
  }
  void skip(std::size_t n) { bytes(n); }
  uint8_t u8() { need(1); return static_cast<uint8_t>(*p_++); }
  uint16_t u16() { return static_cast<uint16_t>(le(2)); }
  uint32_t u32() { return static_cast<uint32_t>(le(4)); }
  uint64_t u64() { return le(8); }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  uint16_t u16_be() {
    need(2);
    uint16_t v = static_cast<uint16_t>((static_cast<uint8_t>(p_[0]) << 8) | static_cast<uint8_t>(p_[1]));
    p_ += 2;
    return v;
  }
  // UTF-16LE text of `units` code units, returned as its raw bytes.
  std::string utf16(std::size_t units) {
    if (units > left() / 2) throw tds_truncated();
    return std::string(bytes(units * 2));
  }
  std::string b_varchar() { return utf16(u8()); }   // 1-byte unit count
  std::string us_varchar() { return utf16(u16()); } // 2-byte unit count

 private:
  uint64_t le(int n) {
    need(static_cast<std::size_t>(n));
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(p_[i]);
    p_ += n;
    return v;
  }
  const char* p_ = nullptr;
  const char* end_ = nullptr;
};

// Appends little-endian values to a byte string.
class writer {
 public:
  std::string& out() { return b_; }
  std::size_t size() const { return b_.size(); }
  void u8(uint8_t v) { b_.push_back(static_cast<char>(v)); }
  void u16(uint16_t v) { le(v, 2); }
  void u32(uint32_t v) { le(v, 4); }
  void u64(uint64_t v) { le(v, 8); }
  void i32(int32_t v) { le(static_cast<uint32_t>(v), 4); }
  void bytes(std::string_view v) { b_.append(v.data(), v.size()); }
  // Raw UTF-16LE bytes with a 1-byte or 2-byte unit count.
  void b_varchar(std::string_view u16) { u8(static_cast<uint8_t>(u16.size() / 2)); bytes(u16); }
  void us_varchar(std::string_view u16) { u16_count(u16); bytes(u16); }
  void put16_at(std::size_t at, uint16_t v) {
    b_[at] = static_cast<char>(v & 0xFF);
    b_[at + 1] = static_cast<char>(v >> 8);
  }

 private:
  void u16_count(std::string_view s) { u16(static_cast<uint16_t>(s.size() / 2)); }
  void le(uint64_t v, int n) {
    char buf[8];
    for (int i = 0; i < n; ++i) buf[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    b_.append(buf, static_cast<std::size_t>(n));
  }
  std::string b_;
};

// UTF-8 <-> UTF-16LE (as bytes). Invalid UTF-8 becomes U+FFFD; lone surrogates
// in UTF-16 are kept as three-byte sequences so nothing is dropped silently.
std::string utf8_to_utf16(std::string_view utf8);
std::string utf16_to_utf8(std::string_view utf16);
// Windows-1252 bytes <-> UTF-8 (the code page of the server's collation).
std::string cp1252_to_utf8(std::string_view bytes);
// Returns false when a character has no place in the code page.
bool utf8_to_cp1252(std::string_view utf8, std::string& out);

}  // namespace tds
