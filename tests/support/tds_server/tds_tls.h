// Encryption of a test server connection, as SQL Server does it for TDS 7.x:
// the PRELOGIN answer to the client's ENCRYPTION option, a TLS handshake whose
// records travel inside PRELOGIN (0x12) packets, then TLS records straight on
// the connection: for the first packet only (the LOGIN7 of a client that did
// not ask for encryption) or for the whole session.
//
// The certificate is self-signed and made once per process (GnuTLS), as SQL
// Server makes one when none is installed. TLS 1.3 is not offered: TDS 7.x
// servers negotiate TLS 1.2 at most inside PRELOGIN.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tests/support/tds_server/tds_session.h"

namespace tds {

// What the server is set to do about encryption.
enum class encryption_mode {  // declared in tds_sql.h as well
  sql_server,     // a certificate and no forced encryption: the login always in TLS
  not_supported,  // no certificate: everything in clear
  forced,         // "force encryption": the whole session in TLS, or no session
};

// The PRELOGIN ENCRYPTION values.
enum : uint8_t { encrypt_off = 0, encrypt_on = 1, encrypt_not_sup = 2, encrypt_req = 3 };

// The server's answer to a client's ENCRYPTION value and what follows it.
struct encryption_answer {
  uint8_t reply = encrypt_not_sup;
  bool tls = false;         // a handshake follows the answer
  bool login_only = false;  // TLS ends after the first packet (the LOGIN7)
  bool close = false;       // the connection is closed after the answer
};
encryption_answer negotiate_encryption(encryption_mode mode, uint8_t client);

// Makes the process's certificate now (it is otherwise made at the first
// handshake); throws std::runtime_error when the TLS library fails.
void prepare_tls();

// The connection's transport: plain until start_tls, TLS records until
// end_tls or the connection's end. The one place where reads and writes of a
// session go through TLS or not.
class secure_transport : public transport {
 public:
  explicit secure_transport(transport& raw);
  ~secure_transport() override;
  secure_transport(const secure_transport&) = delete;
  secure_transport& operator=(const secure_transport&) = delete;

  // The handshake: `next_body` returns the body of the client's next PRELOGIN
  // packet (it throws when the connection ends or another packet comes); the
  // server's handshake bytes go out as PRELOGIN packets. With login_only, TLS
  // ends by itself once one whole TDS packet has been read through it. Throws
  // tds_protocol_error when the handshake fails.
  void start_tls(bool login_only, const std::function<std::string()>& next_body);
  // Bytes already received but not yet read: they are read first.
  void put_back(std::string raw);

  long read(char* buf, std::size_t size, int timeout_ms) override;
  bool write(const char* p, std::size_t n) override;

 private:
  struct tls_state;
  transport& raw_;
  std::unique_ptr<tls_state> tls_;
  std::string leftover_;  // bytes that came in clear behind the last TLS record
};

}  // namespace tds
