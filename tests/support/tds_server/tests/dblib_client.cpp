#include "tests/support/tds_server/tests/dblib_client.h"

#include <cstdio>
#include <mutex>

namespace tds_test {

namespace {

thread_local std::vector<message> received;

int on_message(DBPROCESS*, DBINT number, int state, int severity, char* text, char*, char*, int) {
  received.push_back({static_cast<int>(number), severity, state, text ? text : ""});
  return 0;
}

int on_error(DBPROCESS*, int severity, int number, int, char* text, char*) {
  received.push_back({number, severity, 0, text ? text : ""});
  return INT_CANCEL;
}

void init_once() {
  static std::once_flag once;
  std::call_once(once, [] {
    dbinit();
    dberrhandle(on_error);
    dbmsghandle(on_message);
  });
}

}  // namespace

std::vector<message>& messages() { return received; }
void clear_messages() { received.clear(); }
bool has_message(int number) {
  for (const auto& m : received) {
    if (m.number == number) return true;
  }
  return false;
}

std::string command_output(const std::string& cmd) {
  FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
  std::string out;
  if (!p) return out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  ::pclose(p);
  return out;
}

connection::connection(const std::string& host, int port, const std::string& user, const std::string& password,
                       const std::string& database, bool bulk, const char* language) {
  init_once();
  LOGINREC* login = dblogin();
  DBSETLUSER(login, user.c_str());
  DBSETLPWD(login, password.c_str());
  DBSETLAPP(login, "orv_tds_test");
  DBSETLCHARSET(login, "UTF-8");
  DBSETLVERSION(login, DBVERSION_74);
  DBSETLUTF16(login, TRUE);
  if (bulk) BCP_SETL(login, TRUE);
  if (!database.empty()) DBSETLDBNAME(login, database.c_str());
  if (language) DBSETLNATLANG(login, language);
  const std::string server = host + ":" + std::to_string(port);
  proc_ = dbopen(login, server.c_str());
  dbloginfree(login);
  if (proc_) {
    dbsetopt(proc_, DBTEXTSIZE, "2147483647", 0);
  }
}

connection::~connection() {
  if (proc_) dbclose(proc_);
}

bool connection::exec(const std::string& sql, std::vector<result>* results) {
  if (!proc_) return false;
  const std::size_t before = received.size();
  if (dbcmd(proc_, sql.c_str()) == FAIL) return false;
  bool ok = dbsqlexec(proc_) != FAIL;
  RETCODE rc;
  while (ok && (rc = dbresults(proc_)) != NO_MORE_RESULTS) {
    if (rc == FAIL) { ok = false; break; }
    result r;
    const int n = dbnumcols(proc_);
    for (int i = 1; i <= n; ++i) {
      r.columns.push_back(dbcolname(proc_, i));
      r.types.push_back(dbcoltype(proc_, i));
    }
    while ((rc = dbnextrow(proc_)) != NO_MORE_ROWS) {
      if (rc == FAIL) { ok = false; break; }
      std::vector<std::string> row;
      for (int i = 1; i <= n; ++i) {
        BYTE* data = dbdata(proc_, i);
        const DBINT len = dbdatlen(proc_, i);
        if (!data) { row.push_back("NULL"); continue; }
        if (len == 0) { row.push_back(""); continue; }
        std::string text(static_cast<std::size_t>(len) * 4 + 128, '\0');
        const DBINT out = dbconvert(proc_, dbcoltype(proc_, i), data, len, SYBCHAR,
                                    reinterpret_cast<BYTE*>(text.data()), static_cast<DBINT>(text.size()));
        text.resize(out < 0 ? 0 : static_cast<std::size_t>(out));
        row.push_back(text);
      }
      r.rows.push_back(std::move(row));
    }
    if (n > 0 && results) results->push_back(std::move(r));
  }
  for (std::size_t i = before; i < received.size(); ++i) {
    if (received[i].severity > 10) ok = false;
  }
  return ok;
}

std::vector<std::vector<std::string>> connection::rows(const std::string& sql) {
  std::vector<result> r;
  if (!exec(sql, &r) || r.empty()) return {};
  return r.front().rows;
}

}  // namespace tds_test
