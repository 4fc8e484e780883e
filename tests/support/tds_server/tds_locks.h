// Locks of uncommitted work in the test server, taken as SQL Server takes
// them without TABLOCK. An open bulk-load batch or a transaction holds the
// keys it wrote (per unique index), its rows (another session's scan of the
// table waits while they are uncommitted) and, for DDL in a transaction, the
// table's schema (every other access waits). Another session waits only on
// a conflict: the same unique key, a scan of the table, or ALTER, TRUNCATE
// or DROP of it. A waiting session sleeps on a condition variable of the
// catalog mutex, up to its LOCK_TIMEOUT (1222), and stops waiting when its
// client sends an attention or goes away, or when the server stops.
//
// Rows of a transaction are written into the table at once and taken back at
// ROLLBACK (or when the session ends) from an undo log; rows of an open bulk
// batch reach the table only when the batch commits. The inspection calls of
// tds::server see a transaction's rows as they are stored.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tests/support/tds_server/tds_catalog.h"

namespace tds {

// Thrown out of a statement that had to wait: it runs again from its start,
// as the tables may have changed meanwhile. Not an std::exception, so that no
// handler of statement errors takes it.
struct statement_retry {};
// Thrown out of a waiting statement whose session must stop: its client sent
// an attention (cancel) or closed the connection, or the server stops.
struct session_interrupted {
  bool attention = false;
};

// The name a table is locked by: its database, owner and name (name_key form).
std::string lock_name(std::string_view database, std::string_view owner, std::string_view table);

// Every call is made under the catalog mutex.
class lock_manager {
 public:
  // Whether another session's locks conflict with what `spid` asks for.
  bool blocks_write(const std::string& table, int spid) const;   // an insert: another's schema lock
  bool blocks_key(const std::string& table, const std::string& index, const std::string& key, int spid) const;
  bool blocks_scan(const std::string& table, int spid) const;    // another's uncommitted rows or schema lock
  bool blocks_schema(const std::string& table, int spid) const;  // any lock of another session
  // Whether any session holds keys of this table (the cheap test before computing keys).
  bool has_keys(const std::string& table) const;
  // For inspection: the sessions holding locks on a table, and the keys they hold.
  int holders(const std::string& table) const;
  std::size_t keys(const std::string& table) const;

  // Locks held until released.
  void hold_rows(const std::string& table, int spid);   // uncommitted rows
  void hold_key(const std::string& table, const std::string& index, const std::string& key, int spid);
  void hold_schema(const std::string& table, int spid);
  void release(const std::string& table, int spid);
  void release_all(int spid);

  // Sleeps until a release, the stop, or `until`; the mutex is free meanwhile.
  void wait(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point until);
  void stop();  // wakes every waiter for good
  bool stopping() const { return stopping_; }

 private:
  struct holder {
    bool rows = false;
    bool schema = false;
  };
  struct table_locks {
    std::unordered_map<int, holder> holders;  // by spid
    std::unordered_map<std::string, std::unordered_map<std::string, int>> keys;  // index -> key -> spid
  };
  const table_locks* find(const std::string& table) const;
  std::unordered_map<std::string, table_locks> tables_;
  std::condition_variable cv_;
  bool stopping_ = false;
};

// What a transaction changed, to be taken back at ROLLBACK.
struct undo_step {
  enum kind_t { inserted, deleted, updated, schema } kind = inserted;
  std::string database, table;  // the database's name, name_key("owner.name")
  std::vector<row> before, after;  // rows: deleted (before), inserted (after), updated (both, pairwise)
  std::shared_ptr<const tds::table> copy;  // schema: the table as it was (null: it did not exist)
};

struct transaction {
  int count = 0;  // @@TRANCOUNT
  std::vector<undo_step> undo;
};

struct server_context;
struct session_state;

// Waits while blocked() holds, up to the session's lock timeout (1222); true
// when it waited. Throws session_interrupted when the session must stop.
bool wait_while(server_context& ctx, session_state& s, std::unique_lock<std::mutex>& lock,
                const std::function<bool()>& blocked);
// Runs one statement, again from its start each time it waited on a lock.
void run_statement(const std::function<void()>& step);

// A transaction's change of rows in a table: logged for ROLLBACK, its rows and
// keys (old and new) held until the transaction ends.
void log_rows(server_context& ctx, session_state& s, const database& db, const table& t, undo_step::kind_t kind,
              std::vector<row> before, std::vector<row> after);
// A transaction's change of a table's definition (ALTER, TRUNCATE, CREATE, DROP):
// before: the table before the change (null when it is being created).
void log_schema(server_context& ctx, session_state& s, const database& db, std::string_view owner,
                std::string_view name, const table* before);
void commit_transaction(server_context& ctx, session_state& s);
void rollback_transaction(server_context& ctx, session_state& s);
// A session ends: its transaction is rolled back and its locks released.
void end_session_locks(server_context& ctx, session_state& s);

}  // namespace tds
