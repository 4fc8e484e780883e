#include "platform/tds/tds_error.h"

#include "platform/tds/tds_sybdb.h"

#include <mutex>

#include "TK/tk_trace.h"
#include "platform/oledb/text16.h"

const wchar_t* const tds_unreachable_text = L"[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist or access denied.";

namespace {

thread_local std::vector<tds_message> collected;
thread_local bool logging_in = false;

const wchar_t* const provider_source = L"Microsoft OLE DB Provider for SQL Server";

int error_handler(DBPROCESS*, int severity, int dberr, int oserr, char* dberrstr, char* oserrstr) {
  tds_message m;
  m.number = dberr;
  m.severity = severity;
  m.text = dberrstr ? dberrstr : "";
  if (oserr != 0 && oserrstr) m.text += std::string(" (") + oserrstr + ")";
  m.client = true;
  tk_trace(2, "db-lib error %d: %s", dberr, m.text.c_str());
  collected.push_back(std::move(m));
  // Never INT_CONTINUE or INT_EXIT: db-lib would end the process. A login that
  // timed out gives up (waiting on would hang on a server that never answers);
  // a command's timeout waits on.
  return dberr == SYBETIME && !logging_in ? INT_TIMEOUT : INT_CANCEL;
}

int message_handler(DBPROCESS*, DBINT number, int state, int severity, char* text, char* server, char* procedure,
                    int line) {
  if (severity <= 10) {
    tk_trace(1, "server message %d: %s", static_cast<int>(number), text ? text : "");
    return 0;
  }
  tds_message m;
  m.number = number;
  m.state = state;
  m.severity = severity;
  m.text = text ? text : "";
  m.server = server ? server : "";
  m.procedure = procedure ? procedure : "";
  m.line = line;
  tk_trace(2, "server error %d: %s", static_cast<int>(number), m.text.c_str());
  collected.push_back(std::move(m));
  return 0;
}

std::wstring sql_state(int number) {
  switch (number) {
    case 18456: return L"28000";
    case 4060: return L"42000";
    case 208: return L"42S02";
    case 2714: return L"42S01";
    case 2627: case 2601: case 547: case 515: return L"23000";
    case 8152: case 2628: return L"22001";
    case 8115: return L"22003";
    case 241: case 242: return L"22007";
    case 245: return L"22018";
    case 20002: case 20009: case 20017: return L"08001";
    default: return L"42000";
  }
}

bool is_network_failure(int number) { return number == SYBEFCON || number == SYBECONN || number == SYBESEOF; }

}  // namespace

HRESULT tds_error_result(int number) {
  switch (number) {
    case 18456: return DB_SEC_E_AUTH_FAILED;
    case 4060: return E_FAIL;
    case SYBECONN: case SYBESEOF: case SYBEFCON: return E_FAIL;
    case 208: case 3701: return DB_E_NOTABLE;
    case 2714: return DB_E_DUPLICATETABLEID;
    case 1913: return DB_E_DUPLICATEINDEXID;
    case 229: case 262: return DB_SEC_E_PERMISSIONDENIED;
    case 2627: case 2601: case 547: case 515: return DB_E_INTEGRITYVIOLATION;
    case 8115: case 8152: case 2628: return DB_E_DATAOVERFLOW;
    case 241: case 242: case 245: return DB_E_CANTCONVERTVALUE;
    default: return DB_E_ERRORSINCOMMAND;
  }
}

bool tds_library_init() {
  static bool ok = false;
  static std::once_flag once;
  std::call_once(once, [] {
    ok = dbinit() == SUCCEED;
    if (!ok) return;
    dberrhandle(error_handler);
    dbmsghandle(message_handler);
    dbsetlogintime(15);
    dbsettime(0);
  });
  return ok;
}

tds_login_scope::tds_login_scope() { logging_in = true; }
tds_login_scope::~tds_login_scope() { logging_in = false; }

void tds_clear_messages() { collected.clear(); }
const std::vector<tds_message>& tds_messages() { return collected; }
void tds_add_message(const tds_message& message) { collected.push_back(message); }

bool tds_has_errors() {
  for (const auto& m : collected)
    if (!m.client && m.severity > 10) return true;
  return false;
}

HRESULT tds_fail(HRESULT fallback) {
  std::vector<tds_message> messages;
  messages.swap(collected);
  const tds_message* first_server = nullptr;
  const tds_message* first_client = nullptr;
  for (const auto& m : messages) {
    if (!m.client && !first_server) first_server = &m;
    if (m.client && !first_client) first_client = &m;
  }
  HRESULT hr = fallback;
  std::vector<oledb_error_record> records;
  auto record = [&](const tds_message& m, HRESULT result) {
    oledb_error_record r;
    r.result = result;
    r.native_error = m.number;
    r.sql_state = sql_state(m.number);
    r.source = provider_source;
    r.description = utf8_to_wide(m.text);
    if (!m.client && is_network_failure(m.number)) r.description = tds_unreachable_text;
    return r;
  };
  if (first_server) {
    hr = tds_error_result(first_server->number);
    for (const auto& m : messages)
      if (!m.client) records.push_back(record(m, tds_error_result(m.number)));
    // Client errors after the server's reason (the 20002 of a refused login) only repeat it.
  } else if (first_client) {
    hr = tds_error_result(first_client->number);
    if (is_network_failure(first_client->number)) {
      oledb_error_record r = record(*first_client, E_FAIL);
      r.description = tds_unreachable_text;
      records.push_back(r);
    }
    for (const auto& m : messages)
      if (!is_network_failure(m.number) || &m != first_client) records.push_back(record(m, tds_error_result(m.number)));
    if (!is_network_failure(first_client->number) && hr == DB_E_ERRORSINCOMMAND) hr = E_FAIL;
  }
  if (records.empty()) {
    oledb_error_record r;
    r.result = hr;
    r.source = provider_source;
    records.push_back(r);
  }
  return oledb_fail(hr, records);
}
