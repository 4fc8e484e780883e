#include "apps/orvell_wizard/orv_mysql.h"

#include <errmsg.h>

#include <cstdlib>
#include <cwctype>
#include <exception>
#include <map>
#include <vector>

#include "SQL/sql_fit.h"
#include "SQL/sql_util.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "UDB/udb_db.h"
#include "UDB/udb_prof.h"
#include "UDB/udb_sche.h"
#include "common/type_map.h"

namespace {

const wchar_t* const k_section = L"MySQL settings";

std::wstring flag_text(bool on) { return on ? L"1" : L"0"; }

// A flag of a profile: true only for "1"; an absent or empty key leaves it.
void load_flag(const udb_profile& profile, const wchar_t* key, bool& flag) {
  std::wstring value = profile.get_value(k_section, key);
  if (!value.empty()) flag = value == L"1";
}

void load_text(const udb_profile& profile, const wchar_t* key, std::string& text) {
  std::wstring value = profile.get_value(k_section, key);
  if (!value.empty()) text = tk_to_utf8(value);
}

// The characters a text column holds: VARCHAR(n) n, CHAR(19) 19, a type of the
// TEXT family more than any; 0 for a column that is no text.
std::size_t text_chars(VARTYPE vartype, int size, int extra) {
  if (vartype == VT_DATE) return extra == 0 ? 19 : 0;
  if (vartype != VT_BSTR) return 0;
  return size >= 1 && size <= 255 ? static_cast<std::size_t>(size) : static_cast<std::size_t>(-1);
}

}  // namespace

std::wstring sql_text_charset_clause() {
  std::wstring charset = sql_engine::instance().charset();
  return charset.empty() ? std::wstring() : L" CHARACTER SET " + charset;
}

mysql_converter_impl::mysql_converter_impl() { tk_trace(2, "mysql_converter_impl::ctor"); }

mysql_converter_impl::~mysql_converter_impl() { tk_trace(2, "mysql_converter_impl::dtor"); }

void mysql_converter_impl::store_mysql_settings(const std::string& host, const std::string& user,
                                                const std::string& password, const std::string& port) {
  tk_wtrace(1, L"mysql_converter_impl::store_mysql_settings(%s, %s, %s, %s)", tk_from_utf8(host).c_str(),
            tk_from_utf8(user).c_str(), tk_from_utf8(password).c_str(), tk_from_utf8(port).c_str());
  user_ = tk_trim(user);
  password_ = tk_trim(password);
  host_ = tk_trim(host);
  port_ = tk_trim(port);
  if (port_.empty()) port_ = "3306";
}

bool mysql_converter_impl::connect_mysql_server() {
  tk_trace(2, "mysql_converter_impl::connect_mysql_server");
  int port = std::atoi(port_.c_str());
  if (port <= 0 || port > 65535) throw tk_exception("Invalid port number", 1);
  engine_.connect(host_, user_, password_, static_cast<unsigned>(port));
  return true;
}

void mysql_converter_impl::del_mysql_base(const std::wstring& name) {
  tk_wtrace(2, L"mysql_converter_impl::del_mysql_base (%s)", name.c_str());
  engine_.db_delete(name);
}

void mysql_converter_impl::check_mysql_db_name(const std::wstring& name) {
  tk_wtrace(2, L"mysql_converter_impl::check_mysql_db_name(%s)", name.c_str());
  std::unique_ptr<udb_validator> validator = engine_.create_dn_validator();
  if (validator->is_acceptable(name)) return;
  if (engine_.server_version() < sql_version::v4_1_0)
    throw tk_exception(
        "Not a valid MySQL database name. It cannot consist only of numbers\nor start with a digit and must "
        "differ from any MySQL keyword. Use\nalphanumeric symbols (A-Z, a-z, 0-9), '_' and '$' to "
        "compose\nnew database name.",
        1);
  throw tk_exception(
      "Not a valid MySQL database name. Use alphanumeric characters\r\n(A-Z, a-z, 0-9), '_', '$' and "
      "spaces to compose new database name.",
      1);
}

mysql_converter_impl::column_change mysql_converter_impl::date_change(const type_map_entry& e) {
  int state = e.state;
  if (!e.seen && state == dates_map::k_char) state = dates_map::k_datetime;
  if (state == e.source_class) return {};
  return {dates_map::type_text(state), state == dates_map::k_char, e.empty_seen, e.null_seen, VT_DATE, 0, state};
}

mysql_converter_impl::column_change mysql_converter_impl::num_change(const type_map_entry& e) {
  if (!e.seen || e.state == e.source_class) return {};
  column_change change{num_map::type_text(e.state), e.state == num_map::k_varchar, e.empty_seen, e.null_seen};
  switch (e.state) {
    case num_map::k_double: change.vartype = VT_R8; break;
    case num_map::k_bigint: change.vartype = VT_I8; break;
    case num_map::k_int: change.vartype = VT_I4; break;
    default:
      change.vartype = VT_BSTR;
      change.size = 255;
  }
  return change;
}

bool mysql_converter_impl::keeps_fit(const udb_schema& schema, std::size_t index, const column_change& change) const {
  const t_ftd& field = schema[index];
  // A text column that holds longer values than the new type is left as it is.
  const std::size_t chars_after = text_chars(change.vartype, change.size, change.extra);
  if (chars_after != 0 && chars_after < text_chars(field.vartype, field.size, field.extra)) {
    tk_wtrace(2, L"Column '%s' stays: %s would be narrower", field.name.c_str(), change.type);
    return false;
  }
  t_ftd after = field;
  after.vartype = change.vartype;
  after.size = change.size;
  after.extra = change.extra;
  if (sql_table_fit(engine_.server_version(), engine_.default_row_format()).keeps_fit(schema, index, after))
    return true;
  tk_wtrace(2, L"Column '%s' stays: as %s the table would not fit", field.name.c_str(), change.type);
  return false;
}

std::wstring mysql_converter_impl::modify_clause(const t_ftd& field, const column_change& change) const {
  std::wstring clause = L"MODIFY " + engine_.quote_name(field.name) + L" " + change.type;
  // A text column keeps the character set that CREATE TABLE gave it.
  if (change.text_type) clause += sql_text_charset_clause();
  if (field.not_null) clause += L" NOT NULL";
  std::wstring def = make_mysql_def_val(&field);
  if (!def.empty()) clause += L" DEFAULT " + def;
  return clause;
}

bool mysql_converter_impl::nulls_empty_texts(const t_ftd& field, const column_change& change) {
  return !change.text_type && change.empty_seen && !field.not_null;
}

bool mysql_converter_impl::keeps_values(const t_ftd& field, const column_change& change) {
  if (!nulls_empty_texts(field, change) || !change.null_seen) return true;
  tk_wtrace(2, L"Column '%s' stays: its empty texts could not be told from its NULLs again", field.name.c_str());
  return false;
}

std::wstring mysql_converter_impl::column_list(const udb_schema& schema, const std::set<int>& columns) {
  std::wstring names;
  for (int index : columns) names += (names.empty() ? L"" : L", ") + schema[index].name;
  return (columns.size() == 1 ? L"column " : L"columns ") + names;
}

tk_exception mysql_converter_impl::empty_texts_error(const udb_schema& schema, const std::wstring& table,
                                                     const std::string& why) const {
  return tk_exception(L"Table '" + table + L"': the empty texts of the " + column_list(schema, unsettled_columns_) +
                          L" may now be NULL: they were set to NULL for a change of type that did not happen, and " +
                          tk_from_utf8(why) + L".",
                      1);
}

namespace {

// "int" of "int(11)", "INT" or "VARCHAR (255)", in lower case.
std::wstring base_type(const std::wstring& type) {
  std::wstring base;
  for (wchar_t c : type) {
    if (!std::iswalpha(c)) break;
    base += static_cast<wchar_t>(std::towlower(c));
  }
  return base;
}

}  // namespace

void mysql_converter_impl::end_if_outcome_unknown(const std::exception& failure, udb_database& db,
                                                  const udb_schema& schema, const std::wstring& table) {
  const auto* sql = dynamic_cast<const sql_exception*>(&failure);
  if (!sql) return;
  const bool lost = sql_engine::is_connection_lost(*sql);
  const unsigned error = static_cast<unsigned>(sql->get_code()) & 0xFFFFu;
  if (!lost && (error < CR_MIN_ERROR || error > CR_MAX_ERROR)) return;
  const std::wstring reason = tk_from_utf8(sql->what());
  const std::wstring head =
      lost ? L"The connection to the MySQL server was lost while the column types of table '" + table +
                 L"' were changed (" + reason + L"). "
           : L"Table '" + table + L"': the server's answer to the change of its column types was not read (" +
                 reason + L"). ";
  auto end = [&](const std::wstring& account) {
    if (lost) throw tk_connection_lost(head + account);
    throw tk_exception(head + account, 1);
  };
  std::wstring why = lost ? engine_.replace_lost_session() : std::wstring();
  std::map<std::string, std::wstring> types;  // of the table's columns, as the server has them now
  if (why.empty()) {
    try {
      std::unique_ptr<udb_recordset> columns = db.query(L"SHOW COLUMNS FROM " + engine_.quote_name(table));
      for (; columns && !columns->is_eof(); columns->next()) {
        const udb_record& row = *columns->get_record();
        if (row.size() >= 2) types[tk_wnocase_key(row[0].to_wstring())] = row[1].to_wstring();
      }
    } catch (const sql_exception& e) {
      why = L"its columns cannot be read: " + tk_from_utf8(e.what());
    }
  }
  if (!why.empty()) {
    if (unsettled_columns_.empty())
      end(L"Its values are as they were stored; whether its columns changed their types cannot be told: " + why +
          L".");
    end(L"Whether the change was made cannot be told (" + why + L"): if it was not, the empty texts of the " +
        column_list(schema, unsettled_columns_) + L" may now be NULL, as they were set to NULL for it.");
  }
  std::wstring made, not_made;
  for (const auto& [index, type] : changing_columns_) {
    const std::wstring& name = schema[index].name;
    const auto found = types.find(tk_wnocase_key(name));
    const std::wstring now = found == types.end() ? L"not found" : found->second;
    const bool changed = found != types.end() && base_type(now) == base_type(type);
    (changed ? made : not_made) += ((changed ? made : not_made).empty() ? L"" : L", ") + name + L" (" + now + L")";
    if (changed) unsettled_columns_.erase(index);
  }
  const std::wstring account =
      made.empty() ? L"The change was not made: columns " + not_made + L"."
                   : L"The change was made: columns " + made +
                         (not_made.empty() ? std::wstring() : L"; it was not made: columns " + not_made) + L".";
  if (unsettled_columns_.empty()) end(account);
  const std::wstring set_back = column_list(schema, unsettled_columns_);
  try {
    restore_empty_texts(db, schema, table);
  } catch (const tk_exception& e) {
    end(account + L" " + tk_from_ansi(e.message()));
  }
  end(account + L" The empty texts of the " + set_back + L", set to NULL for a change that was not made, were set back.");
}

void mysql_converter_impl::refine_column(udb_database& db, udb_schema& schema, const types_map& map,
                                         std::size_t pos, const column_change& change) {
  const type_map_entry& e = map.get_entry(pos);
  try {
    if (static_cast<std::size_t>(e.field_index) >= schema.size()) throw tk_mail_assertion("type_map", 56);
    t_ftd& field = schema[e.field_index];
    if (!keeps_fit(schema, e.field_index, change) || !keeps_values(field, change)) return;
    const std::wstring table = engine_.quote_name(map.get_table_name());
    changing_columns_ = {{e.field_index, change.type}};
    // An empty text is no number and no date: a strict server refuses the
    // change, another stores 0 or a zero date. Empty texts become NULL first.
    if (nulls_empty_texts(field, change) && !nulled_columns_.count(e.field_index)) {
      const std::wstring column = engine_.quote_name(field.name);
      std::wstring update = L"UPDATE " + table + L" SET " + column + L" = NULL WHERE " + column + L" = ''";
      tk_wtrace(3, L"Run SQL query: %s\n", update.c_str());
      unsettled_columns_.insert(e.field_index);
      db.query(update);
      nulled_columns_.insert(e.field_index);
    }
    std::wstring statement = L"ALTER TABLE " + table + L" " + modify_clause(field, change);
    tk_wtrace(3, L"Run SQL query: %s\n", statement.c_str());
    db.query(statement);
    unsettled_columns_.erase(e.field_index);
    field.vartype = change.vartype;
    field.size = change.size;
    field.extra = change.extra;
  } catch (const std::exception& ex) {
    tk_trace(3, "Got exception: %s", ex.what());
    end_if_outcome_unknown(ex, db, schema, map.get_table_name());
  }
}

void mysql_converter_impl::date_post_process(udb_database& db, udb_schema& schema, const dates_map& map) {
  tk_trace(2, "mysql_converter_impl::date_post_process(map size=%d)", static_cast<int>(map.size()));
  for (std::size_t pos = 0; pos < map.size(); ++pos) {
    column_change change = date_change(map.get_entry(pos));
    if (change.type) refine_column(db, schema, map, pos, change);
  }
}

void mysql_converter_impl::num_post_process(udb_database& db, udb_schema& schema, const num_map& map) {
  tk_trace(2, "mysql_converter_impl::num_post_process(map size=%d)", static_cast<int>(map.size()));
  for (std::size_t pos = 0; pos < map.size(); ++pos) {
    column_change change = num_change(map.get_entry(pos));
    if (change.type) refine_column(db, schema, map, pos, change);
  }
}

bool mysql_converter_impl::refine_table(udb_database& db, udb_schema& schema, const dates_map& dates,
                                        const num_map& numbers) {
  tk_trace(2, "mysql_converter_impl::refine_table");
  // The final change of each column: the numeric one decides over the date one.
  std::map<int, column_change> changes;
  for (std::size_t pos = 0; pos < dates.size(); ++pos) {
    const type_map_entry& e = dates.get_entry(pos);
    if (column_change c = date_change(e); c.type) changes[e.field_index] = c;
  }
  for (std::size_t pos = 0; pos < numbers.size(); ++pos) {
    const type_map_entry& e = numbers.get_entry(pos);
    if (column_change c = num_change(e); c.type) changes[e.field_index] = c;
  }
  if (changes.empty()) return true;
  changing_columns_.clear();
  // The table as the changes made so far leave it.
  udb_schema refined(true);
  for (const t_ftd* f : schema) refined.push_back(std::make_unique<t_ftd>(*f));
  const std::wstring table = engine_.quote_name(numbers.get_table_name());
  std::wstring nulls, modify;
  std::vector<int> nulled;
  for (const auto& [index, change] : changes) {
    if (static_cast<std::size_t>(index) >= schema.size()) return false;
    if (!keeps_fit(refined, index, change) || !keeps_values(refined[index], change)) continue;
    t_ftd& field = refined[index];
    if (nulls_empty_texts(field, change)) {
      const std::wstring column = engine_.quote_name(field.name);
      nulls += (nulls.empty() ? L"" : L", ") + column + L" = NULLIF(" + column + L", '')";
      nulled.push_back(index);
    }
    modify += (modify.empty() ? L"" : L", ") + modify_clause(field, change);
    changing_columns_[index] = change.type;
    field.vartype = change.vartype;
    field.size = change.size;
    field.extra = change.extra;
  }
  if (modify.empty()) return true;
  try {
    if (!nulls.empty()) {
      std::wstring update = L"UPDATE " + table + L" SET " + nulls;
      tk_wtrace(3, L"Run SQL query: %s\n", update.c_str());
      unsettled_columns_.insert(nulled.begin(), nulled.end());
      db.query(update);
      nulled_columns_.insert(nulled.begin(), nulled.end());
    }
    std::wstring statement = L"ALTER TABLE " + table + L" " + modify;
    tk_wtrace(3, L"Run SQL query: %s\n", statement.c_str());
    db.query(statement);
  } catch (const std::exception& ex) {
    tk_trace(3, "Got exception: %s", ex.what());
    end_if_outcome_unknown(ex, db, schema, numbers.get_table_name());
    return false;
  }
  for (int index : nulled) unsettled_columns_.erase(index);
  for (std::size_t i = 0; i < schema.size(); ++i) schema[i] = refined[i];
  return true;
}

void mysql_converter_impl::restore_empty_texts(udb_database& db, const udb_schema& schema,
                                               const std::wstring& table_name) {
  if (unsettled_columns_.empty()) return;
  const bool one = unsettled_columns_.size() == 1;
  std::wstring set, where;
  for (int index : unsettled_columns_) {
    const std::wstring column = engine_.quote_name(schema[index].name);
    set += (set.empty() ? L"" : L", ") + column + L" = " + (one ? L"''" : L"IFNULL(" + column + L", '')");
    where += (where.empty() ? L"" : L" OR ") + column + L" IS NULL";
  }
  std::wstring update = L"UPDATE " + engine_.quote_name(table_name) + L" SET " + set + L" WHERE " + where;
  tk_wtrace(3, L"Run SQL query: %s\n", update.c_str());
  try {
    db.query(update);
  } catch (const std::exception& ex) {
    tk_trace(3, "Got exception: %s", ex.what());
    const auto* sql = dynamic_cast<const sql_exception*>(&ex);
    if (sql && sql_engine::is_connection_lost(*sql))
      throw tk_connection_lost(
          empty_texts_error(schema, table_name,
                            std::string("the connection to the server was lost while they were set back (") +
                                ex.what() + ")")
              .message());
    throw empty_texts_error(schema, table_name, std::string("they could not be set back (") + ex.what() + ")");
  }
  unsettled_columns_.clear();
}

void mysql_converter_impl::run_refinement(udb_database& db, udb_schema& schema, const dates_map& dates,
                                          const num_map& numbers, bool one_statement) {
  nulled_columns_.clear();
  unsettled_columns_.clear();
  changing_columns_.clear();
  if (!one_statement || !refine_table(db, schema, dates, numbers)) {
    date_post_process(db, schema, dates);
    num_post_process(db, schema, numbers);
  }
  restore_empty_texts(db, schema, numbers.get_table_name());
}

bool mysql_converter_impl::store_profile(udb_profile& profile) {
  tk_trace(2, "mysql_converter_impl::store_profile");
  profile.set_value(k_section, L"host", tk_from_utf8(host_));
  profile.set_value(k_section, L"user", tk_from_utf8(user_));
  profile.set_value(k_section, L"password", tk_from_utf8(password_));
  profile.set_value(k_section, L"port", tk_from_utf8(port_));
  profile.set_value(k_section, L"dump line break", flag_text(dump_.line_break == 1));
  profile.set_value(k_section, L"dump new version", flag_text(dump_.new_version));
  profile.set_value(k_section, L"dump add lock to insert", flag_text(dump_.lock_tables));
  profile.set_value(k_section, L"dump insert comments", flag_text(dump_.insert_comments));
  profile.set_value(k_section, L"dump create database", flag_text(dump_.create_database));
  profile.set_value(k_section, L"dump create table", flag_text(dump_.create_table));
  return true;
}

bool mysql_converter_impl::load_profile(udb_profile& profile) {
  tk_trace(2, "mysql_converter_impl::load_profile");
  load_text(profile, L"host", host_);
  load_text(profile, L"user", user_);
  load_text(profile, L"password", password_);
  load_text(profile, L"port", port_);
  std::wstring line_break = profile.get_value(k_section, L"dump line break");
  if (!line_break.empty()) dump_.line_break = line_break == L"1" ? 1 : 0;
  load_flag(profile, L"dump new version", dump_.new_version);
  load_flag(profile, L"dump add lock to insert", dump_.lock_tables);
  load_flag(profile, L"dump insert comments", dump_.insert_comments);
  load_flag(profile, L"dump create database", dump_.create_database);
  load_flag(profile, L"dump create table", dump_.create_table);
  return true;
}
