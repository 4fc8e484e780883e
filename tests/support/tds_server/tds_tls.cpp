// TLS of a test server connection (GnuTLS): the self-signed certificate, the
// handshake carried in PRELOGIN packets, and records on the connection.
#include "tests/support/tds_server/tds_tls.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "tests/support/tds_server/tds_wire.h"

namespace tds {

encryption_answer negotiate_encryption(encryption_mode mode, uint8_t client) {
  encryption_answer a;
  const bool wants = client == encrypt_on || client == encrypt_req;
  switch (mode) {
    case encryption_mode::not_supported:
      a.reply = encrypt_not_sup;
      break;
    case encryption_mode::sql_server:
      if (client == encrypt_off) {
        a.reply = encrypt_off;
        a.tls = a.login_only = true;
      } else if (wants) {
        a.reply = encrypt_on;
        a.tls = true;
      } else {
        a.reply = encrypt_not_sup;  // a client without TLS logs in in clear
      }
      break;
    case encryption_mode::forced:
      if (client == encrypt_off) {
        a.reply = encrypt_req;
        a.tls = true;
      } else if (wants) {
        a.reply = encrypt_on;
        a.tls = true;
      } else {
        a.reply = encrypt_req;  // a client that cannot encrypt is refused
        a.close = true;
      }
      break;
  }
  return a;
}

namespace {

void check(int rc, const char* what) {
  if (rc < 0) throw std::runtime_error(std::string("tds server TLS: ") + what + ": " + gnutls_strerror(rc));
}

// The certificate and key of every connection of the process.
class credentials {
 public:
  credentials() {
    gnutls_x509_privkey_t key = nullptr;
    gnutls_x509_crt_t crt = nullptr;
    try {
      check(gnutls_x509_privkey_init(&key), "key");
      check(gnutls_x509_privkey_generate(key, GNUTLS_PK_RSA, 2048, 0), "key generation");
      check(gnutls_x509_crt_init(&crt), "certificate");
      check(gnutls_x509_crt_set_version(crt, 3), "certificate version");
      const unsigned char serial[8] = {0x1D, 0x5C, 0x0A, 0x17, 0x42, 0x13, 0x07, 0x01};
      check(gnutls_x509_crt_set_serial(crt, serial, sizeof serial), "serial");
      const std::time_t now = std::time(nullptr);
      check(gnutls_x509_crt_set_activation_time(crt, now - 86400), "activation time");
      check(gnutls_x509_crt_set_expiration_time(crt, now + 3650L * 86400), "expiration time");
      // The name SQL Server gives the certificate it makes when none is installed.
      static const char cn[] = "SSL_Self_Signed_Fallback";
      check(gnutls_x509_crt_set_dn_by_oid(crt, GNUTLS_OID_X520_COMMON_NAME, 0, cn, sizeof cn - 1), "name");
      check(gnutls_x509_crt_set_key(crt, key), "certificate key");
      check(gnutls_x509_crt_sign2(crt, crt, key, GNUTLS_DIG_SHA256, 0), "signature");
      check(gnutls_certificate_allocate_credentials(&cred_), "credentials");
      check(gnutls_certificate_set_x509_key(cred_, &crt, 1, key), "credentials key");
      check(gnutls_priority_init(&priority_, "NORMAL:-VERS-TLS1.3", nullptr), "priorities");
    } catch (...) {
      if (crt) gnutls_x509_crt_deinit(crt);
      if (key) gnutls_x509_privkey_deinit(key);
      throw;
    }
    gnutls_x509_crt_deinit(crt);
    gnutls_x509_privkey_deinit(key);
  }
  gnutls_certificate_credentials_t cred() const { return cred_; }
  gnutls_priority_t priority() const { return priority_; }

 private:
  gnutls_certificate_credentials_t cred_ = nullptr;
  gnutls_priority_t priority_ = nullptr;
};

const credentials& process_credentials() {
  // Made once and kept to the end of the process: connection threads may
  // still use it while static objects are destroyed.
  static const credentials* made = new credentials();
  return *made;
}

constexpr std::size_t handshake_packet = 4096;

}  // namespace

void prepare_tls() { process_credentials(); }

struct secure_transport::tls_state {
  gnutls_session_t session = nullptr;
  transport* raw = nullptr;
  std::string raw_in;       // received, not yet taken by the TLS library
  std::size_t raw_pos = 0;
  std::string out;          // handshake bytes to send as PRELOGIN packets
  bool handshaking = true;
  bool login_only = false;
  // The first packet through TLS when only the login is encrypted.
  unsigned char header[packet_header_size] = {};
  std::size_t got = 0, length = 0;

  ~tls_state() {
    if (session) gnutls_deinit(session);
  }

  static ssize_t pull(gnutls_transport_ptr_t p, void* data, std::size_t size) {
    auto* s = static_cast<tls_state*>(p);
    const std::size_t have = s->raw_in.size() - s->raw_pos;
    if (have == 0) {
      gnutls_transport_set_errno(s->session, EAGAIN);
      return -1;
    }
    const std::size_t n = std::min(size, have);
    std::memcpy(data, s->raw_in.data() + s->raw_pos, n);
    s->raw_pos += n;
    if (s->raw_pos == s->raw_in.size()) {
      s->raw_in.clear();
      s->raw_pos = 0;
    }
    return static_cast<ssize_t>(n);
  }
  static ssize_t push(gnutls_transport_ptr_t p, const void* data, std::size_t size) {
    auto* s = static_cast<tls_state*>(p);
    if (s->handshaking) {
      s->out.append(static_cast<const char*>(data), size);
      return static_cast<ssize_t>(size);
    }
    if (!s->raw->write(static_cast<const char*>(data), size)) {
      gnutls_transport_set_errno(s->session, EPIPE);
      return -1;
    }
    return static_cast<ssize_t>(size);
  }

  // The handshake bytes written so far, as PRELOGIN packets.
  void flush_handshake() {
    std::string packets;
    std::size_t pos = 0;
    uint8_t id = 1;
    while (pos < out.size()) {
      const std::size_t n = std::min(handshake_packet - packet_header_size, out.size() - pos);
      const std::size_t len = n + packet_header_size;
      const bool last = pos + n == out.size();
      const char h[packet_header_size] = {static_cast<char>(pkt_prelogin), static_cast<char>(last ? status_eom : 0),
                                          static_cast<char>(len >> 8), static_cast<char>(len & 0xFF), 0, 0,
                                          static_cast<char>(id++), 0};
      packets.append(h, packet_header_size);
      packets.append(out, pos, n);
      pos += n;
    }
    out.clear();
    if (!packets.empty() && !raw->write(packets.data(), packets.size())) throw tds_protocol_error("send failed");
  }
};

secure_transport::secure_transport(transport& raw) : raw_(raw) {}
secure_transport::~secure_transport() = default;

void secure_transport::start_tls(bool login_only, const std::function<std::string()>& next_body) {
  const credentials& c = process_credentials();
  auto s = std::make_unique<tls_state>();
  s->raw = &raw_;
  s->login_only = login_only;
  if (gnutls_init(&s->session, GNUTLS_SERVER) < 0) throw tds_protocol_error("TLS session");
  if (gnutls_priority_set(s->session, c.priority()) < 0 ||
      gnutls_credentials_set(s->session, GNUTLS_CRD_CERTIFICATE, c.cred()) < 0)
    throw tds_protocol_error("TLS session");
  gnutls_certificate_server_set_request(s->session, GNUTLS_CERT_IGNORE);
  gnutls_transport_set_ptr(s->session, s.get());
  gnutls_transport_set_pull_function(s->session, &tls_state::pull);
  gnutls_transport_set_push_function(s->session, &tls_state::push);
  for (;;) {
    const int rc = gnutls_handshake(s->session);
    s->flush_handshake();
    if (rc == 0) break;
    if (rc == GNUTLS_E_AGAIN || rc == GNUTLS_E_INTERRUPTED) {
      if (s->raw_in.size() == s->raw_pos) {
        s->raw_in = next_body();
        s->raw_pos = 0;
      }
      continue;
    }
    if (gnutls_error_is_fatal(rc)) throw tds_protocol_error(std::string("TLS handshake: ") + gnutls_strerror(rc));
  }
  s->handshaking = false;
  tls_ = std::move(s);
}

void secure_transport::put_back(std::string raw) {
  if (raw.empty()) return;
  if (tls_) tls_->raw_in.append(raw);
  else leftover_.insert(0, raw);
}

long secure_transport::read(char* buf, std::size_t size, int timeout_ms) {
  if (!tls_) {
    if (!leftover_.empty()) {
      const std::size_t n = std::min(size, leftover_.size());
      std::memcpy(buf, leftover_.data(), n);
      leftover_.erase(0, n);
      return static_cast<long>(n);
    }
    return raw_.read(buf, size, timeout_ms);
  }
  tls_state& s = *tls_;
  for (;;) {
    std::size_t want = size;
    if (s.login_only) {
      // The header first, to learn where the packet ends.
      want = s.got < packet_header_size ? packet_header_size - s.got : s.length - s.got;
      want = std::min(want, size);
    }
    const ssize_t n = gnutls_record_recv(s.session, buf, want);
    if (n > 0) {
      if (s.login_only) {
        const auto k = static_cast<std::size_t>(n);
        if (s.got < packet_header_size) {
          std::memcpy(s.header + s.got, buf, k);
          if (s.got + k == packet_header_size) {
            s.length = (static_cast<std::size_t>(s.header[2]) << 8) | s.header[3];
            if (s.length < packet_header_size) throw tds_protocol_error("bad packet length");
          }
        }
        s.got += k;
        if (s.got == s.length) {
          // The login packet is whole: the session goes on in clear.
          if (gnutls_record_check_pending(s.session) > 0) throw tds_protocol_error("more than one packet in TLS");
          leftover_ = s.raw_in.substr(s.raw_pos);
          tls_.reset();
        }
      }
      return static_cast<long>(n);
    }
    if (n == 0) return -1;  // the client ended TLS
    if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED) {
      char more[65536];
      const long k = raw_.read(more, sizeof more, timeout_ms);
      if (k <= 0) return k;
      s.raw_in.append(more, static_cast<std::size_t>(k));
      continue;
    }
    // A damaged or unexpected record: the connection ends.
    throw tds_protocol_error(std::string("TLS: ") + gnutls_strerror(static_cast<int>(n)));
  }
}

bool secure_transport::write(const char* p, std::size_t n) {
  if (!tls_) return raw_.write(p, n);
  while (n > 0) {
    const ssize_t k = gnutls_record_send(tls_->session, p, n);
    if (k == GNUTLS_E_AGAIN || k == GNUTLS_E_INTERRUPTED) continue;
    if (k <= 0) return false;
    p += k;
    n -= static_cast<std::size_t>(k);
  }
  return true;
}

}  // namespace tds
