// Decoding of what clients send: packets into messages, and the LOGIN7,
// SQL batch, RPC and bulk-load messages. Every function checks each length
// and count against the bytes present; malformed input throws
// tds_protocol_error (input that only stops early throws tds_truncated).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/tds_server/tds_types.h"
#include "tests/support/tds_server/tds_wire.h"

namespace tds {

// Largest message other than a bulk load that a client may send.
constexpr std::size_t max_message = 64u << 20;

// One packet's header.
struct packet_header {
  uint8_t type = 0;
  uint8_t status = 0;
  uint16_t length = 0;
};
packet_header parse_header(std::string_view eight_bytes);

// LOGIN7: the fields the server uses; text fields in UTF-8.
struct login_request {
  uint32_t tds_version = 0;
  uint32_t packet_size = 0;
  std::string host, user, password, app, server, library, language, database;
  bool odbc = false;  // OptionFlags2's fODBC: the session starts with ODBC's SET options
  bool language_required = false;  // OptionFlags2's fLanguage: an unknown language fails the login
};
login_request parse_login7(std::string_view body);

// PRELOGIN: the option tokens; throws on a malformed option table. Returns
// the client's ENCRYPTION value (0, ENCRYPT_OFF, when it sends none).
uint8_t check_prelogin(std::string_view body);

// The text of a SQL batch (UTF-16LE bytes) after its ALL_HEADERS.
std::string parse_sql_batch(std::string_view body);

// An RPC request: a procedure by name or by number (10 is sp_executesql).
struct rpc_param {
  std::string name;  // UTF-8, with its @
  wire_column column;
  cell data;
};
struct rpc_request {
  std::string proc_name;  // UTF-8, empty when called by number
  uint16_t proc_id = 0;
  std::vector<rpc_param> params;
};
// Only one procedure per request is read (batched RPCs are not sent by our clients).
rpc_request parse_rpc(std::string_view body);

// The bulk-load message: COLMETADATA, then ROW tokens, then optionally DONE
// (FreeTDS ends the message without one). Fed with
// the message's bytes as packets arrive, it hands out each complete row.
class bulk_decoder {
 public:
  // Appends bytes; then call next() until it returns false.
  void feed(std::string_view bytes);
  // The next complete row (true), or false when more bytes are needed or the
  // message is done (see done()). Throws on malformed input.
  bool next(std::vector<cell>& row);
  bool done() const { return done_; }
  const std::vector<wire_column>& columns() const { return columns_; }
  // The columns, to correct what the load's statement says otherwise (their collation).
  std::vector<wire_column>& columns() { return columns_; }
  // Called at the end of the message: throws when a token is cut short.
  void finish() const;

 private:
  std::string buf_;
  std::size_t pos_ = 0;
  bool have_meta_ = false;
  bool done_ = false;
  std::vector<wire_column> columns_;
};

// Splits a byte stream into packets and messages.
class message_assembler {
 public:
  explicit message_assembler(std::size_t packet_limit = 32767) : packet_limit_(packet_limit) {}
  void set_packet_limit(std::size_t n) { packet_limit_ = n; }
  // Appends received bytes.
  void feed(std::string_view bytes) { buf_.append(bytes); }
  // Takes the next complete packet: its header and body. False when none is complete.
  bool next_packet(packet_header& h, std::string& body);
  // The bytes received after the last whole packet; the assembler is emptied.
  std::string take_buffered();
 private:
  std::string buf_;
  std::size_t pos_ = 0;
  std::size_t packet_limit_;
};

}  // namespace tds
