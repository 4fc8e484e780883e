#include "platform/tds/tds_link.h"

#include "platform/tds/tds_sybdb.h"

#include <algorithm>
#include <cstring>

#include "TK/tk_trace.h"
#include "platform/oledb/text16.h"
#include "platform/tds/tds_cells.h"
#include "platform/tds/tds_encryption.h"
#include "platform/tds/tds_error.h"
#include "platform/tds/tds_settings.h"
#include "platform/tds/tds_sql.h"

struct tds_dbprocess {
  DBPROCESS* process = nullptr;
};

namespace {

// Server type codes of the column information.
constexpr int server_nvarchar = 231, server_nchar = 239, server_ntext = 99, server_varchar = 167, server_char = 175,
              server_text = 35, server_image = 34, server_xml = 241;


tds_column describe(DBPROCESS* p, int i) {
  tds_column c;
  c.name = utf8_to_wide(dbcolname(p, i) ? dbcolname(p, i) : "");
  DBCOL2 info{};
  info.SizeOfStruct = sizeof info;
  const bool have = dbcolinfo(p, CI_REGULAR, i, 0, reinterpret_cast<DBCOL*>(&info)) == SUCCEED;
  const int type = dbcoltype(p, i);
  const int server = have ? info.ServerType : type;
  c.server_type = server;
  c.nullable = have ? info.Null != 0 : true;
  c.identity = have && info.Identity;
  switch (type) {
    case SYBINT1: c.type = DBTYPE_UI1; c.size = 1; break;
    case SYBINT2: c.type = DBTYPE_I2; c.size = 2; break;
    case SYBINT4: c.type = DBTYPE_I4; c.size = 4; break;
    case SYBINT8: c.type = DBTYPE_I8; c.size = 8; break;
    case SYBREAL: c.type = DBTYPE_R4; c.size = 4; break;
    case SYBFLT8: c.type = DBTYPE_R8; c.size = 8; break;
    case SYBBIT: case SYBBITN: c.type = DBTYPE_BOOL; c.size = 2; break;
    case SYBMONEY: case SYBMONEY4: c.type = DBTYPE_CY; c.size = 8; break;
    case SYBDATETIME: case SYBDATETIME4: case SYBMSDATETIME2: case SYBMSDATETIMEOFFSET:
      c.type = DBTYPE_DBTIMESTAMP; c.size = sizeof(DBTIMESTAMP); break;
    case SYBMSDATE: c.type = DBTYPE_DBDATE; c.size = sizeof(DBDATE); break;
    case SYBMSTIME: c.type = DBTYPE_DBTIME; c.size = sizeof(DBTIME); break;
    case SYBDECIMAL: case SYBNUMERIC: {
      DBTYPEINFO* t = dbcoltypeinfo(p, i);
      c.type = DBTYPE_NUMERIC;
      c.size = sizeof(DB_NUMERIC);
      c.precision = static_cast<BYTE>(t ? t->precision : (have ? info.Precision : 38));
      c.scale = static_cast<BYTE>(t ? t->scale : (have ? info.Scale : 0));
      break;
    }
    case SYBUNIQUE: c.type = DBTYPE_GUID; c.size = 16; break;
    case SYBBINARY: case SYBVARBINARY: case SYBIMAGE:
      c.type = DBTYPE_BYTES;
      c.is_long = type == SYBIMAGE || server == server_image || (have ? info.MaxLength : dbcollen(p, i)) >= 0x3FFFFFFF;
      c.size = c.is_long ? 2147483647u : static_cast<DBLENGTH>(have ? info.MaxLength : dbcollen(p, i));
      break;
    default: {
      c.type = DBTYPE_WSTR;
      c.unicode = server == server_nvarchar || server == server_nchar || server == server_ntext ||
                  server == server_xml || !(server == server_varchar || server == server_char || server == server_text);
      c.is_long = server == server_ntext || server == server_text || server == server_xml;
      // With a UTF-8 client charset db-lib reports four bytes a character,
      // for char and nchar types alike.
      const DBINT length = have ? info.MaxLength : dbcollen(p, i);
      if (c.is_long || length >= 0x3FFFFFFF)
        c.is_long = true, c.size = 1073741823u;
      else
        c.size = static_cast<DBLENGTH>(length / 4);
      break;
    }
  }
  return c;
}

tds_cell read_cell(DBPROCESS* p, int i, const tds_column& column) {
  tds_cell cell;
  BYTE* data = dbdata(p, i);
  DBINT length = dbdatlen(p, i);
  if (!data) return cell;  // NULL: an empty text or binary value has data of length 0
  cell.null = false;
  const int type = dbcoltype(p, i);
  auto put = [&](const void* v, std::size_t n) {
    const BYTE* b = static_cast<const BYTE*>(v);
    cell.bytes.assign(b, b + n);
  };
  switch (type) {
    case SYBINT1: case SYBINT2: case SYBINT4: case SYBINT8: case SYBREAL: case SYBFLT8:
      put(data, static_cast<std::size_t>(length));
      break;
    case SYBBIT: case SYBBITN: {
      VARIANT_BOOL b = *data ? VARIANT_TRUE : VARIANT_FALSE;
      put(&b, sizeof b);
      break;
    }
    case SYBMONEY: {
      DBMONEY m;
      std::memcpy(&m, data, sizeof m);
      long long v = (static_cast<long long>(m.mnyhigh) << 32) | m.mnylow;
      put(&v, sizeof v);
      break;
    }
    case SYBMONEY4: {
      DBMONEY4 m;
      std::memcpy(&m, data, sizeof m);
      long long v = m.mny4;
      put(&v, sizeof v);
      break;
    }
    case SYBDATETIME: case SYBDATETIME4: case SYBMSDATETIME2: case SYBMSDATETIMEOFFSET: case SYBMSDATE:
    case SYBMSTIME: {
      DBDATEREC2 d{};
      if (dbanydatecrack(p, &d, type, data) != SUCCEED) return tds_cell{};
      DBTIMESTAMP ts{static_cast<SHORT>(d.dateyear), static_cast<USHORT>(d.datemonth + 1),
                     static_cast<USHORT>(d.datedmonth), static_cast<USHORT>(d.datehour),
                     static_cast<USHORT>(d.dateminute), static_cast<USHORT>(d.datesecond),
                     static_cast<ULONG>(d.datensecond)};
      if (column.type == DBTYPE_DBDATE) {
        DBDATE v{ts.year, ts.month, ts.day};
        put(&v, sizeof v);
      } else if (column.type == DBTYPE_DBTIME) {
        DBTIME v{ts.hour, ts.minute, ts.second};
        put(&v, sizeof v);
      } else {
        put(&ts, sizeof ts);
      }
      break;
    }
    case SYBDECIMAL: case SYBNUMERIC: {
      DB_NUMERIC n;
      tds_numeric_from_db(data, &n);
      put(&n, sizeof n);
      break;
    }
    case SYBUNIQUE: case SYBBINARY: case SYBVARBINARY: case SYBIMAGE:
      put(data, static_cast<std::size_t>(length));
      break;
    default: {
      if (type == SYBCHAR || type == SYBVARCHAR || type == SYBTEXT || type == SYBNVARCHAR || type == SYBNTEXT) {
        std::u16string text = utf8_to_utf16(std::string_view(reinterpret_cast<char*>(data), length));
        put(text.data(), text.size() * 2);
      } else {
        // Anything else as its text.
        std::string buffer(static_cast<std::size_t>(length) * 4 + 64, '\0');
        DBINT n = dbconvert(p, type, data, length, SYBCHAR, reinterpret_cast<BYTE*>(buffer.data()),
                            static_cast<DBINT>(buffer.size()));
        if (n < 0) n = 0;
        std::u16string text = utf8_to_utf16(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        put(text.data(), text.size() * 2);
      }
      break;
    }
  }
  return cell;
}

// db-lib ends a login that failed in TLS, or that the server refused for
// want of encryption, with "connection failed" alone: the reason, when
// encryption is it, goes first. Not after a timeout (asking again would
// double the wait) nor when the server gave its own reason.
void explain_failed_login(const tds_login& login, const tds_encryption& encryption) {
  std::vector<tds_message> messages = tds_messages();
  for (const auto& m : messages)
    if (!m.client || m.number == SYBETIME) return;
  const std::string reason = tds_encryption_failure(login.server, encryption, std::min(login.login_timeout, 5));
  if (reason.empty()) return;
  tds_message m;
  m.text = reason;
  m.client = true;
  messages.insert(messages.begin(), m);
  tds_clear_messages();
  for (const auto& each : messages) tds_add_message(each);
}

// What one field of the login record holds at most, in bytes of the client's
// character set (UTF-8).
constexpr std::size_t login_field_bytes = 128;

void login_refused(const std::string& text) {
  tds_message m;
  m.number = SYBENTLL;
  m.text = text;
  m.client = true;
  tds_add_message(m);
}

// Every setting of the login record, each result checked: false, with the
// reason collected, when one cannot be made (the database is left out when
// without_database).
bool fill_login(LOGINREC* rec, const tds_login& login, bool without_database) {
  const std::pair<const std::string*, const char*> texts[] = {
      {&login.user, "The login name"}, {&login.password, "The password"}, {&login.database, "The database name"}};
  for (const auto& [text, what] : texts) {
    if (text == &login.database && without_database) continue;
    if (text->size() > login_field_bytes) {
      login_refused(std::string(what) + " is longer than a login can carry (" + std::to_string(login_field_bytes) +
                    " bytes in UTF-8).");
      return false;
    }
  }
  bool ok = true;
  if (!login.integrated) {
    ok = ok && DBSETLUSER(rec, login.user.c_str()) == SUCCEED;
    ok = ok && DBSETLPWD(rec, login.password.c_str()) == SUCCEED;
  } else {
    ok = ok && DBSETLNETWORKAUTH(rec, TRUE) == SUCCEED;
  }
  ok = ok && DBSETLAPP(rec, "Dunmere") == SUCCEED;
  ok = ok && DBSETLCHARSET(rec, "UTF-8") == SUCCEED;
  ok = ok && DBSETLUTF16(rec, TRUE) == SUCCEED;
  ok = ok && DBSETLVERSION(rec, DBVERSION_74) == SUCCEED;
  ok = ok && BCP_SETL(rec, TRUE) == SUCCEED;
  if (ok && !without_database && !login.database.empty()) ok = DBSETLDBNAME(rec, login.database.c_str()) == SUCCEED;
  if (!ok && tds_messages().empty()) login_refused("A setting of the login could not be made.");
  return ok;
}

// A failure of a dead (or never made) connection that db-lib reported to
// nobody is still a connection failure, with its text.
void connection_failed(std::size_t messages_before, int number, const char* text) {
  if (tds_messages().size() > messages_before) return;
  tds_message m;
  m.number = number;
  m.text = text;
  m.client = true;
  tds_add_message(m);
}

}  // namespace

tds_link::tds_link(const tds_login& login) : login_(login) {
  if (!tds_library_init()) {
    tds_message m;
    m.number = SYBEMEM;
    m.text = "db-lib cannot start";
    m.client = true;
    tds_add_message(m);
    return;
  }
  const std::size_t before = tds_messages().size();
  LOGINREC* rec = dblogin();
  if (!rec) {
    connection_failed(before, SYBEMEM, "db-lib cannot make a login record");
    return;
  }
  // A database whose name does not fit the login record is reached once
  // logged in.
  const bool use_database = login.database.size() > login_field_bytes;
  if (!fill_login(rec, login, use_database)) {
    dbloginfree(rec);
    return;
  }
  dbsetlogintime(login.login_timeout);
  // Encryption: asked for, or required (see tds_encryption.h).
  const tds_encryption encryption = tds_encryption_setting();
  DBPROCESS* p = nullptr;
  {
    const tds_login_configuration configuration(login.server, encryption);
    tds_login_scope scope;
    p = dbopen(rec, login.server.c_str());
  }
  dbloginfree(rec);
  if (!p) {
    explain_failed_login(login, encryption);
    connection_failed(before, SYBECONN, "The connection to the server cannot be made.");
    return;
  }
  process_ = std::make_unique<tds_dbprocess>();
  process_->process = p;
  if ((use_database && !run(L"USE " + tsql_name(utf8_to_wide(login.database)))) || !run(tsql_session_settings(tds_lock_timeout_ms()))) {
    if (DBDEAD(p)) connection_failed(before, SYBEREAD, "Read from the server failed");
    dbclose(p);
    process_.reset();
  }
}

tds_link::~tds_link() {
  if (process_ && process_->process) dbclose(process_->process);
}

bool tds_link::is_open() const { return process_ && process_->process; }

bool tds_link::is_dead() const { return !is_open() || DBDEAD(process_->process); }

bool tds_link::run(const std::wstring& sql, std::vector<tds_result>* results) {
  if (!is_open()) return false;
  DBPROCESS* p = process_->process;
  const std::size_t before = tds_messages().size();
  if (DBDEAD(p)) {
    connection_failed(before, SYBEWRIT, "Write to the server failed: the connection is closed");
    return false;
  }
  const std::string text = wide_to_utf8(sql);
  if (dbcmd(p, text.c_str()) != SUCCEED || dbsqlexec(p) != SUCCEED) {
    if (!DBDEAD(p)) dbcancel(p);
    else connection_failed(before, SYBEWRIT, "Write to the server failed: the connection is closed");
    return false;
  }
  bool ok = true;
  RETCODE rc;
  while ((rc = dbresults(p)) != NO_MORE_RESULTS) {
    if (rc == FAIL) {
      ok = false;
      if (DBDEAD(p)) break;
      continue;
    }
    const int count = dbnumcols(p);
    tds_result result;
    if (count > 0) {
      for (int i = 1; i <= count; ++i) result.columns.push_back(describe(p, i));
      RETCODE row;
      while ((row = dbnextrow(p)) != NO_MORE_ROWS) {
        if (row == FAIL) {
          ok = false;
          break;
        }
        if (row != REG_ROW) continue;  // compute rows are not ours
        tds_row values;
        values.reserve(count);
        for (int i = 1; i <= count; ++i) values.push_back(read_cell(p, i, result.columns[i - 1]));
        result.rows.push_back(std::move(values));
      }
    }
    result.rows_affected = DBCOUNT(p);
    if (results && (count > 0 || results->empty())) results->push_back(std::move(result));
    if (DBDEAD(p)) {
      ok = false;
      break;
    }
  }
  if (!ok && DBDEAD(p)) connection_failed(before, SYBEREAD, "Read from the server failed");
  for (std::size_t i = before; i < tds_messages().size(); ++i)
    if (!tds_messages()[i].client && tds_messages()[i].severity > 10) ok = false;
  return ok;
}

bool tds_link::bcp_init(const std::wstring& table) {
  if (!is_open() || DBDEAD(process_->process)) {
    connection_failed(tds_messages().size(), SYBEWRIT, "Write to the server failed: the connection is closed");
    return false;
  }
  return ::bcp_init(process_->process, wide_to_utf8(table).c_str(), nullptr, nullptr, DB_IN) == SUCCEED;
}

bool tds_link::bcp_keep_identity() {
  return bcp_control(process_->process, BCPKEEPIDENTITY, 1) == SUCCEED;
}

bool tds_link::bcp_keep_nulls() {
  static char hint[] = "KEEP_NULLS";
  return bcp_options(process_->process, BCPHINTS, reinterpret_cast<BYTE*>(hint), sizeof hint - 1) == SUCCEED;
}

bool tds_link::bcp_bind(int column, int host_type, int max_length) {
  static BYTE placeholder[1];
  return ::bcp_bind(process_->process, placeholder, 0, max_length, nullptr, 0, host_type, column) == SUCCEED;
}

bool tds_link::bcp_row(const std::vector<const BYTE*>& values, const std::vector<int>& lengths) {
  DBPROCESS* p = process_->process;
  if (DBDEAD(p)) {
    connection_failed(tds_messages().size(), SYBEWRIT, "Write to the server failed: the connection is closed");
    return false;
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (bcp_colptr(p, const_cast<BYTE*>(values[i]), static_cast<int>(i + 1)) != SUCCEED) return false;
    if (bcp_collen(p, lengths[i], static_cast<int>(i + 1)) != SUCCEED) return false;
  }
  return bcp_sendrow(p) == SUCCEED;
}

bool tds_link::bcp_batch() { return is_open() && ::bcp_batch(process_->process) >= 0 && !tds_has_errors(); }

bool tds_link::bcp_done() { return is_open() && ::bcp_done(process_->process) >= 0 && !tds_has_errors(); }
