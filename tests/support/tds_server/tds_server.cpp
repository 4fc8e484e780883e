// The listening socket, one thread per connection, login, and the dispatch
// of each message.
#include "tests/support/tds_server/tds_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <stdexcept>

#include "tests/support/tds_server/tds_codepage.h"
#include "tests/support/tds_server/tds_session.h"
#include "tests/support/tds_server/tds_sql.h"

namespace tds {

const char* const version_2000 =
    "Microsoft SQL Server  2000 - 8.00.2039 (Intel X86) \n\tMay  3 2005 23:18:38 \n\tCopyright (c) 1988-2003 Microsoft "
    "Corporation\n\tStandard Edition on Windows NT 5.2 (Build 3790: Service Pack 2)\n";
const char* const version_2005 =
    "Microsoft SQL Server 2005 - 9.00.5000.00 (Intel X86) \n\tDec 10 2010 10:56:29 \n\tCopyright (c) 1988-2005 "
    "Microsoft Corporation\n\tStandard Edition on Windows NT 5.2 (Build 3790: Service Pack 2)\n";
const char* const version_2008 =
    "Microsoft SQL Server 2008 (SP3) - 10.0.5500.0 (X64) \n\tSep 21 2011 22:45:45 \n\tCopyright (c) 1988-2008 "
    "Microsoft Corporation\n\tStandard Edition (64-bit) on Windows NT 6.1 <X64> (Build 7601: Service Pack 1)\n";
const char* const version_2012 =
    "Microsoft SQL Server 2012 - 11.0.2100.60 (X64) \n\tFeb 10 2012 19:39:15 \n\tCopyright (c) Microsoft "
    "Corporation\n\tStandard Edition (64-bit) on Windows NT 6.1 <X64> (Build 7601: Service Pack 1)\n";
const char* const version_2019 =
    "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tSep 24 2019 13:48:23 \n\tCopyright (C) 2019 Microsoft "
    "Corporation\n\tDeveloper Edition (64-bit) on Linux (Debian GNU/Linux 12 (bookworm)) <X64>";
const char* const version_2022 =
    "Microsoft SQL Server 2022 (RTM) - 16.0.1000.6 (X64) \n\tOct  8 2022 05:58:25 \n\tCopyright (C) 2022 Microsoft "
    "Corporation\n\tDeveloper Edition (64-bit) on Linux (Debian GNU/Linux 12 (bookworm)) <X64>";

struct server::connection {
  int fd = -1;
  std::thread thread;
  std::atomic<bool> done{false};
};


server::server(server_options options) : options_(std::move(options)), ctx_(std::make_unique<server_context>()) {
  ctx_->version_text = options_.version_text;
  ctx_->user = options_.user;
  ctx_->password = options_.password;
  ctx_->refuse_logins = options_.refuse_logins;
  for (const auto& d : options_.inaccessible) ctx_->inaccessible.push_back(name_key(d));
  ctx_->drop_after_bulk_rows = options_.drop_after_bulk_rows;
  ctx_->fail_bulk_batch = options_.fail_bulk_batch;
  ctx_->drop_after_bulk_commit = options_.drop_after_bulk_commit;
  ctx_->slow_ms = options_.slow_ms;
  ctx_->login_trickle_ms = options_.login_trickle_ms;
  ctx_->encryption = options_.encryption;
  prepare_tls();
  ctx_->lock_timeout_ms = options_.lock_timeout_ms;
  {
    auto lock = ctx_->cat.lock();
    ctx_->cat.logins[name_key(options_.user)] = server_login{options_.user, options_.password, true};
    for (const auto& l : options_.logins) {
      const language* lang = find_language(l.language);
      if (!lang) throw std::runtime_error("tds server: no language " + l.language);
      ctx_->cat.logins[name_key(l.name)] = server_login{l.name, l.password, l.sysadmin, lang->name, l.dbcreator};
    }
    for (const auto& d : options_.databases) {
      if (!ctx_->cat.find(d)) ctx_->cat.create(d);
    }
    for (const auto& d : options_.inaccessible) {
      if (!ctx_->cat.find(d)) ctx_->cat.create(d);
    }
  }
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::runtime_error("tds server: socket failed");
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(options_.port);
  if (::inet_pton(AF_INET, options_.host.c_str(), &addr.sin_addr) != 1 ||
      ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_fd_, 64) != 0) {
    ::close(listen_fd_);
    throw std::runtime_error("tds server: cannot listen on " + options_.host + ":" + std::to_string(options_.port) +
                             ": " + std::strerror(errno));
  }
  socklen_t len = sizeof addr;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { accept_loop(); });
}

server::~server() { stop(); }

void server::stop() {
  if (stopping_.exchange(true)) return;
  {
    // Sessions waiting on a lock give up at once.
    auto lock = ctx_->cat.lock();
    ctx_->locks.stop();
  }
  ::shutdown(listen_fd_, SHUT_RDWR);
  if (acceptor_.joinable()) acceptor_.join();
  ::close(listen_fd_);
  std::vector<std::shared_ptr<connection>> all;
  {
    // Under the lock: a connection's thread closes its descriptor under it too, so
    // a number already closed (and perhaps reused) is never shut down here.
    std::lock_guard<std::mutex> g(connections_mutex_);
    all.swap(connections_);
    for (auto& c : all) {
      if (c->fd >= 0) ::shutdown(c->fd, SHUT_RDWR);
    }
  }
  for (auto& c : all) {
    if (c->thread.joinable()) c->thread.join();
  }
}

void server::accept_loop() {
  while (!stopping_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 200) <= 0) continue;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto c = std::make_shared<connection>();
    c->fd = fd;
    std::lock_guard<std::mutex> g(connections_mutex_);
    // Threads of closed connections are joined here, so they do not pile up.
    for (auto it = connections_.begin(); it != connections_.end();) {
      if ((*it)->done) {
        (*it)->thread.join();
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
    ++open_;
    c->thread = std::thread([this, c] {
      serve(c->fd);
      {
        std::lock_guard<std::mutex> g(connections_mutex_);
        ::shutdown(c->fd, SHUT_RDWR);
        ::close(c->fd);
        c->fd = -1;
      }
      --open_;
      c->done = true;
    });
    connections_.push_back(c);
  }
}

namespace {

// A connected socket.
class socket_transport : public transport {
 public:
  explicit socket_transport(int fd) : fd_(fd) {}
  long read(char* buf, std::size_t size, int timeout_ms) override {
    if (timeout_ms >= 0) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, timeout_ms) <= 0) return 0;
    }
    const ssize_t n = ::recv(fd_, buf, size, 0);
    return n <= 0 ? -1 : static_cast<long>(n);
  }
  bool write(const char* p, std::size_t n) override {
    while (n > 0) {
      const ssize_t k = ::send(fd_, p, n, MSG_NOSIGNAL);
      if (k <= 0) return false;
      p += k;
      n -= static_cast<std::size_t>(k);
    }
    return true;
  }
 private:
  int fd_;
};

}  // namespace

void server::serve(int fd) {
  socket_transport io(fd);
  serve_connection(*ctx_, io);
}

void server::set_version(std::string text) {
  std::lock_guard<std::mutex> g(ctx_->knobs_mutex);
  ctx_->version_text = std::move(text);
}
void server::set_refuse_logins(bool on) {
  std::lock_guard<std::mutex> g(ctx_->knobs_mutex);
  ctx_->refuse_logins = on;
}
void server::set_inaccessible(const std::string& database, bool inaccessible) {
  {
    auto lock = ctx_->cat.lock();
    if (!ctx_->cat.find(database)) ctx_->cat.create(database);
  }
  std::lock_guard<std::mutex> g(ctx_->knobs_mutex);
  auto& v = ctx_->inaccessible;
  v.erase(std::remove(v.begin(), v.end(), name_key(database)), v.end());
  if (inaccessible) v.push_back(name_key(database));
}
void server::set_drop_after_bulk_rows(long n) {
  std::lock_guard<std::mutex> g(ctx_->knobs_mutex);
  ctx_->drop_after_bulk_rows = n;
  ctx_->bulk_rows = 0;
}
void server::set_fail_bulk_batch(int k) {
  std::lock_guard<std::mutex> g(ctx_->knobs_mutex);
  ctx_->fail_bulk_batch = k;
  ctx_->bulk_batches = 0;
}
void server::set_drop_after_bulk_commit(int k) {
  std::lock_guard<std::mutex> g(ctx_->knobs_mutex);
  ctx_->drop_after_bulk_commit = k;
  ctx_->committed_bulk_batches = 0;
}
void server::set_slow_answer(int ms) {
  std::lock_guard<std::mutex> g(ctx_->knobs_mutex);
  ctx_->slow_ms = ms;
}
void server::set_login_trickle(int ms) {
  std::lock_guard<std::mutex> g(ctx_->knobs_mutex);
  ctx_->login_trickle_ms = ms;
}
void server::set_encryption(encryption_mode mode) {
  std::lock_guard<std::mutex> g(ctx_->knobs_mutex);
  ctx_->encryption = mode;
}
void server::set_lock_timeout(int ms) {
  std::lock_guard<std::mutex> g(ctx_->knobs_mutex);
  ctx_->lock_timeout_ms = ms;
}
void server::set_session_linger(int ms) {
  std::lock_guard<std::mutex> g(ctx_->knobs_mutex);
  ctx_->linger_ms = ms;
}

void server::add_login(const std::string& name, const std::string& password, bool sysadmin, bool dbcreator) {
  auto lock = ctx_->cat.lock();
  ctx_->cat.logins[name_key(name)] = server_login{name, password, sysadmin, "us_english", dbcreator};
}

bool server::has_database(const std::string& name) {
  auto lock = ctx_->cat.lock();
  return ctx_->cat.find(name) != nullptr;
}

bool server::has_table(const std::string& database, const std::string& t, const std::string& owner) {
  auto lock = ctx_->cat.lock();
  auto* db = ctx_->cat.find(database);
  return db && db->find(owner, t);
}

std::vector<std::string> server::tables(const std::string& database) {
  auto lock = ctx_->cat.lock();
  std::vector<std::string> out;
  auto* db = ctx_->cat.find(database);
  if (!db) return out;
  for (auto& [k, t] : db->tables) out.push_back(t->owner + "." + t->name);
  std::sort(out.begin(), out.end());
  return out;
}

table& server::find_table(const std::string& database, const std::string& t, const std::string& owner) {
  auto* db = ctx_->cat.find(database);
  if (!db) throw std::out_of_range("no database " + database);
  table* tb = db->find(owner, t);
  if (!tb) throw std::out_of_range("no table " + owner + "." + t + " in " + database);
  return *tb;
}

std::vector<column_info> server::columns(const std::string& database, const std::string& t, const std::string& owner) {
  auto lock = ctx_->cat.lock();
  std::vector<column_info> out;
  for (const auto& c : find_table(database, t, owner).columns)
    out.push_back({c.name, c.type, c.nullable, c.identity, c.seed, c.increment, c.default_text, c.default_name});
  return out;
}

std::vector<std::vector<cell>> server::rows(const std::string& database, const std::string& t, const std::string& owner) {
  auto lock = ctx_->cat.lock();
  std::vector<std::vector<cell>> out;
  for (const auto& r : find_table(database, t, owner).rows) out.push_back(r.cells());
  return out;
}

std::size_t server::row_count(const std::string& database, const std::string& t, const std::string& owner) {
  auto lock = ctx_->cat.lock();
  return find_table(database, t, owner).rows.size();
}

std::vector<index_info> server::indexes(const std::string& database, const std::string& t, const std::string& owner) {
  auto lock = ctx_->cat.lock();
  std::vector<index_info> out;
  for (const auto& ix : find_table(database, t, owner).indexes)
    out.push_back({ix.name, ix.columns, ix.unique, ix.primary, ix.clustered, ix.constraint, ix.filter});
  return out;
}

std::vector<foreign_key_info> server::foreign_keys(const std::string& database, const std::string& t, const std::string& owner) {
  auto lock = ctx_->cat.lock();
  std::vector<foreign_key_info> out;
  for (const auto& fk : find_table(database, t, owner).foreign_keys)
    out.push_back({fk.name, fk.columns, fk.ref_owner, fk.ref_table, fk.ref_columns, fk.on_delete, fk.on_update});
  return out;
}

std::vector<check_info> server::checks(const std::string& database, const std::string& t, const std::string& owner) {
  auto lock = ctx_->cat.lock();
  std::vector<check_info> out;
  for (const auto& ck : find_table(database, t, owner).checks) out.push_back({ck.name, ck.text, ck.columns});
  return out;
}

std::vector<std::string> server::received() {
  std::lock_guard<std::mutex> g(ctx_->log_mutex);
  return ctx_->log;
}

std::vector<login_record> server::logins_received() {
  std::lock_guard<std::mutex> g(ctx_->log_mutex);
  return ctx_->logins;
}

long server::bulk_rows() const { return ctx_->bulk_rows; }
int server::bulk_batches() const { return ctx_->bulk_batches; }
int server::connections() const { return open_; }

server::lock_info server::locks(const std::string& database, const std::string& t, const std::string& owner) {
  auto lock = ctx_->cat.lock();
  const std::string name = lock_name(database, owner, t);
  return {ctx_->locks.holders(name), ctx_->locks.keys(name)};
}

void server::execute(const std::string& sql, const std::string& database) {
  session_state s;
  s.spid = 1;
  s.user = options_.user;
  s.sysadmin = true;
  {
    std::lock_guard<std::mutex> g(ctx_->knobs_mutex);
    s.lock_timeout = ctx_->lock_timeout_ms;
  }
  response r([](std::string& b) { b.clear(); });
  {
    auto lock = ctx_->cat.lock();
    use_database(*ctx_, s, database, r);
  }
  run_batch(*ctx_, s, sql, r);
  {
    auto lock = ctx_->cat.lock();
    end_session_locks(*ctx_, s);
    ctx_->session_dbs.erase(s.spid);
  }
  if (r.first_error) throw *r.first_error;
}

int64_t cell_int(const cell& c) {
  uint64_t u = 0;
  for (std::size_t i = c.bytes.size(); i-- > 0;) u = (u << 8) | static_cast<unsigned char>(c.bytes[i]);
  const std::size_t bits = 8 * c.bytes.size();
  if (bits == 8) return static_cast<int64_t>(u);  // tinyint and bit are unsigned
  if (bits < 64 && bits > 0 && (u >> (bits - 1)) & 1) u |= ~uint64_t{0} << bits;
  return static_cast<int64_t>(u);
}

double cell_double(const cell& c) {
  if (c.bytes.size() == 4) {
    float f;
    std::memcpy(&f, c.bytes.data(), 4);
    return f;
  }
  double d = 0;
  if (c.bytes.size() == 8) std::memcpy(&d, c.bytes.data(), 8);
  return d;
}

std::u16string cell_utf16(const cell& c) {
  std::u16string s;
  for (std::size_t i = 0; i + 1 < c.bytes.size(); i += 2)
    s.push_back(static_cast<char16_t>(static_cast<unsigned char>(c.bytes[i]) | (static_cast<unsigned char>(c.bytes[i + 1]) << 8)));
  return s;
}

std::string cell_utf8(const column_type& t, const cell& c) {
  if (is_unicode(t.type)) return utf16_to_utf8(c.bytes);
  return utf16_to_utf8(decode_code_page(collation(t.collation).code_page, c.bytes));
}

std::string cell_text(const column_type& t, const cell& c) { return render(t, c); }

void cell_datetime(const cell& c, int32_t& days, uint32_t& ticks) {
  days = 0;
  ticks = 0;
  if (c.bytes.size() != 8) return;
  std::memcpy(&days, c.bytes.data(), 4);
  std::memcpy(&ticks, c.bytes.data() + 4, 4);
}

}  // namespace tds
