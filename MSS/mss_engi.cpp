#include "MSS/mss_engi.h"

#include <chrono>
#include <cwctype>
#include <thread>
#include <vector>

#include "MSS/mss_db.h"
#include "MSS/mss_floa.h"
#include "MSS/mss_vali.h"
#include "MSS/odb_cmd.h"
#include "MSS/odb_exce.h"
#include "MSS/odb_recs.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "platform/com/com_runtime.h"
#include "platform/oledb/connection_string.h"
#include "platform/tds/tds_provider.h"
#include "platform/tds/tds_sql.h"

namespace {

const wchar_t* const provider_prefix = L"Provider=sqloledb;Data Source=";
const wchar_t* const product = L"Microsoft SQL Server";
const wchar_t* const azure_product = L"Microsoft SQL Azure";

// The values of the first row a statement gives, as text (none without a row).
std::vector<std::wstring> first_row(odb_command& command, const std::wstring& statement) {
  IRowset* rowset = nullptr;
  command.execute(statement, &rowset);
  ole_com_ptr<IRowset> holder;
  holder.attach(rowset);
  std::vector<std::wstring> values;
  if (!rowset) return values;
  odb_recordset records(rowset);
  holder = nullptr;
  records.reset();
  const udb_record* row = records.get_record();
  if (records.is_eof() || !row) return values;
  for (std::size_t i = 0; i < row->size(); ++i) values.push_back((*row)[i].to_wstring());
  return values;
}

}  // namespace

mss_engine::mss_engine(bool no_coinitialize) : no_coinitialize_(no_coinitialize ? 1 : 0) {
  tk_trace(2, "mss_engine::ctor");
  if (!no_coinitialize) CoInitialize(nullptr);
  register_sqloledb();
  // The conversion library is not essential: a failure leaves it absent.
  CoCreateInstance(CLSID_OLEDB_CONVERSIONLIBRARY, nullptr, 7 /* in-process server or handler, local server */,
                   IID_IDataConvert, reinterpret_cast<void**>(data_convert_.out()));
}

mss_engine::~mss_engine() { tk_trace(2, "mss_engine::dtor"); }

std::wstring mss_engine::server_part() const { return provider_prefix + connection_string_value(server_); }

void mss_engine::connect(const std::wstring& server, bool fast_load) {
  mss_connection wanted;
  wanted.server = server;
  wanted.windows_authentication = true;
  adopt(log_in(std::move(wanted), fast_load));
}

void mss_engine::connect(const std::wstring& server, const std::wstring& login, const std::wstring& password,
                         bool fast_load) {
  adopt(log_in({server, login, password, false}, fast_load));
}

mss_connection mss_engine::log_in(mss_connection wanted, bool fast_load) {
  if (wanted.windows_authentication)
    tk_wtrace(2, L"mss_engine::connect( %s )", wanted.server.c_str());
  else
    tk_wtrace(2, L"mss_engine::connect( %s, %s, %s )", wanted.server.c_str(), wanted.login.c_str(), L"***");
  tk_trace(3, "Connecting to MS SQL server...");
  std::wstring text = provider_prefix + connection_string_value(wanted.server);
  if (wanted.windows_authentication)
    text += L";Integrated Security=SSPI;";
  else
    text += L";User Id=" + connection_string_value(wanted.login) + L";Password=" +
            connection_string_value(wanted.password) + L";";
  ole_com_ptr<IDBInitialize> source;
  test_connection(text, source);
  wanted.fast_load = enable_fast_load(source.get(), fast_load);
  wanted.version_code = get_version(source.get());
  return wanted;
}

void mss_engine::adopt(const mss_connection& connection) {
  fast_load_ = connection.fast_load;
  server_ = connection.server;
  windows_authentication_ = connection.windows_authentication;
  if (!windows_authentication_) {
    login_ = connection.login;
    password_ = connection.password;
  }
  version_code_ = connection.version_code;
  connected_ = true;
  owner_.clear();
}

std::wstring mss_engine::get_connection_string(const std::wstring& database) const {
  if (!connected_) throw tk_mail_assertion("mss_engi", 357);
  std::wstring text = server_part();
  if (!database.empty()) text += L";Initial Catalog=" + connection_string_value(database);
  if (windows_authentication_)
    text += L";Integrated Security=SSPI;";
  else
    text += L";User ID=" + connection_string_value(login_) + L";Password=" + connection_string_value(password_) + L";";
  return text;
}

std::wstring mss_engine::hide_password(const std::wstring& connection) {
  connection_string parsed(connection);
  if (!parsed.is_valid()) return L"(a connection string)";
  std::wstring out;
  for (const auto& [key, value] : parsed.pairs()) {
    const bool secret = tk_wcompare_nocase(tk_trim(key), L"Password") == 0 || tk_wcompare_nocase(tk_trim(key), L"Pwd") == 0;
    out += key + L"=" + (secret ? std::wstring(L"***") : connection_string_value(value)) + L";";
  }
  return out;
}

bool mss_engine::test_connection(const std::wstring& connection, ole_com_ptr<IDBInitialize>& source) {
  tk_wtrace(2, L"mss_engine::test_connection(%s)", hide_password(connection).c_str());
  ole_com_ptr<IDataInitialize> init;
  HRESULT hr = CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER, IID_IDataInitialize,
                                reinterpret_cast<void**>(init.out()));
  if (FAILED(hr)) {
    tk_trace(1, "%08X", static_cast<unsigned>(hr));
    throw tk_exception(
        "Failed to load OLE DB support library. You should install it\r\nto proceed with the application.\r\n", 1);
  }
  ole_com_ptr<IUnknown> plain;
  odb_check(init->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, connection.c_str(), IID_IUnknown, plain.out()));
  ole_com_ptr<IDBInitialize> result;
  odb_check(plain.query_interface(IID_IDBInitialize, result));
  odb_check(result->Initialize());
  source = std::move(result);
  return true;
}

bool mss_engine::is_db_exist(const std::wstring& name) {
  tk_wtrace(2, L"mss_engine::is_db_exist(%s)", name.c_str());
  if (!connected_) throw tk_mail_assertion("mss_engi", 157);
  ole_com_ptr<IDBInitialize> source;
  // A refused login is the routine answer "no": its error records are logged
  // only when they are an error.
  tk_trace_hold hold;
  try {
    test_connection(get_connection_string(name), source);
  } catch (const odb_exception& e) {
    // 4060: the database does not exist or the login cannot open it; 911: the
    // same on a change of database. Anything else is no answer at all.
    // 916: the login may not enter it.
    const int number = e.get_native_error();
    if (number == 4060 || number == 911 || number == 916) {
      hold.discard();
      tk_wtrace(3, L"database %s does not exist", name.c_str());
      return false;
    }
    hold.release();
    throw;
  }
  hold.release();
  tk_trace(2, "mss_engine::is_db_exist -- end");
  return true;
}

std::unique_ptr<mss_database> mss_engine::open_db(const std::wstring& name, unsigned mode) {
  tk_wtrace(2, L"mss_engine::open_db(%s)", name.c_str());
  tk_wtrace(3, L"Opening MS SQL database '%s'", name.c_str());
  if (!connected_) throw tk_mail_assertion("mss_engi", 195);
  const std::wstring text = get_connection_string(name);
  tk_wtrace(1, L"Connection string=%s", hide_password(text).c_str());
  ole_com_ptr<IDBInitialize> source;
  test_connection(text, source);
  ole_com_ptr<IDBCreateSession> factory;
  odb_check(source.query_interface(IID_IDBCreateSession, factory));
  ole_com_ptr<IUnknown> unknown;
  odb_check(factory->CreateSession(nullptr, IID_IOpenRowset, unknown.out()));
  ole_com_ptr<IOpenRowset> session;
  odb_check(unknown.query_interface(IID_IOpenRowset, session));
  tk_trace(1, "Connection to the database was establish successfully");
  confirm_database(session.get(), name);
  return std::make_unique<mss_database>(name, source.get(), session.get(), mode);
}

void mss_engine::confirm_database(IOpenRowset* session, const std::wstring& name) {
  // A login's tables go into its user's default schema in this database
  // (SQL Server 2005 and later); before schemas they belong to the database
  // user the login is there: dbo for a sysadmin and the database's owner,
  // else the user's name, which need not be the login's.
  const bool schemas = version_code_ >= MSS_VERSION_2005;
  odb_command command(session);
  const std::vector<std::wstring> row =
      first_row(command, schemas ? L"SELECT DB_NAME(), SCHEMA_NAME()" : L"SELECT DB_NAME(), USER_NAME()");
  const std::wstring current = row.empty() ? std::wstring() : row[0];
  tk_wtrace(2, L"In database '%s'", current.c_str());
  // Names compare as the server compares them: case and trailing blanks aside.
  auto padded = [](std::wstring text) {
    while (!text.empty() && text.back() == L' ') text.pop_back();
    return text;
  };
  if (tk_wcompare_nocase(padded(current), padded(name)) != 0)
    throw tk_exception(L"The connection is in the database '" + current + L"', not in '" + name +
                           L"' as asked: nothing is converted.",
                       1);
  owner_ = row.size() > 1 ? row[1] : std::wstring();
  tk_wtrace(2, L"Tables of the login belong to '%s'", owner_.c_str());
}

std::unique_ptr<mss_database> mss_engine::create_db(const std::wstring& name) {
  tk_wtrace(2, L"mss_engine::create_db(%s)", name.c_str());
  tk_wtrace(3, L"Creating MS SQL database '%s'", name.c_str());
  if (!connected_) throw tk_mail_assertion("mss_engi", 177);
  try {
    run_on_server(L"CREATE DATABASE " + mss_bracket_name(name));
    return open_db(name, 2);
  } catch (const odb_exception& e) {
    if (!mss_is_connection_failure(e)) throw;
    throw tk_connection_lost(L"The connection to the server was lost while creating database '" + name + L"' (" +
                             tk_from_ansi(e.what()) + L"): " + database_state(name, L"it exists now, empty.",
                                                                              L"it does not exist."));
  }
}

std::wstring mss_engine::database_state(const std::wstring& name, const std::wstring& exists,
                                        const std::wstring& missing) {
  // A new connection looks.
  try {
    return is_db_exist(name) ? exists : missing;
  } catch (const tk_exception& e) {
    return L"whether it exists cannot be told (" + tk_from_ansi(e.what()) + L").";
  }
}

void mss_engine::delete_db(const std::wstring& name) {
  tk_wtrace(2, L"mss_engine::delete_db(%s)", name.c_str());
  tk_wtrace(3, L"Deleting MS SQL database '%s'", name.c_str());
  if (!connected_) throw tk_mail_assertion("mss_engi", 142);
  // Our own sessions in the database, just closed, may still be ending on the
  // server: "in use" (3702) is asked again for about a second before it stands.
  for (int attempt = 1;; ++attempt) {
    try {
      run_on_server(L"DROP DATABASE " + mss_bracket_name(name));
      return;
    } catch (const odb_exception& e) {
      if (mss_is_connection_failure(e))
        throw tk_connection_lost(L"The connection to the server was lost while dropping database '" + name + L"' (" +
                                 tk_from_ansi(e.what()) + L"): " +
                                 database_state(name, L"it still exists with its tables.",
                                                L"the database was dropped, and its tables are gone."));
      if (e.get_native_error() != 3702 || attempt == 20) throw;
      tk_wtrace(3, L"MS SQL database '%s' still in use, asking again", name.c_str());
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
}

bool mss_engine::may_create_database() {
  tk_trace(2, "mss_engine::may_create_database");
  if (!connected_) throw tk_mail_assertion("mss_engi", 150);
  ole_com_ptr<IDBInitialize> source;
  test_connection(get_connection_string(L""), source);
  odb_command command(source.get());
  const std::vector<std::wstring> row =
      first_row(command, version_code_ >= MSS_VERSION_2005
                             ? L"SELECT HAS_PERMS_BY_NAME(NULL, NULL, N'CREATE ANY DATABASE'), "
                               L"HAS_PERMS_BY_NAME(N'master', N'DATABASE', N'CREATE DATABASE')"
                             : L"SELECT IS_SRVROLEMEMBER(N'sysadmin'), IS_SRVROLEMEMBER(N'dbcreator')");
  for (const std::wstring& value : row)
    if (value == L"1") return true;
  return false;
}

void mss_engine::run_on_server(const std::wstring& statement) {
  ole_com_ptr<IDBInitialize> source;
  test_connection(get_connection_string(L""), source);
  odb_command command(source.get());
  command.execute(statement);
}

int mss_engine::version_class(const std::wstring& text) {
  // Azure SQL Database is always the newest engine.
  if (text.rfind(azure_product, 0) == 0) return MSS_VERSION_2008;
  const std::wstring prefix = product;
  if (text.size() <= prefix.size() + 10 || text.compare(0, prefix.size(), prefix) != 0) return MSS_VERSION_OTHER;
  const std::wstring next = tk_trim(text.substr(prefix.size(), 10));
  if (next.rfind(L"2008", 0) == 0) return MSS_VERSION_2008;
  if (next.rfind(L"2005", 0) == 0) return MSS_VERSION_2005;
  if (next.rfind(L"2000", 0) == 0) return MSS_VERSION_2000;
  // 2012 and later: four digits of a year after 2008.
  if (next.size() >= 4 && std::iswdigit(next[0]) && std::iswdigit(next[1]) && std::iswdigit(next[2]) &&
      std::iswdigit(next[3]) && std::stoi(next.substr(0, 4)) > 2008)
    return MSS_VERSION_2008;
  if (next.rfind(L"200", 0) == 0) return MSS_VERSION_2000;
  if (next.rfind(L"7.", 0) == 0) return MSS_VERSION_7;
  return MSS_VERSION_OTHER;
}

int mss_engine::get_version(IDBInitialize* source) {
  tk_trace(2, "mss_engine::get_version(priv)");
  odb_command command(source);
  const std::vector<std::wstring> row = first_row(command, L"SELECT @@VERSION");
  if (row.empty()) throw std::out_of_range("SELECT @@VERSION gave no value");
  const std::wstring text = row[0];
  tk_wtrace(1, L"MS SQL version string: %s", text.c_str());
  return version_class(text);
}

bool mss_engine::enable_fast_load(IDBInitialize* source, bool wanted) {
  tk_trace(2, "mss_engine::enable_fast_load");
  if (!wanted) return false;
  DBPROP prop{};
  prop.dwPropertyID = SSPROP_ENABLEFASTLOAD;
  prop.dwOptions = DBPROPOPTIONS_REQUIRED;
  prop.vValue.vt = VT_BOOL;
  prop.vValue.boolVal = VARIANT_TRUE;
  DBPROPSET set{&prop, 1, DBPROPSET_SQLSERVERDATASOURCE};
  ole_com_ptr<IDBInitialize> holder(source);
  ole_com_ptr<IDBProperties> properties;
  odb_check(holder.query_interface(IID_IDBProperties, properties));
  return SUCCEEDED(properties->SetProperties(1, &set));
}

std::wstring mss_engine::get_safe_tname(const std::wstring& name) const {
  tk_wtrace(1, L"mss_engine::get_safe_tname(%s)", name.c_str());
  std::wstring table = name, owner;
  if (mss_split_tab_name(name, table, owner) && !owner.empty()) {
    tk_trace(1, "This is a full canonized table name");
    return name;
  }
  // A name longer than the server holds is cut as the table-name validator cuts it.
  if (mss_name_length(table) > mss_max_name_length) table = mss_cut_name(table, mss_max_name_length - 1);
  const std::wstring result = mss_bracket_name(get_table_owner()) + L"." + mss_bracket_name(table);
  tk_wtrace(1, L"result=%s", result.c_str());
  return result;
}

std::wstring mss_engine::get_table_owner() const {
  if (as_dbo_) return L"dbo";
  if (!owner_.empty()) return owner_;
  // No database opened yet: from SQL Server 2005 on a table belongs to a
  // schema, before it to its creator's user.
  if (version_code_ >= MSS_VERSION_2005) return L"dbo";
  if (!login_.empty() && tk_wcompare_nocase(login_, L"sa") != 0) return login_;
  return L"dbo";
}

void mss_engine::set_as_dbo(bool as_dbo) {
  tk_trace(1, "mss_engine::set_as_dbo(%d)", as_dbo ? 1 : 0);
  as_dbo_ = as_dbo;
}

bool mss_split_tab_name(const std::wstring& name, std::wstring& table, std::wstring& owner) {
  tk_wtrace(1, L"mss_split_tab_name (%s)", name.c_str());
  if (name.size() < 3 || name.front() != L'[' || name.back() != L']') return false;
  const tsql_object_name parsed = tsql_parse_name(name);
  if (parsed.name == name) {
    // Not identifier text after all ("[a]b]"): the inner text is the table.
    owner.clear();
    table = name.substr(1, name.size() - 2);
  } else {
    owner = parsed.owner;
    table = parsed.name;
  }
  tk_wtrace(1, L"tab_name=%s, owner=%s", table.c_str(), owner.c_str());
  return true;
}

std::wstring mss_bracket_name(const std::wstring& name) { return tsql_name(name); }
