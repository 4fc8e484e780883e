// Locks, waits and the undo log of transactions.
#include "tests/support/tds_server/tds_locks.h"

#include <algorithm>

#include "tests/support/tds_server/tds_sql.h"

namespace tds {

std::string lock_name(std::string_view database, std::string_view owner, std::string_view table) {
  std::string n;
  n.reserve(database.size() + owner.size() + table.size() + 2);
  n.append(database).append(".").append(owner.empty() ? std::string_view("dbo") : owner).append(".").append(table);
  return name_key(n);
}

const lock_manager::table_locks* lock_manager::find(const std::string& table) const {
  auto it = tables_.find(table);
  return it == tables_.end() ? nullptr : &it->second;
}

bool lock_manager::blocks_write(const std::string& table, int spid) const {
  const table_locks* t = find(table);
  if (!t) return false;
  for (const auto& [id, h] : t->holders) {
    if (id != spid && h.schema) return true;
  }
  return false;
}

bool lock_manager::blocks_key(const std::string& table, const std::string& index, const std::string& key, int spid) const {
  const table_locks* t = find(table);
  if (!t) return false;
  auto ix = t->keys.find(index);
  if (ix == t->keys.end()) return false;
  auto k = ix->second.find(key);
  return k != ix->second.end() && k->second != spid;
}

bool lock_manager::blocks_scan(const std::string& table, int spid) const {
  const table_locks* t = find(table);
  if (!t) return false;
  for (const auto& [id, h] : t->holders) {
    if (id != spid && (h.rows || h.schema)) return true;
  }
  return false;
}

bool lock_manager::blocks_schema(const std::string& table, int spid) const {
  const table_locks* t = find(table);
  if (!t) return false;
  for (const auto& [id, h] : t->holders) {
    if (id != spid) return true;
  }
  return false;
}

bool lock_manager::has_keys(const std::string& table) const {
  const table_locks* t = find(table);
  return t && !t->keys.empty();
}

int lock_manager::holders(const std::string& table) const {
  const table_locks* t = find(table);
  return t ? static_cast<int>(t->holders.size()) : 0;
}

std::size_t lock_manager::keys(const std::string& table) const {
  const table_locks* t = find(table);
  std::size_t n = 0;
  if (t) {
    for (const auto& [index, keys] : t->keys) n += keys.size();
  }
  return n;
}

void lock_manager::hold_rows(const std::string& table, int spid) { tables_[table].holders[spid].rows = true; }
void lock_manager::hold_schema(const std::string& table, int spid) { tables_[table].holders[spid].schema = true; }

void lock_manager::hold_key(const std::string& table, const std::string& index, const std::string& key, int spid) {
  auto& t = tables_[table];
  t.holders[spid];
  t.keys[index].emplace(key, spid);
}

void lock_manager::release(const std::string& table, int spid) {
  auto it = tables_.find(table);
  if (it == tables_.end()) return;
  auto& t = it->second;
  t.holders.erase(spid);
  for (auto ix = t.keys.begin(); ix != t.keys.end();) {
    auto& keys = ix->second;
    for (auto k = keys.begin(); k != keys.end();) {
      if (k->second == spid) k = keys.erase(k);
      else ++k;
    }
    if (keys.empty()) ix = t.keys.erase(ix);
    else ++ix;
  }
  if (t.holders.empty()) tables_.erase(it);
  cv_.notify_all();
}

void lock_manager::release_all(int spid) {
  std::vector<std::string> held;
  for (const auto& [name, t] : tables_) {
    if (t.holders.count(spid)) held.push_back(name);
  }
  for (const auto& name : held) release(name, spid);
}

void lock_manager::wait(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point until) {
  if (stopping_) return;
  cv_.wait_until(lock, until);
}

void lock_manager::stop() {
  stopping_ = true;
  cv_.notify_all();
}

bool wait_while(server_context& ctx, session_state& s, std::unique_lock<std::mutex>& lock,
                const std::function<bool()>& blocked) {
  if (!blocked()) return false;
  using clock = std::chrono::steady_clock;
  // The timeout counts for each lock request, as on SQL Server.
  std::optional<clock::time_point> deadline;
  if (s.lock_timeout >= 0) deadline = clock::now() + std::chrono::milliseconds(s.lock_timeout);
  // The client is looked at between slices: an attention or a closed connection ends the wait.
  constexpr auto slice = std::chrono::milliseconds(50);
  do {
    if (ctx.locks.stopping()) throw session_interrupted{false};
    const auto now = clock::now();
    if (deadline && now >= *deadline) raise(1222, 16, "Lock request time out period exceeded.", 51);
    const auto until = deadline ? std::min(*deadline, now + slice) : now + slice;
    ctx.locks.wait(lock, until);
    if (ctx.locks.stopping()) throw session_interrupted{false};
    if (s.interrupted) s.interrupted();
  } while (blocked());
  return true;
}

void run_statement(const std::function<void()>& step) {
  for (;;) {
    try {
      step();
      return;
    } catch (const statement_retry&) {
    }
  }
}

namespace {

void hold_keys(server_context& ctx, int spid, const std::string& name, const table& t, const std::vector<row>& rows) {
  for (const auto& ix : t.indexes) {
    if (!ix.unique) continue;
    const std::string index = name_key(ix.name);
    for (const auto& r : rows) ctx.locks.hold_key(name, index, t.index_key(ix, r.cells()), spid);
  }
}

// A row's bytes, to find rows of equal content (rows of equal content are interchangeable).
std::string content(const row& r) {
  std::string s;
  for (const auto& c : r.cells()) {
    const uint32_t len = c.null ? 0xFFFFFFFF : static_cast<uint32_t>(c.bytes.size());
    s.append(reinterpret_cast<const char*>(&len), 4);
    s.append(c.bytes);
  }
  return s;
}

void undo(catalog& cat, undo_step& u) {
  database* db = cat.find(u.database);
  if (!db) return;
  if (u.kind == undo_step::schema) {
    if (!u.copy) {
      db->tables.erase(u.table);
    } else {
      db->tables[u.table] = std::make_unique<table>(*u.copy);
    }
    return;
  }
  auto it = db->tables.find(u.table);
  if (it == db->tables.end()) return;
  table& t = *it->second;
  if (u.kind == undo_step::deleted) {
    for (auto& r : u.before) t.rows.push_back(std::move(r));
  } else {
    // Inserted rows go; updated rows get their old content back.
    std::unordered_map<std::string, std::vector<std::size_t>> wanted;
    for (std::size_t i = 0; i < u.after.size(); ++i) wanted[content(u.after[i])].push_back(i);
    std::vector<row> kept;
    kept.reserve(t.rows.size());
    for (auto& r : t.rows) {
      auto w = wanted.find(content(r));
      if (w == wanted.end() || w->second.empty()) {
        kept.push_back(std::move(r));
        continue;
      }
      const std::size_t i = w->second.back();
      w->second.pop_back();
      if (u.kind == undo_step::updated) kept.push_back(std::move(u.before[i]));
    }
    t.rows = std::move(kept);
  }
  try {
    t.rebuild_keys();
  } catch (const sql_error&) {
    // Cannot happen: the keys were locked meanwhile.
  }
}

}  // namespace

void log_rows(server_context& ctx, session_state& s, const database& db, const table& t, undo_step::kind_t kind,
              std::vector<row> before, std::vector<row> after) {
  if (before.empty() && after.empty()) return;
  const std::string name = lock_name(db.name, t.owner, t.name);
  ctx.locks.hold_rows(name, s.spid);
  hold_keys(ctx, s.spid, name, t, before);
  hold_keys(ctx, s.spid, name, t, after);
  undo_step u;
  u.kind = kind;
  u.database = db.name;
  u.table = name_key(t.owner + "." + t.name);
  u.before = std::move(before);
  u.after = std::move(after);
  s.tran.undo.push_back(std::move(u));
}

void log_schema(server_context& ctx, session_state& s, const database& db, std::string_view owner,
                std::string_view name, const table* before) {
  ctx.locks.hold_schema(lock_name(db.name, owner, name), s.spid);
  undo_step u;
  u.kind = undo_step::schema;
  u.database = db.name;
  u.table = name_key(std::string(owner.empty() ? std::string_view("dbo") : owner) + "." + std::string(name));
  if (before) u.copy = std::make_shared<const table>(*before);
  s.tran.undo.push_back(std::move(u));
}

void commit_transaction(server_context& ctx, session_state& s) {
  s.tran = transaction{};
  ctx.locks.release_all(s.spid);
}

void rollback_transaction(server_context& ctx, session_state& s) {
  for (auto u = s.tran.undo.rbegin(); u != s.tran.undo.rend(); ++u) undo(ctx.cat, *u);
  s.tran = transaction{};
  ctx.locks.release_all(s.spid);
}

void end_session_locks(server_context& ctx, session_state& s) { rollback_transaction(ctx, s); }

}  // namespace tds
