// An in-memory SQL Server stand-in for the tests: it speaks TDS 7.4 on a TCP
// port of 127.0.0.1, enough for FreeTDS's db-lib, bulk copy, tsql and freebcp.
//
//   tds::server_options o;          // user "sa", password "orv-Test-1", any free port
//   tds::server srv(o);             // listening once constructed
//   ... connect FreeTDS to 127.0.0.1:srv.port() ...
//   auto rows = srv.rows("db", "t"); // what arrived, byte for byte
//
// What it understands: PRELOGIN (encryption negotiated as SQL Server does,
// see tds_tls.h), LOGIN7, SQL batches, RPC (sp_executesql and the catalog procedures
// sp_tables, sp_columns, sp_pkeys, sp_statistics, sp_fkeys), attention, and
// bulk loads ("insert bulk" followed by the bulk message). Statements: CREATE/
// DROP DATABASE [COLLATE], USE, SET (IDENTITY_INSERT, FMTONLY, QUOTED_IDENTIFIER,
// LANGUAGE, DATEFORMAT, LOCK_TIMEOUT; other options accepted), SELECT of
// expressions (literals, ODBC { ts '...' } escapes, CONVERT/CAST, @@VERSION,
// @@LANGUAGE, @@IDENTITY, SCOPE_IDENTITY(), DB_NAME(), OBJECT_ID(),
// COLLATIONPROPERTY(), DATABASEPROPERTYEX(), HAS_PERMS_BY_NAME(), IS_MEMBER(),
// IS_SRVROLEMEMBER(), ...), SELECT [TOP n] */columns/COUNT(*) FROM t or
// INFORMATION_SCHEMA.COLUMNS [WHERE c = v [AND ...]] [ORDER BY ...], SELECT
// COUNT(*) FROM (query) AS q, CREATE/DROP TABLE (columns with COLLATE,
// DEFAULT, CHECK), CREATE [filtered]/DROP INDEX, ALTER TABLE ALTER COLUMN / ADD
// / ADD CONSTRAINT (keys, CHECK, DEFAULT ... FOR) / DROP CONSTRAINT, INSERT ...
// VALUES (one or many rows), UPDATE ... SET ... WHERE c = v, DELETE, TRUNCATE
// TABLE, EXEC; CREATE/ALTER LOGIN, CREATE USER, CREATE SCHEMA, GRANT / REVOKE /
// DENY, ALTER ROLE / ALTER SERVER ROLE ... ADD MEMBER, sp_adduser,
// sp_addrolemember, sp_addsrvrolemember.
// Anything else gets error 102 with SQL Server's text. Errors carry SQL
// Server's numbers, classes, states and texts (208, 2714, 1801, 1913, 2627,
// 2601, 547, 515, 241, 242, 245, 8115, 3701, 4060, 18456, ...), followed by
// 3621 or 1750 where SQL Server sends them. A syntax error runs nothing of its
// batch.
//
// SQL Server's rules that our client's outcome depends on (2012 and later):
// - '' and text of blanks into a typed column: 0 for the integer types, bit,
//   float, real and money; 1900-01-01 00:00:00 for the date and time types;
//   8114 for decimal/numeric, 8169 for uniqueidentifier.
// - Text to a date by the session's date order and language (tds_dates.h,
//   tds_languages.h): a login's default language (us_english unless set),
//   unless its login record names one (FreeTDS names us_english unless
//   freetds.conf says otherwise); SET LANGUAGE, SET DATEFORMAT. Month names of
//   the session's language, two-digit years to 2049, at most three fraction
//   digits for datetime and smalldatetime (241), days not in the calendar 242
//   to those and 241 to the newer types; smalldatetime rounds up from 29.999
//   seconds; a number is days since 1900-01-01 with its fraction the time of
//   day. Money text may carry a currency sign and commas, float text no NaN or
//   inf; GUID text is cut to its 36 characters.
// - Collations (tds_collation.h): the server's SQL_Latin1_General_CP1_CI_AS,
//   a database's, a column's; char, varchar and text hold the bytes of the
//   column's code page (a character it lacks: a near one, else '?', as
//   Windows's best fit), '...' literals those of the database's; a bulk load's
//   text is read in the code page of the collation its metadata (FreeTDS: the
//   connection's) or its statement declares.
// - ALTER COLUMN of a column a primary or foreign key uses, or an index or
//   unique key unless it only widens varchar/nvarchar/varbinary, or whose
//   DEFAULT does not allow a change of type, or a CHECK uses unless only the
//   length of a variable-length type changes (a new collation: any index, key
//   or CHECK): 5074 per object, then 4922; an index key of a (max) or LOB
//   type: 1919. Unnamed DEFAULT and CHECK constraints are named DF__t__c__...
//   and CK__t__...; CHECK conditions are kept, not enforced.
// - At most 1,024 columns (1702), 8,060 bytes of fixed-length columns and
//   overhead a row (1701), identifiers of at most 128 characters (103);
//   tables and constraints share one namespace per schema (2714).
// - A value too long for its column: 2628 with the table, column and cut value
//   when @@VERSION presents SQL Server 2019 or later, 8152 before.
//   CONVERT and CAST cut text and binary values to their size without one.
// - A login without LOGIN7's ODBC flag (DB-Library: db-lib, freebcp) starts
//   with QUOTED_IDENTIFIER OFF, one with it (tsql, ODBC) ON. CREATE INDEX ...
//   WHERE makes a filtered index (the condition kept, not evaluated); while
//   QUOTED_IDENTIFIER is OFF, creating one and INSERT, UPDATE or DELETE on its
//   table fail with 1934.
// - A bulk datetime whose time of day is 300 x 86,400 ticks or more (or a
//   smalldatetime of 1,440 minutes or more) fails its batch with 4896.
//
// Logins: the server's own (sysadmin, "sa") and any added (options, add_login,
// --login, CREATE LOGIN from a sysadmin session), each with a default language
// and perhaps dbcreator. The login that creates a database is its dbo, as
// every sysadmin is; another login enters a database only through a user made
// for it (CREATE USER [u] [FOR LOGIN [l]] [WITH DEFAULT_SCHEMA = [s]],
// sp_adduser) or as guest in master, tempdb and msdb, else 916 on USE and 4060
// at login. A table created without a schema goes into the user's default
// schema (dbo unless given; CREATE SCHEMA [s] [AUTHORIZATION [u]]; 2760 when
// it does not exist); unqualified names look there first, then in dbo;
// SCHEMA_NAME(), USER_NAME(), SUSER_SNAME() answer accordingly. Under the SQL
// Server 2000 @@VERSION the owner is the user's name and there are no schemas.
// Permissions (tds_permissions.h): creating, changing, truncating and dropping
// tables and their indexes, and creating and dropping databases, as SQL Server
// checks them; nothing else: every user of a database may read and write the
// rows of any table there.
//
// Names compare without regard to case; text columns keep what arrived:
// nchar/nvarchar/ntext as UTF-16LE (surrogate pairs kept), char/varchar/text
// in their column's code page.
// Bulk loads: the rows of a batch are kept only when the whole batch is good
// (unique keys and NOT NULL are checked, foreign keys are not, as with bcp);
// NULL takes the column's default unless the load says KEEP_NULLS.
//
// Sessions and locks (tds_locks.h): the rows of an open bulk batch (until its
// DONE, bcp_batch or bcp_done) and of an open transaction (BEGIN TRAN ...
// COMMIT/ROLLBACK, @@TRANCOUNT; 3902/3903) are locked by row and key as SQL
// Server locks them without TABLOCK. Another session waits on a conflict only:
// the same unique key (then 2627/2601 once the holder commits), a scan of the
// table (SELECT, UPDATE, DELETE), or ALTER, TRUNCATE, DROP, CREATE/DROP INDEX.
// SET LOCK_TIMEOUT is honoured (1222); a failed batch, a rollback or a closed
// connection releases the locks and the rows vanish. A waiting session stops
// on an attention, when its connection closes, or when the server stops.
//
// For tests in another process, scripts/tds-server starts the program
// orv_tds_server and writes ORV_MSS_HOST, _PORT, _USER, _PASSWORD.
//
// Every connection runs on a thread of its own. The catalog is shared and
// guarded by one mutex; all the inspection calls below may be made while
// clients are connected. The server is test equipment: it keeps everything in
// memory and trusts no input (malformed packets close their connection).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/tds_server/tds_catalog.h"
#include "tests/support/tds_server/tds_tls.h"
#include "tests/support/tds_server/tds_types.h"

namespace tds {

// @@VERSION texts of the SQL Server versions tests may pretend to be.
extern const char* const version_2000;
extern const char* const version_2005;
extern const char* const version_2008;
extern const char* const version_2012;
extern const char* const version_2019;
extern const char* const version_2022;

// A login besides the server's own (SQL Server authentication).
struct login_option {
  std::string name, password;
  bool sysadmin = false;
  std::string language = "us_english";  // the login's default language (name or alias)
  bool dbcreator = false;               // a member of the dbcreator server role
};


struct server_options {
  std::string host = "127.0.0.1";
  uint16_t port = 0;  // 0: a free port, see server::port()
  // The server's own login, a member of sysadmin (SQL Server authentication).
  std::string user = "sa";
  std::string password = "orv-Test-1";
  // Further logins; without sysadmin they get into a database only through a
  // user made for them there (CREATE USER ... FOR LOGIN), or as its creator.
  std::vector<login_option> logins;
  std::string version_text = version_2019;
  // Knobs (all can also be changed while the server runs, see below).
  bool refuse_logins = false;                 // every login gets 18456
  std::vector<std::string> inaccessible;      // databases that exist but cannot be opened (4060 at login, 916 on USE)
  long drop_after_bulk_rows = -1;             // close a bulk connection once this many bulk rows arrived (server-wide count)
  int fail_bulk_batch = 0;                    // bulk batch k (1-based, server-wide) fails with error 4815
  int drop_after_bulk_commit = 0;             // bulk batch k (1-based, server-wide) commits, then its connection closes unanswered
  int slow_ms = 0;                            // every answer waits this long (an attention cuts it short)
  int login_trickle_ms = 0;                   // the answer to LOGIN7 goes out one byte every this many ms
  // PRELOGIN's answer: the login in TLS, the whole session when the client
  // asks (SQL Server's); "not supported" (everything in clear); or forced.
  encryption_mode encryption = encryption_mode::sql_server;
  // The LOCK_TIMEOUT (ms) a new session starts with; -1 waits for ever, as SQL
  // Server does. Tests may set it so that a client waiting on its own other
  // connection fails with 1222 instead of hanging.
  int lock_timeout_ms = -1;
  std::vector<std::string> databases;         // created at start
};

// A column as stored in the catalog.
struct column_info {
  std::string name;  // UTF-8
  column_type type;
  bool nullable = true;
  bool identity = false;
  int64_t seed = 1, increment = 1;
  std::optional<std::string> default_text;  // as sp_columns shows it
  std::string default_name;                 // its DEFAULT constraint's
};

struct check_info {
  std::string name, text;
  std::vector<std::string> columns;
};

struct index_info {
  std::string name;
  std::vector<std::string> columns;
  bool unique = false, primary = false, clustered = false, constraint = false;
  std::string filter;  // a filtered index's condition as written ("" for none)
};

struct foreign_key_info {
  std::string name;
  std::vector<std::string> columns;
  std::string ref_owner, ref_table;
  std::vector<std::string> ref_columns;
  std::string on_delete, on_update;  // "NO ACTION", "CASCADE", "SET NULL", "SET DEFAULT"
};

struct server_context;

class server {
 public:
  // Listens at once; throws std::runtime_error when it cannot.
  explicit server(server_options options = {});
  ~server();  // stops
  server(const server&) = delete;
  server& operator=(const server&) = delete;

  uint16_t port() const { return port_; }
  const std::string& user() const { return options_.user; }
  const std::string& password() const { return options_.password; }
  // Stops listening and closes every connection; waits for their threads.
  void stop();

  // ---- knobs ----
  void set_version(std::string text);
  void set_refuse_logins(bool on);
  void set_inaccessible(const std::string& database, bool inaccessible);
  // Closes the connection of the bulk load during which the server-wide bulk row
  // count passes n (-1: never). The count restarts at 0 when this is called.
  void set_drop_after_bulk_rows(long n);
  // Bulk batch k (1-based, counted server-wide from this call) is refused with
  // error 4815 and its rows are not kept (0: none). As with any refused batch
  // (a duplicate key, a NULL in a NOT NULL column), FreeTDS's bulk copy cannot go
  // on afterwards: the client opens another connection.
  void set_fail_bulk_batch(int k);
  // The k-th bulk batch that commits (1-based, counted server-wide from this
  // call; 0: none) keeps its rows, and its connection is closed before the
  // answer goes out: the client cannot tell whether the batch was stored.
  void set_drop_after_bulk_commit(int k);
  void set_slow_answer(int ms);
  // The answer to a login goes out one byte every ms (0: at once), as a server that
  // answers but never finishes: each read of the client gets a byte in time.
  void set_login_trickle(int ms);
  // How the next connections' PRELOGIN is answered (see server_options).
  void set_encryption(encryption_mode mode);
  // A session whose client closed its connection ends (leaves its database)
  // ms later, as a server that notices the close late.
  void set_session_linger(int ms);
  // Adds a login (or gives an existing one this password and roles).
  void add_login(const std::string& name, const std::string& password, bool sysadmin = false, bool dbcreator = false);
  // The LOCK_TIMEOUT of sessions that log in from now on (see server_options).
  void set_lock_timeout(int ms);

  // ---- inspection: what is stored, exactly ----
  bool has_database(const std::string& name);
  bool has_table(const std::string& database, const std::string& table, const std::string& owner = "dbo");
  std::vector<std::string> tables(const std::string& database);  // "owner.name", sorted
  // Throws std::out_of_range when the database or table does not exist.
  std::vector<column_info> columns(const std::string& database, const std::string& table, const std::string& owner = "dbo");
  std::vector<std::vector<cell>> rows(const std::string& database, const std::string& table, const std::string& owner = "dbo");
  std::size_t row_count(const std::string& database, const std::string& table, const std::string& owner = "dbo");
  std::vector<index_info> indexes(const std::string& database, const std::string& table, const std::string& owner = "dbo");
  std::vector<foreign_key_info> foreign_keys(const std::string& database, const std::string& table, const std::string& owner = "dbo");
  std::vector<check_info> checks(const std::string& database, const std::string& table, const std::string& owner = "dbo");
  // Every SQL batch (UTF-8) and RPC ("RPC name") received, in order.
  std::vector<std::string> received();
  // Every LOGIN7 received, in order.
  std::vector<login_record> logins_received();
  long bulk_rows() const;     // bulk rows received since start (or since the last knob change)
  int bulk_batches() const;   // bulk batches committed or failed
  int connections() const;    // connections open now
  // Uncommitted work in a table: the sessions holding locks on it (an open bulk
  // batch, a transaction) and the unique keys they hold.
  struct lock_info {
    int sessions = 0;
    std::size_t keys = 0;
  };
  lock_info locks(const std::string& database, const std::string& table, const std::string& owner = "dbo");

  // Runs a batch on the server's own session (setup for tests); throws
  // sql_error on the first error. It waits on other sessions' locks as any
  // session does, up to the server's lock timeout.
  void execute(const std::string& sql, const std::string& database = "master");

 private:
  void accept_loop();
  void serve(int fd);
  table& find_table(const std::string& database, const std::string& table, const std::string& owner);

  server_options options_;
  std::unique_ptr<server_context> ctx_;
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  struct connection;
  std::mutex connections_mutex_;
  std::vector<std::shared_ptr<connection>> connections_;
  std::atomic<int> open_{0};
};

// Convenience readers of stored cells (see tds_types.h for their layout).
int64_t cell_int(const cell& c);              // tinyint..bigint, bit
double cell_double(const cell& c);            // real, float
std::u16string cell_utf16(const cell& c);     // nchar/nvarchar/ntext
std::string cell_utf8(const column_type& t, const cell& c);  // any text type as UTF-8
// The value rendered as text (decimals with their scale, datetime "yyyy-mm-dd hh:mm:ss.mmm").
std::string cell_text(const column_type& t, const cell& c);
// datetime: days since 1900-01-01 and 1/300 s ticks since midnight.
void cell_datetime(const cell& c, int32_t& days, uint32_t& ticks);

}  // namespace tds
