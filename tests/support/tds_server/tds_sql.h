// The statements the test server understands, run against its catalog, with
// answers written as result tokens.
#pragma once

#include <atomic>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/tds_server/tds_catalog.h"
#include "tests/support/tds_server/tds_locks.h"
#include "tests/support/tds_server/tds_types.h"
#include "tests/support/tds_server/tds_wire.h"

namespace tds {

// What the whole server shares between its connections.
enum class encryption_mode;  // tds_tls.h

struct server_context {
  catalog cat;  // guarded by cat.lock()
  // Knobs, read under `knobs_mutex`.
  std::mutex knobs_mutex;
  std::string version_text;
  std::string user, password;
  bool refuse_logins = false;
  std::vector<std::string> inaccessible;  // name_key of databases
  long drop_after_bulk_rows = -1;
  int fail_bulk_batch = 0;
  int drop_after_bulk_commit = 0;
  int slow_ms = 0;
  int login_trickle_ms = 0;  // the login's answer goes out one byte at a time
  int linger_ms = 0;  // a closed connection's session ends this much later
  encryption_mode encryption{};  // how PRELOGIN answers (tds_tls.h)
  int lock_timeout_ms = -1;  // LOCK_TIMEOUT a new session starts with
  lock_manager locks;  // guarded by cat.lock()
  // Counters.
  std::atomic<long> bulk_rows{0};
  std::atomic<int> bulk_batches{0};
  std::atomic<int> committed_bulk_batches{0};  // for drop_after_bulk_commit
  std::atomic<int> next_spid{51};
  // Every batch's text (UTF-8) and RPC name, in arrival order.
  std::mutex log_mutex;
  std::vector<std::string> log;
  std::vector<login_record> logins;  // every LOGIN7, under log_mutex
  // Current databases of the open connections (name_key), for DROP DATABASE.
  std::map<int, std::string> session_dbs;  // guarded by cat.lock()

  std::string version() { std::lock_guard<std::mutex> g(knobs_mutex); return version_text; }
  // The major version the @@VERSION text gives after " - " (8 for SQL Server
  // 2000, 9 for 2005, 10 for 2008, ...); 0 when it gives none.
  int major_version() {
    const std::string v = version();
    const auto dash = v.find(" - ");
    return dash == std::string::npos ? 0 : std::atoi(v.c_str() + dash + 3);
  }
  bool is_inaccessible(std::string_view db);
};

// A result column.
struct result_column {
  std::string name;  // UTF-8
  column_type type;
  bool nullable = true;
  bool identity = false;
  std::string table;  // UTF-8, for text/ntext/image
};

// Builds the tokens of an answer; `flush` is called with full buffers so
// large results stream out.
class response {
 public:
  explicit response(std::function<void(std::string&)> flush) : flush_(std::move(flush)) {}
  // The bytes not yet handed out.
  writer& out() { return w_; }
  void columns(const std::vector<result_column>& cols);
  void row(const std::vector<result_column>& cols, const std::vector<cell>& cells);
  // A DONE-family token. It is held back until the next token, so that only
  // the last one of the answer goes out without the "more" bit.
  void done(uint16_t status, uint64_t count, uint8_t token = 0xFD, uint16_t cmd = 0xC1);
  void message(const sql_error& e, bool info);
  void env_change(uint8_t type, std::string_view new_u16, std::string_view old_u16);
  void env_change_bytes(uint8_t type, std::string_view new_bytes, std::string_view old_bytes);
  void return_status(int32_t v);
  void maybe_flush();  // hands out the buffer once it is large
  // Ends the answer: the held DONE goes out as the last token (a plain DONE if none).
  void finish(uint16_t extra_status = 0);
  bool errored = false;  // an error was written for the current statement
  std::optional<sql_error> first_error;  // of the whole answer
 private:
  struct held { uint16_t status; uint16_t cmd; uint64_t count; uint8_t token; };
  void release(bool more);
  std::optional<held> held_;
  writer w_;
  std::function<void(std::string&)> flush_;
};

// The target of an open "insert bulk" statement.
struct bulk_target {
  std::string database;
  std::string owner, table;
  bool keep_nulls = false;     // hint KEEP_NULLS: NULL stays NULL instead of the default
  bool keep_identity = false;  // hint KEEPIDENTITY
  // Columns the statement gives a COLLATE: their text arrives in its code page
  // (the bulk metadata carries the connection's collation for every column).
  std::map<std::string, uint16_t> collations;  // by name_key of the column
};

// One connection's state.
struct session_state {
  int spid = 0;
  std::string database = "master";
  std::string user;                 // the login
  bool sysadmin = false;            // the login is a member of sysadmin
  std::string db_user = "dbo";      // its user in the current database
  std::string default_schema = "dbo";
  std::optional<std::string> identity_insert;  // name_key of db.owner.table
  bool fmtonly = false;
  bool quoted_identifier = true;  // SET QUOTED_IDENTIFIER; a login without the ODBC flag starts with it OFF
  std::optional<int64_t> last_identity;
  std::map<std::string, value> variables;  // name_key("@x") -> value (sp_executesql parameters)
  std::optional<bulk_target> bulk;          // set by "insert bulk", used by the next bulk message
  int lock_timeout = -1;                     // SET LOCK_TIMEOUT (ms; -1 waits for ever)
  std::function<void()> interrupted;        // looked at while waiting; throws session_interrupted
  transaction tran;                          // BEGIN TRAN ... COMMIT/ROLLBACK
  const language* lang = &us_english();      // SET LANGUAGE; the login's at start
  date_order dateformat = date_order::mdy;   // SET DATEFORMAT; the language's at start
  uint16_t db_collation = default_collation;  // of the current database
  conversion_context conversion() const { return {dateformat, lang, collation(db_collation).code_page}; }
};

// Runs a batch (UTF-8 text). Statement errors become ERROR tokens; the batch
// goes on after those SQL Server lets it go on after.
void run_batch(server_context& ctx, session_state& s, std::string_view sql, response& out);
// Runs an RPC: sp_executesql and the catalog procedures.
struct rpc_request;
void run_rpc(server_context& ctx, session_state& s, const rpc_request& rpc, response& out);

// Switches the session's database (USE, login): 911 for none, 916 when not
// accessible or when the login has no user there (nor may enter as guest).
void use_database(server_context& ctx, session_state& s, std::string_view name, response& out);

// SQL Server's text of a DONE command for a statement kind.
}  // namespace tds
