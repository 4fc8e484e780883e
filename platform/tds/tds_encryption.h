// What FreeTDS is told about encryption at each login. db-lib 1.3.17 has no
// login call for it (DBSETLENCRYPT is not implemented), only its configuration
// files: so db-lib is pointed (dbsetifile) at a configuration of our own, whose
// section for the server's host FreeTDS reads last, after any [global] of
// ~/.freetds.conf or /etc/freetds/freetds.conf (tds_login_configuration).
//
// The client asks for encryption ("request"): TLS wherever the server offers
// it, the login always encrypted where the server requires that (SQL Server
// does), the whole session when the server forces it. ORV_MSS_ENCRYPT=yes
// requires it ("require": a server without encryption is refused, the whole
// session is TLS). The server's certificate is verified only against the CA
// file ORV_MSS_CA_FILE names ("system": the system's trusted authorities).
#pragma once

#include <string>

struct tds_encryption {
  bool require = false;
  std::string ca_file;  // empty: the certificate is not verified
};

// A db-lib server name ("host", "host:port" or "host\instance") in parts.
struct tds_server_parts {
  std::string host, port, instance;
};
tds_server_parts tds_split_server(const std::string& server);

// The setting from the environment (ORV_MSS_ENCRYPT, ORV_MSS_CA_FILE).
tds_encryption tds_encryption_setting();

// Held by a login while db-lib reads its configuration (around dbopen): the
// next login to `server` ("host", "host:port" or "host\instance") uses
// `setting`. The configuration lives in an anonymous file in memory, so
// nothing of it stays behind however the process ends; where the system
// cannot name such a file, in a private folder of the temporary folder,
// removed as soon as no login reads it.
class tds_login_configuration {
 public:
  tds_login_configuration(const std::string& server, const tds_encryption& setting);
  ~tds_login_configuration();
  tds_login_configuration(const tds_login_configuration&) = delete;
  tds_login_configuration& operator=(const tds_login_configuration&) = delete;
  // False when it could not be written: the login then follows FreeTDS's own files.
  bool written() const { return written_; }

 private:
  bool written_ = false;
};

// Why a login that ended without a reason from the server failed, when
// encryption is why: the server's PRELOGIN answer and a TLS handshake of our
// own inside PRELOGIN packets, made as FreeTDS makes it, give the server's
// refusal or the TLS library's reason (db-lib reports only "connection
// failed"). Empty when encryption is not the reason or the server cannot be
// asked (not reachable, a named instance).
std::string tds_encryption_failure(const std::string& server, const tds_encryption& setting, int timeout_seconds);
