// One client connection: login, then each message answered in turn.
#include "tests/support/tds_server/tds_session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <thread>

#include "tests/support/tds_server/tds_protocol.h"
#include "tests/support/tds_server/tds_sql.h"
#include "tests/support/tds_server/tds_tls.h"

namespace tds {

namespace {

// Product version for LOGINACK from the "- 15.0.2000.5" part of the @@VERSION text.
void product_version(const std::string& text, int& major, int& minor, int& build) {
  major = 15; minor = 0; build = 2000;
  const auto dash = text.find(" - ");
  if (dash == std::string::npos) return;
  unsigned a = 0, b = 0, c = 0;
  if (std::sscanf(text.c_str() + dash + 3, "%u.%u.%u", &a, &b, &c) == 3) {
    major = static_cast<int>(a); minor = static_cast<int>(b); build = static_cast<int>(c);
  }
}

// Whether a bulk value's bytes hold a value of its type: datetime's time of
// day is 0 to 25,919,999 ticks of 1/300 s and its days from 1753-01-01 to
// 9999-12-31; smalldatetime's minutes 0 to 1,439.
bool valid_bulk_value(const column_type& t, const cell& v) {
  if (v.null) return true;
  const auto& b = v.bytes;
  auto le = [&](std::size_t at, std::size_t n) {
    uint32_t x = 0;
    for (std::size_t i = n; i-- > 0;) x = (x << 8) | static_cast<unsigned char>(b[at + i]);
    return x;
  };
  if (t.type == sql_type::datetime && b.size() == 8) {
    const auto days = static_cast<int32_t>(le(0, 4));
    return le(4, 4) < 300u * 86400 && days >= -53690 && days <= 2958463;
  }
  if (t.type == sql_type::smalldatetime && b.size() == 4) return le(2, 2) < 1440;
  return true;
}

class session {
 public:
  session(server_context& ctx, transport& io) : ctx_(ctx), io_(io) {
    state_.spid = ctx.next_spid++;
    {
      std::lock_guard<std::mutex> g(ctx_.knobs_mutex);
      state_.lock_timeout = ctx_.lock_timeout_ms;
    }
    state_.interrupted = [this] { look_at_client(); };
  }
  ~session() {
    int linger = 0;
    {
      std::lock_guard<std::mutex> g(ctx_.knobs_mutex);
      linger = ctx_.linger_ms;
    }
    if (linger > 0) std::this_thread::sleep_for(std::chrono::milliseconds(linger));
    auto lock = ctx_.cat.lock();
    end_session_locks(ctx_, state_);
    ctx_.session_dbs.erase(state_.spid);
  }

  void run() {
    try {
      for (;;) {
        packet_header h;
        std::string body;
        if (!next_packet(h, body)) return;
        if (!handle(h, body)) return;
      }
    } catch (const tds_protocol_error&) {
      // Malformed input: the connection is closed.
    } catch (const sql_error&) {
      // An error with no statement to report it to: the connection is closed.
    } catch (const std::exception&) {
    } catch (const session_interrupted&) {
    }
  }

 private:
  server_context& ctx_;
  secure_transport io_;  // plain, or TLS as PRELOGIN settled
  message_assembler in_;
  std::deque<std::pair<packet_header, std::string>> backlog_;
  session_state state_;
  bool logged_in_ = false;
  bool prelogin_done_ = false;
  std::size_t packet_size_ = 4096;
  uint8_t packet_id_ = 1;
  int trickle_ms_ = 0;  // while the login's answer goes out

  // ---- input
  bool fill(int timeout_ms) {
    char buf[65536];
    const long n = io_.read(buf, sizeof buf, timeout_ms);
    if (n == 0) return false;
    if (n < 0) throw tds_protocol_error("closed");
    in_.feed(std::string_view(buf, static_cast<std::size_t>(n)));
    return true;
  }
  bool next_packet(packet_header& h, std::string& body) {
    if (!backlog_.empty()) {
      h = backlog_.front().first;
      body = std::move(backlog_.front().second);
      backlog_.pop_front();
      return true;
    }
    while (!in_.next_packet(h, body)) fill(-1);
    return true;
  }
  // The rest of a message whose first packet is h/body.
  std::string whole_message(packet_header h, std::string body) {
    std::string msg = std::move(body);
    while (!(h.status & status_eom)) {
      std::string more;
      next_packet(h, more);
      if (h.type == pkt_attention) throw tds_protocol_error("attention inside a message");
      msg += more;
      if (msg.size() > max_message) throw tds_protocol_error("message too large");
    }
    return msg;
  }

  // ---- output
  void write_all(const char* p, std::size_t n) {
    if (trickle_ms_ > 0) return trickle(p, n);
    if (!io_.write(p, n)) throw tds_protocol_error("send failed");
  }
  // One byte every trickle_ms_; a connection closed meanwhile (or the server
  // stopping) ends the session.
  void trickle(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      if (!io_.write(p + i, 1)) throw tds_protocol_error("send failed");
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(trickle_ms_);
      for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        fill(static_cast<int>(left));
      }
    }
  }
  void send_packets(std::string& data, bool final) {
    const std::size_t room = packet_size_ - packet_header_size;
    std::size_t pos = 0;
    std::string out;
    while (data.size() - pos > room || (final && pos < data.size()) || (final && data.empty() && pos == 0)) {
      const std::size_t n = std::min(room, data.size() - pos);
      const bool last = final && pos + n == data.size();
      const std::size_t len = n + packet_header_size;
      const char header[8] = {static_cast<char>(pkt_reply), static_cast<char>(last ? status_eom : 0),
                              static_cast<char>(len >> 8), static_cast<char>(len & 0xFF),
                              static_cast<char>((state_.spid >> 8) & 0xFF), static_cast<char>(state_.spid & 0xFF),
                              static_cast<char>(packet_id_++), 0};
      out.append(header, 8);
      out.append(data, pos, n);
      pos += n;
      if (last) break;
    }
    write_all(out.data(), out.size());
    data.erase(0, pos);
  }
  response make_response() {
    return response([this](std::string& b) { send_packets(b, false); });
  }
  void finish(response& r, uint16_t extra = 0) {
    r.finish(extra);
    send_packets(r.out().out(), true);
  }

  // Waits for the slow-answer knob; true when an attention arrived meanwhile.
  bool slow_wait() {
    int ms;
    {
      std::lock_guard<std::mutex> g(ctx_.knobs_mutex);
      ms = ctx_.slow_ms;
    }
    if (ms <= 0) return false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      // Packets already received (an attention often arrives with its request) count first.
      packet_header h;
      std::string body;
      while (in_.next_packet(h, body)) {
        if (h.type == pkt_attention) return true;
        backlog_.emplace_back(h, std::move(body));
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
      if (left <= 0) return false;
      fill(static_cast<int>(left));
    }
  }

  // While a statement waits on a lock: what the client sent meanwhile is read
  // without waiting; an attention or a closed connection ends the wait.
  void look_at_client() {
    for (;;) {
      packet_header h;
      std::string body;
      while (in_.next_packet(h, body)) {
        if (h.type == pkt_attention) throw session_interrupted{true};
        backlog_.emplace_back(h, std::move(body));
      }
      char buf[4096];
      const long n = io_.read(buf, sizeof buf, 0);
      if (n == 0) return;
      if (n < 0) throw session_interrupted{false};
      in_.feed(std::string_view(buf, static_cast<std::size_t>(n)));
    }
  }

  // Runs a batch or RPC; a wait cut short by an attention ends the answer with
  // the attention's acknowledgement, one cut short by the connection ends it.
  template <class F>
  void answer(response& r, F&& run) {
    try {
      run();
    } catch (const session_interrupted& e) {
      if (!e.attention) throw tds_protocol_error("the session ends while waiting");
      finish(r, 0x20);
      return;
    }
    finish(r);
  }

  void log(std::string text) {
    std::lock_guard<std::mutex> g(ctx_.log_mutex);
    ctx_.log.push_back(std::move(text));
  }

  // ---- messages
  bool handle(const packet_header& h, std::string body) {
    if (!logged_in_) {
      if (h.type == pkt_prelogin && !prelogin_done_) {
        const uint8_t client = check_prelogin(whole_message(h, std::move(body)));
        encryption_mode mode;
        {
          std::lock_guard<std::mutex> g(ctx_.knobs_mutex);
          mode = ctx_.encryption;
        }
        const encryption_answer a = negotiate_encryption(mode, client);
        prelogin(a.reply);
        prelogin_done_ = true;
        if (a.close) return false;
        if (a.tls) {
          // The handshake's records come in PRELOGIN packets; what follows them is TLS.
          io_.start_tls(a.login_only, [this] {
            packet_header ph;
            std::string b;
            next_packet(ph, b);
            if (ph.type != pkt_prelogin) throw tds_protocol_error("expected a TLS handshake");
            return b;
          });
          io_.put_back(in_.take_buffered());
        }
        return true;
      }
      if (h.type == pkt_login7) return login(parse_login7(whole_message(h, std::move(body))));
      throw tds_protocol_error("expected a login");
    }
    switch (h.type) {
      case pkt_sql_batch: {
        const std::string text = utf16_to_utf8(parse_sql_batch(whole_message(h, std::move(body))));
        log(text);
        response r = make_response();
        if (slow_wait()) return attention_ack();
        answer(r, [&] { run_batch(ctx_, state_, text, r); });
        return true;
      }
      case pkt_rpc: {
        const rpc_request rpc = parse_rpc(whole_message(h, std::move(body)));
        log("RPC " + (rpc.proc_name.empty() ? std::to_string(rpc.proc_id) : rpc.proc_name));
        response r = make_response();
        if (slow_wait()) return attention_ack();
        answer(r, [&] { run_rpc(ctx_, state_, rpc, r); });
        return true;
      }
      case pkt_attention:
        return attention_ack();
      case pkt_transaction: {
        whole_message(h, std::move(body));
        response r = make_response();
        finish(r);
        return true;
      }
      case pkt_bulk:
        return bulk(h, std::move(body));
      default:
        throw tds_protocol_error("unknown packet type");
    }
  }

  bool attention_ack() {
    response r = make_response();
    r.out().u8(0xFD);
    r.out().u16(0x20);
    r.out().u16(0);
    r.out().u64(0);
    send_packets(r.out().out(), true);
    return true;
  }

  void prelogin(uint8_t encryption) {
    writer w;
    // Option table: VERSION, ENCRYPTION, INSTOPT, THREADID, MARS, terminator.
    const uint16_t table_len = 5 * 5 + 1;
    const struct { uint8_t token; uint16_t len; } opts[] = {{0, 6}, {1, 1}, {2, 1}, {3, 4}, {4, 1}};
    uint16_t off = table_len;
    for (const auto& o : opts) {
      w.u8(o.token);
      w.u8(static_cast<uint8_t>(off >> 8)); w.u8(static_cast<uint8_t>(off & 0xFF));
      w.u8(static_cast<uint8_t>(o.len >> 8)); w.u8(static_cast<uint8_t>(o.len & 0xFF));
      off = static_cast<uint16_t>(off + o.len);
    }
    w.u8(0xFF);
    int major, minor, build;
    product_version(ctx_.version(), major, minor, build);
    w.u8(static_cast<uint8_t>(major)); w.u8(static_cast<uint8_t>(minor));
    w.u8(static_cast<uint8_t>(build >> 8)); w.u8(static_cast<uint8_t>(build & 0xFF));
    w.u16(0);
    w.u8(encryption);
    w.u8(0);  // instance: ok
    w.u32(static_cast<uint32_t>(state_.spid));
    w.u8(0);  // no MARS
    send_packets(w.out(), true);
  }

  bool refuse(response& r, const login_request& l) {
    r.message(sql_error{18456, 14, 1, "Login failed for user '" + l.user + "'."}, false);
    finish(r, 0x02);
    return false;
  }

  bool login(const login_request& l) {
    response r = make_response();
    state_.user = l.user;
    state_.quoted_identifier = l.odbc;  // DB-Library logins start with QUOTED_IDENTIFIER OFF
    if ((l.tds_version >> 24) != 0x74 && (l.tds_version >> 24) != 0x73 && (l.tds_version >> 24) != 0x72 &&
        (l.tds_version >> 24) != 0x71 && (l.tds_version >> 24) != 0x70)
      throw tds_protocol_error("unsupported TDS version");
    {
      std::lock_guard<std::mutex> g(ctx_.log_mutex);
      ctx_.logins.push_back(login_record{l.user, l.app, l.library, l.language, l.database, l.odbc});
    }
    bool ok, own = false;
    {
      std::lock_guard<std::mutex> g(ctx_.knobs_mutex);
      ok = !ctx_.refuse_logins;
      // The server's own login (sysadmin); the others are in the catalog.
      own = name_key(l.user) == name_key(ctx_.user) && l.password == ctx_.password;
    }
    if (ok && own) {
      state_.user = ctx_.user;
      state_.sysadmin = true;
    } else if (ok) {
      auto lock = ctx_.cat.lock();
      const server_login* known = ctx_.cat.check_login(l.user, l.password);
      ok = known != nullptr;
      if (known) {
        state_.user = known->name;
        state_.sysadmin = known->sysadmin;
      }
    }
    if (!ok) return refuse(r, l);
    // The login's default language, unless the client asks for another one.
    {
      auto lock = ctx_.cat.lock();
      auto it = ctx_.cat.logins.find(name_key(state_.user));
      const language* own_language = it == ctx_.cat.logins.end() ? nullptr : find_language(it->second.language);
      state_.lang = own_language ? own_language : &us_english();
    }
    if (!l.language.empty()) {
      if (const language* asked = find_language(l.language)) {
        state_.lang = asked;
      } else if (l.language_required) {
        response fail = make_response();
        fail.message(sql_error{4019, 16, 1, "Language requested in login '" + l.language +
                                                "' is not an official language name on this SQL Server. Login fails."},
                     false);
        return refuse(fail, l);
      }
    }
    state_.dateformat = state_.lang->order;
    if (l.packet_size >= 512 && l.packet_size <= 32767) packet_size_ = l.packet_size;
    else if (l.packet_size != 0) packet_size_ = 4096;
    in_.set_packet_limit(std::max<std::size_t>(packet_size_, 32767));
    const std::string db = l.database.empty() ? "master" : l.database;
    {
      auto lock = ctx_.cat.lock();
      try {
        use_database(ctx_, state_, db, r);
      } catch (const sql_error&) {
        response fail = make_response();
        fail.message(sql_error{4060, 11, 1, "Cannot open database \"" + db + "\" requested by the login. The login failed."}, false);
        lock.unlock();
        return refuse(fail, l);
      }
    }
    // (The database's collation went with the database.) Language, LOGINACK, packet size.
    r.env_change(2, utf8_to_utf16(state_.lang->name), "");
    r.message(sql_error{5703, 0, 1, language_changed_text(*state_.lang)}, true);
    writer ack;
    ack.u8(1);
    const uint32_t version = (l.tds_version >> 24) == 0x74 ? 0x74000004 : l.tds_version;
    ack.u8(static_cast<uint8_t>(version >> 24)); ack.u8(static_cast<uint8_t>(version >> 16));
    ack.u8(static_cast<uint8_t>(version >> 8)); ack.u8(static_cast<uint8_t>(version));
    ack.b_varchar(utf8_to_utf16("Microsoft SQL Server"));
    int major, minor, build;
    product_version(ctx_.version(), major, minor, build);
    ack.u8(static_cast<uint8_t>(major)); ack.u8(static_cast<uint8_t>(minor));
    ack.u8(static_cast<uint8_t>(build >> 8)); ack.u8(static_cast<uint8_t>(build & 0xFF));
    r.out().u8(0xAD);
    r.out().u16(static_cast<uint16_t>(ack.size()));
    r.out().bytes(ack.out());
    const std::string size = std::to_string(packet_size_);
    r.env_change(4, utf8_to_utf16(size), utf8_to_utf16(size));
    {
      std::lock_guard<std::mutex> g(ctx_.knobs_mutex);
      trickle_ms_ = ctx_.login_trickle_ms;
    }
    finish(r);
    trickle_ms_ = 0;
    logged_in_ = true;
    return true;
  }

  // ---- bulk load
  bool bulk(packet_header h, std::string body) {
    try {
      return bulk_load(h, std::move(body));
    } catch (const session_interrupted& e) {
      if (!e.attention) throw tds_protocol_error("the session ends while waiting");
      return attention_ack();
    }
  }

  // The locks of an open batch (tds_locks.h): its rows and their keys, held
  // until the batch commits or fails, or, in a transaction, until that ends.
  struct batch_locks {
    server_context& ctx;
    session_state& s;
    std::string table;  // lock_name; empty until the batch's first row
    ~batch_locks() {
      if (table.empty()) return;
      auto lock = ctx.cat.lock();
      release();
    }
    void release() {
      if (s.tran.count == 0) ctx.locks.release(table, s.spid);
      table.clear();
    }
  };

  bool bulk_load(packet_header h, std::string body) {
    batch_locks held{ctx_, state_, {}};
    std::vector<index_def> uniques;  // the table's unique indexes, without their keys
    std::size_t keyed = 0;           // rows whose keys are held
    bulk_decoder dec;
    std::optional<sql_error> error;
    std::vector<std::vector<cell>> rows;
    std::vector<int> map;  // table column of each wire column (-1: ignored)
    table shape;           // the table's columns, copied at the first row
    int ident = -1;
    bool keep_identity = false;
    std::optional<bulk_target> target = state_.bulk;
    long drop_after;
    {
      std::lock_guard<std::mutex> g(ctx_.knobs_mutex);
      drop_after = ctx_.drop_after_bulk_rows;
    }
    if (!target) error = sql_error{4804, 16, 1, "While reading current row from host, a premature end-of-message was encountered--an incoming data stream was interrupted when the server expected to see more data. The host program may have terminated. Ensure that you are using a supported client application programming interface (API)."};
    bool prepared = false;
    auto prepare = [&] {
      prepared = true;
      if (error) return;
      auto lock = ctx_.cat.lock();
      database* db = ctx_.cat.find(target->database);
      table* t = db ? db->find(target->owner, target->table) : nullptr;
      if (!t) { error = sql_error{208, 16, 1, "Invalid object name '" + target->table + "'."}; return; }
      // Another session's schema lock (DDL in its transaction) is waited out.
      const std::string name = lock_name(db->name, t->owner, t->name);
      try {
        if (wait_while(ctx_, state_, lock, [&] { return ctx_.locks.blocks_write(name, state_.spid); })) {
          db = ctx_.cat.find(target->database);
          t = db ? db->find(target->owner, target->table) : nullptr;
          if (!t) { error = sql_error{208, 16, 1, "Invalid object name '" + target->table + "'."}; return; }
        }
      } catch (const sql_error& e) {
        error = e;
        return;
      }
      ctx_.locks.hold_rows(name, state_.spid);
      held.table = name;
      for (const auto& ix : t->indexes) {
        if (!ix.unique) continue;
        index_def u;
        u.name = name_key(ix.name);
        u.columns = ix.columns;
        u.unique = true;
        uniques.push_back(std::move(u));
      }
      shape.columns = t->columns;
      shape.name = t->name;
      shape.owner = t->owner;
      ident = t->identity_column();
      keep_identity = target->keep_identity ||
                      state_.identity_insert == name_key(db->name + "." + t->owner + "." + t->name);
      for (auto& wc : dec.columns()) {
        const std::string name = utf16_to_utf8(wc.name);
        auto declared = target->collations.find(name_key(name));
        if (declared != target->collations.end() && (is_char(wc.type.type) || is_unicode(wc.type.type)))
          wc.type.collation = declared->second;
        const int i = shape.column_index(name);
        if (i < 0 && !error) error = sql_error{207, 16, 1, "Invalid column name '" + name + "'."};
        map.push_back(i);
      }
    };
    std::vector<cell> wire_row;
    for (;;) {
      dec.feed(body);
      while (dec.next(wire_row)) {
        if (!prepared) prepare();
        const long count = ++ctx_.bulk_rows;
        if (drop_after >= 0 && count > drop_after) return false;  // the knob: the connection drops
        if (error) continue;
        try {
          rows.push_back(bulk_row(shape, dec.columns(), map, wire_row, ident, keep_identity, target->keep_nulls,
                                  state_.conversion()));
        } catch (const sql_error& e) {
          error = e;
          rows.clear();
          keyed = 0;
        }
      }
      if (!error && !uniques.empty() && keyed < rows.size()) hold_keys(rows, keyed, shape, uniques, held.table, error);
      if (h.status & status_eom) break;
      next_packet(h, body);
      if (h.type == pkt_attention) { return attention_ack(); }
      if (h.type != pkt_bulk) throw tds_protocol_error("bulk load interrupted");
    }
    dec.finish();
    if (!prepared) prepare();
    const int batch = ++ctx_.bulk_batches;
    int fail_at;
    {
      std::lock_guard<std::mutex> g(ctx_.knobs_mutex);
      fail_at = ctx_.fail_bulk_batch;
    }
    if (!error && fail_at > 0 && batch == fail_at)
      error = sql_error{4815, 16, 1, "Received an invalid column length from the bcp client for colid 1."};
    response r = make_response();
    const std::size_t n = rows.size();
    if (!error) {
      auto lock = ctx_.cat.lock();
      database* db = ctx_.cat.find(target->database);
      table* t = db ? db->find(target->owner, target->table) : nullptr;
      std::vector<row> written;  // for ROLLBACK of a batch inside a transaction
      if (state_.tran.count > 0) {
        for (const auto& cells : rows) written.emplace_back(cells);
      }
      try {
        if (!t) raise(208, 16, "Invalid object name '" + target->table + "'.");
        if (t->columns.size() != shape.columns.size()) raise(4891, 16, "Insert bulk failed due to a schema change of the target table.");
        // Identities for the rows that carry none.
        if (ident >= 0) {
          const auto& c = t->columns[static_cast<std::size_t>(ident)];
          int64_t last = t->identity_last;
          bool used = t->identity_used;
          for (auto& cells : rows) {
            cell& v = cells[static_cast<std::size_t>(ident)];
            if (v.null) {
              last = used ? last + c.increment : c.seed;
              used = true;
              value lit; lit.kind = value::integer; lit.text = std::to_string(last);
              v = convert(lit, c.type);
            } else {
              const int64_t x = std::stoll(render(c.type, v));
              if (!used || (c.increment > 0 ? x > last : x < last)) last = x;
              used = true;
            }
          }
          t->add_rows(std::move(rows));
          t->identity_last = last;
          t->identity_used = used;
        } else {
          t->add_rows(std::move(rows));
        }
        if (state_.tran.count > 0) log_rows(ctx_, state_, *db, *t, undo_step::inserted, {}, std::move(written));
      } catch (const sql_error& e) {
        error = e;
      }
      held.release();
    }
    if (error) {
      r.message(*error, false);
      r.done(0x02, 0, 0xFD, 0xF0);
    } else {
      int drop_at;
      {
        std::lock_guard<std::mutex> g(ctx_.knobs_mutex);
        drop_at = ctx_.drop_after_bulk_commit;
      }
      // The knob: the batch is stored, its answer never leaves.
      if (drop_at > 0 && ++ctx_.committed_bulk_batches == drop_at) return false;
      r.done(0x10, n, 0xFD, 0xF0);
    }
    finish(r);
    return true;
  }

  // Holds the keys of rows[from...] (waiting for another session's uncommitted
  // rows of the same keys); a lock timeout fails the batch.
  void hold_keys(std::vector<std::vector<cell>>& rows, std::size_t& from, const table& shape,
                 const std::vector<index_def>& uniques, const std::string& name, std::optional<sql_error>& error) {
    std::vector<std::pair<const std::string*, std::string>> keys;  // index, key
    keys.reserve((rows.size() - from) * uniques.size());
    for (std::size_t i = from; i < rows.size(); ++i) {
      for (const auto& ix : uniques) keys.emplace_back(&ix.name, shape.index_key(ix, rows[i]));
    }
    auto lock = ctx_.cat.lock();
    try {
      wait_while(ctx_, state_, lock, [&] {
        for (const auto& [index, key] : keys) {
          if (ctx_.locks.blocks_key(name, *index, key, state_.spid)) return true;
        }
        return false;
      });
    } catch (const sql_error& e) {
      error = e;
      rows.clear();
      from = 0;
      return;
    }
    for (const auto& [index, key] : keys) ctx_.locks.hold_key(name, *index, key, state_.spid);
    from = rows.size();
  }

  // One bulk row in the table's column order, converted to the columns' types.
  static std::vector<cell> bulk_row(const table& t, const std::vector<wire_column>& wire, const std::vector<int>& map,
                                    std::vector<cell>& in, int ident, bool keep_identity, bool keep_nulls,
                                    const conversion_context& cx) {
    std::vector<cell> cells(t.columns.size());
    std::vector<bool> given(t.columns.size(), false);
    for (std::size_t k = 0; k < wire.size(); ++k) {
      const auto i = static_cast<std::size_t>(map[k]);
      const column_def& c = t.columns[i];
      if (static_cast<int>(i) == ident && !keep_identity) continue;
      given[i] = true;
      cell& v = in[k];
      if (v.null) {
        if (!keep_nulls && c.default_text) given[i] = false;
        continue;
      }
      const column_type& wt = wire[k].type;
      if (!valid_bulk_value(wt, v))
        raise(4896, 16, "Invalid column value from bcp client for colid " + std::to_string(k + 1) + ".");
      if (wt.type == c.type.type && !is_string_like(c.type.type) && wt == c.type) {
        cells[i] = std::move(v);
        continue;
      }
      if (wt.type == c.type.type && is_string_like(c.type.type) &&
          (!is_char(wt.type) || collation(wt.collation).code_page == collation(c.type.collation).code_page)) {
        const std::size_t limit = c.type.length < 0 || is_long(c.type.type)
                                      ? SIZE_MAX
                                      : static_cast<std::size_t>(c.type.length) * (is_unicode(c.type.type) ? 2 : 1);
        if (v.bytes.size() > limit)
          raise(4815, 16, "Received an invalid column length from the bcp client for colid " + std::to_string(k + 1) + ".");
        if (c.type.type == sql_type::char_ || c.type.type == sql_type::nchar || c.type.type == sql_type::binary) {
          cells[i] = convert(value::of_typed(c.type, v), c.type, cx);
        } else {
          cells[i] = std::move(v);
        }
        continue;
      }
      cells[i] = convert(value::of_typed(wt, v), c.type, cx);
    }
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      const column_def& c = t.columns[i];
      if (!given[i] && c.default_text && !c.identity) {
        try {
          cells[i] = convert(c.default_value, c.type, cx);
        } catch (const sql_error&) {
        }
      }
      if (cells[i].null && !c.nullable && !(c.identity && static_cast<int>(i) == ident))
        raise(515, 16, "Cannot insert the value NULL into column '" + c.name + "', table '" + t.owner + "." + t.name +
                           "'; column does not allow nulls. INSERT fails.");
    }
    return cells;
  }
};

}  // namespace

void serve_connection(server_context& ctx, transport& io) {
  session s(ctx, io);
  s.run();
}

}  // namespace tds
