#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "platform/tds/tds_encryption.h"

namespace {

constexpr uint8_t prelogin_packet = 0x12;
constexpr uint8_t encrypt_off = 0, encrypt_on = 1, encrypt_not_sup = 2;

// A connection to the server with a deadline for every wait.
class probe {
 public:
  probe(const std::string& host, const std::string& port, int timeout_seconds)
      : deadline_(std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds)) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &list) != 0) return;
    for (addrinfo* a = list; a && fd_ < 0; a = a->ai_next) {
      const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
      if (fd < 0) continue;
      if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 || (errno == EINPROGRESS && wait(fd, POLLOUT) && !so_error(fd)))
        fd_ = fd;
      else
        ::close(fd);
    }
    ::freeaddrinfo(list);
  }
  ~probe() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

  bool send_packet(uint8_t type, const std::string& body) {
    const std::size_t len = body.size() + 8;
    std::string p = {static_cast<char>(type), 1, static_cast<char>(len >> 8), static_cast<char>(len & 0xFF), 0, 0, 1, 0};
    p += body;
    std::size_t pos = 0;
    while (pos < p.size()) {
      if (!wait(fd_, POLLOUT)) return false;
      const ssize_t n = ::send(fd_, p.data() + pos, p.size() - pos, MSG_NOSIGNAL);
      if (n <= 0 && errno != EAGAIN) return false;
      if (n > 0) pos += static_cast<std::size_t>(n);
    }
    return true;
  }
  // One packet's body; false at the end, after the deadline or for a malformed header.
  bool read_packet(std::string& body) {
    std::string header;
    if (!read_exact(8, header)) return false;
    const std::size_t len = (static_cast<std::size_t>(static_cast<uint8_t>(header[2])) << 8) | static_cast<uint8_t>(header[3]);
    if (len < 8) return false;
    return read_exact(len - 8, body);
  }

 private:
  bool read_exact(std::size_t n, std::string& out) {
    out.clear();
    char buf[4096];
    while (out.size() < n) {
      if (!wait(fd_, POLLIN)) return false;
      const ssize_t k = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
      if (k == 0 || (k < 0 && errno != EAGAIN)) return false;
      if (k > 0) out.append(buf, static_cast<std::size_t>(k));
    }
    return true;
  }
  bool wait(int fd, short events) const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, static_cast<int>(left.count())) == 1;
  }
  static bool so_error(int fd) {
    int e = 0;
    socklen_t len = sizeof e;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &len) != 0 || e != 0;
  }

  std::chrono::steady_clock::time_point deadline_;
  int fd_ = -1;
};

// The ENCRYPTION value of a PRELOGIN answer; -1 when the answer is malformed.
int answer_encryption(const std::string& body) {
  int value = -1;
  for (std::size_t i = 0; i < body.size(); i += 5) {
    if (static_cast<uint8_t>(body[i]) == 0xFF) return value;
    if (i + 5 > body.size()) return -1;
    const std::size_t off = (static_cast<std::size_t>(static_cast<uint8_t>(body[i + 1])) << 8) | static_cast<uint8_t>(body[i + 2]);
    const std::size_t len = (static_cast<std::size_t>(static_cast<uint8_t>(body[i + 3])) << 8) | static_cast<uint8_t>(body[i + 4]);
    if (off + len > body.size()) return -1;
    if (body[i] == 1 && len >= 1) value = static_cast<uint8_t>(body[off]);
  }
  return -1;
}

// The handshake's records inside PRELOGIN packets, as FreeTDS sends them.
struct handshake_io {
  probe* conn;
  gnutls_session_t session;
  std::string out, in;
  std::size_t in_pos = 0;

  static ssize_t push(gnutls_transport_ptr_t p, const void* data, std::size_t size) {
    static_cast<handshake_io*>(p)->out.append(static_cast<const char*>(data), size);
    return static_cast<ssize_t>(size);
  }
  static ssize_t pull(gnutls_transport_ptr_t p, void* data, std::size_t size) {
    auto* s = static_cast<handshake_io*>(p);
    if (!s->out.empty()) {
      const bool sent = s->conn->send_packet(prelogin_packet, s->out);
      s->out.clear();
      if (!sent) {
        gnutls_transport_set_errno(s->session, EPIPE);
        return -1;
      }
    }
    while (s->in_pos == s->in.size()) {
      s->in_pos = 0;
      if (!s->conn->read_packet(s->in)) {
        s->in.clear();
        return 0;  // the server ended the connection
      }
    }
    const std::size_t n = std::min(size, s->in.size() - s->in_pos);
    std::memcpy(data, s->in.data() + s->in_pos, n);
    s->in_pos += n;
    return static_cast<ssize_t>(n);
  }
};

std::string tls_reason(probe& conn, const std::string& host, const tds_encryption& setting) {
  gnutls_certificate_credentials_t cred = nullptr;
  gnutls_session_t session = nullptr;
  std::string reason;
  auto fail = [&](const std::string& what, int rc) { reason = what + gnutls_strerror(rc); };
  if (int rc = gnutls_certificate_allocate_credentials(&cred); rc < 0) {
    fail("TLS: ", rc);
    return reason;
  }
  if (!setting.ca_file.empty()) {
    const int rc = setting.ca_file == "system"
                       ? gnutls_certificate_set_x509_system_trust(cred)
                       : gnutls_certificate_set_x509_trust_file(cred, setting.ca_file.c_str(), GNUTLS_X509_FMT_PEM);
    if (rc <= 0) {
      reason = "The CA file " + setting.ca_file + " (ORV_MSS_CA_FILE) cannot be used: " +
               (rc < 0 ? gnutls_strerror(rc) : "it holds no certificate");
      gnutls_certificate_free_credentials(cred);
      return reason;
    }
  }
  handshake_io io{&conn, nullptr, {}, {}, 0};
  int rc = gnutls_init(&session, GNUTLS_CLIENT);
  if (rc >= 0) {
    io.session = session;
    gnutls_transport_set_ptr(session, &io);
    gnutls_transport_set_push_function(session, &handshake_io::push);
    gnutls_transport_set_pull_function(session, &handshake_io::pull);
    rc = gnutls_priority_set_direct(session, "NORMAL:%COMPAT:-VERS-SSL3.0", nullptr);
  }
  if (rc >= 0) rc = gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, cred);
  if (rc >= 0) {
    do rc = gnutls_handshake(session);
    while (rc < 0 && !gnutls_error_is_fatal(rc));
  }
  if (rc < 0) {
    fail("The TLS handshake with the server failed: ", rc);
  } else if (!setting.ca_file.empty()) {
    unsigned status = 0;
    rc = gnutls_certificate_verify_peers3(session, host.c_str(), &status);
    if (rc < 0) {
      fail("The server's certificate cannot be verified: ", rc);
    } else if (status != 0) {
      gnutls_datum_t text{};
      if (gnutls_certificate_verification_status_print(status, gnutls_certificate_type_get(session), &text, 0) >= 0) {
        std::string said(reinterpret_cast<char*>(text.data), text.size);
        gnutls_free(text.data);
        while (!said.empty() && (said.back() == ' ' || said.back() == '\n')) said.pop_back();
        reason = "The server's certificate is not trusted: " + said;
      } else {
        reason = "The server's certificate is not trusted.";
      }
    }
  }
  if (session) gnutls_deinit(session);
  gnutls_certificate_free_credentials(cred);
  return reason;
}

}  // namespace

std::string tds_encryption_failure(const std::string& server, const tds_encryption& setting, int timeout_seconds) {
  const tds_server_parts parts = tds_split_server(server);
  if (!parts.instance.empty()) return {};
  const std::string host = parts.host;
  probe conn(host, parts.port.empty() ? "1433" : parts.port, timeout_seconds > 0 ? timeout_seconds : 15);
  if (!conn.ok()) return {};
  // VERSION, ENCRYPTION, terminator.
  std::string body("\x00\x00\x0B\x00\x06\x01\x00\x11\x00\x01\xFF\x0F\x00\x07\xD0\x00\x00", 17);
  body.push_back(static_cast<char>(setting.require ? encrypt_on : encrypt_off));
  std::string answer;
  if (!conn.send_packet(prelogin_packet, body) || !conn.read_packet(answer)) return {};
  const int encryption = answer_encryption(answer);
  if (encryption < 0) return {};
  if (encryption == encrypt_not_sup)
    return setting.require ? "The server does not support encryption, which ORV_MSS_ENCRYPT requires." : std::string();
  return tls_reason(conn, host, setting);
}
