#include "SQL/sql_vali.h"

#include <locale.h>
#include <wctype.h>

#include "SQL/sql_engi.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "UDB/udb_idx.h"
#include "UDB/udb_rec.h"
#include "UDB/udb_sche.h"

namespace {

// Reserved words of servers before 4.1.0, in their documented order.
const wchar_t* const old_reserved_words[] = {
    L"add", L"all", L"alter", L"and", L"as", L"asc", L"between", L"bigint", L"binary", L"blob",
    L"both", L"by", L"cascade", L"case", L"char", L"character", L"change", L"column", L"columns",
    L"constraint", L"create", L"cross", L"current_date", L"current_time", L"current_timestamp",
    L"database", L"databases", L"day_hour", L"day_minute", L"day_second", L"dec", L"decimal",
    L"default", L"delayed", L"delete", L"desc", L"describe", L"distinct", L"distinctrow",
    L"double", L"drop", L"else", L"escaped", L"enclosed", L"explain", L"exists", L"fields",
    L"float", L"float4", L"float8", L"foreign", L"from", L"for", L"grant", L"group", L"having",
    L"high_priority", L"hour_minute", L"hour_second", L"ignore", L"in", L"index", L"infile",
    L"inner", L"insert", L"insert_id", L"int", L"int1", L"int2", L"int3", L"int4", L"int8",
    L"integer", L"interval", L"into", L"if", L"is", L"join", L"key", L"keys", L"kill",
    L"last_insert_id", L"leading", L"left", L"like", L"lines", L"limit", L"load", L"lock",
    L"long", L"longblob", L"longtext", L"low_priority", L"match", L"mediumblob", L"mediumtext",
    L"mediumint", L"middleint", L"minute_second", L"natural", L"numeric", L"not", L"null", L"on",
    L"optimize", L"option", L"optionally", L"or", L"order", L"outer", L"outfile", L"partial",
    L"precision", L"primary", L"procedure", L"privileges", L"read", L"real", L"regexp",
    L"rename", L"replace", L"restrict", L"returns", L"revoke", L"rlike", L"select", L"set",
    L"show", L"smallint", L"soname", L"sql_big_tables", L"sql_big_selects",
    L"sql_low_priority_updates", L"sql_log_off", L"sql_log_update", L"sql_select_limit",
    L"sql_small_result", L"sql_big_result", L"sql_warnings", L"straight_join", L"starting",
    L"table", L"tables", L"terminated", L"then", L"tinyblob", L"tinytext", L"tinyint",
    L"trailing", L"to", L"usage", L"use", L"using", L"unique", L"unlock", L"unsigned", L"update",
    L"values", L"varchar", L"varying", L"varbinary", L"with", L"write", L"when", L"where",
    L"year_month", L"zerofill", L""};

const wchar_t short_illegal_set[] = {L'`', L'"', L'\'', L'^', L'*', L'#', L'\\', L';'};
const wchar_t long_illegal_extra[] = {L'+', L'|', L':', L'<', L'>', L'?', L'.', L'/'};

// A letter or digit of any script, as the platform's character classes have it.
bool is_alphanumeric(wchar_t c) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  if (c < 0x80) return iswalnum(static_cast<wint_t>(c)) != 0;
  return utf8 ? iswalnum_l(static_cast<wint_t>(c), utf8) != 0 : false;
}

// Characters no MySQL name can hold: NUL (it ends the statement) and what lies
// outside the Basic Multilingual Plane (identifiers are stored in three-byte UTF-8),
// surrogate halves included.
bool is_refused_char(wchar_t c) {
  const auto code = static_cast<unsigned long>(c);
  return code == 0 || code > 0xFFFF || (code >= 0xD800 && code <= 0xDFFF);
}

bool is_identifier_char(wchar_t c) {
  return !is_refused_char(c) && (is_alphanumeric(c) || c == L'_' || c == L'$');
}

bool is_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The white space a server refuses at the end of a name (a blank, tab, line feed,
// carriage return, vertical tab, form feed), though not at its start; other white
// space (no-break space, em space, ...) it takes anywhere.
bool is_refused_at_end(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\v' || c == L'\f';
}

bool all_digits(const std::wstring& name) {
  for (wchar_t c : name)
    if (!is_digit(c)) return false;
  return true;
}

void add_names(udb_validator& v, const std::vector<std::wstring>& names) {
  for (const std::wstring& n : names) v.used_names().push_back(n);
}

}  // namespace

// ---------------------------------------------------------------- older servers

sql_old_validator::sql_old_validator() : udb_validator(sql_max_name_length) {
  tk_trace(2, "sql_old_validator::ctor");
  for (const wchar_t* const* w = old_reserved_words; **w; ++w) reserved_words().push_back(*w);
}

bool sql_old_validator::is_acceptable(const std::wstring& name) const {
  tk_wtrace(2, L"sql_old_validator::is_acceptable(%s)", name.c_str());
  if (!udb_validator::is_acceptable(name)) return false;
  for (wchar_t c : name) {
    if (!is_identifier_char(c)) {
      tk_wtrace(2, L"Name contains invalid symbol: '%c'", c);
      return false;
    }
  }
  if (all_digits(name)) {
    tk_trace(2, "Name consists of digits only");
    return false;
  }
  return true;
}

std::wstring sql_old_validator::get_safe_name(const std::wstring& name) const {
  tk_wtrace(2, L"sql_old_validator::get_safe_name(%s)", name.c_str());
  std::wstring safe = name;
  for (wchar_t& c : safe)
    if (!is_identifier_char(c)) c = L'_';
  if (!safe.empty() && all_digits(safe)) safe[0] = L'_';
  return udb_validator::get_safe_name(safe);
}

sql_old_dn_validator::sql_old_dn_validator() { tk_trace(2, "sql_old_dn_validator::ctor"); }

bool sql_old_dn_validator::is_acceptable(const std::wstring& name) const {
  tk_wtrace(2, L"sql_old_dn_validator::is_acceptable(%s)", name.c_str());
  return sql_old_validator::is_acceptable(name) && !name.empty() && !is_digit(name[0]);
}

sql_old_fn_validator::sql_old_fn_validator(const udb_schema& schema) {
  tk_trace(2, "sql_old_fn_validator::ctor( const udb_schema& )");
  for (const t_ftd* field : schema) used_names().push_back(field->name);
}

sql_old_fn_validator::sql_old_fn_validator(const udb_record& record) {
  tk_trace(2, "sql_old_fn_validator::ctor( const udb_schema& )");
  for (size_t i = 0; i < record.size(); ++i) used_names().push_back(record[i].get_name());
}

sql_old_in_validator::sql_old_in_validator(const udb_indexes& indexes) {
  tk_trace(2, "sql_old_in_validator::ctor");
  for (const auto& index : indexes) used_names().push_back(index.name);
}

sql_old_tn_validator::sql_old_tn_validator(const std::vector<std::wstring>& names1,
                                           const std::vector<std::wstring>& names2) {
  tk_trace(2, "sql_old_tn_validator::ctor");
  add_names(*this, names1);
  add_names(*this, names2);
}

// ---------------------------------------------------------------- 4.1.0 and later

sql_new_validator::sql_new_validator(bool long_set) : udb_validator(sql_max_name_length) {
  tk_trace(2, "sql_new_validator::ctor");
  for (wchar_t c : short_illegal_set) illegal_chars().push_back(c);
  if (long_set)
    for (wchar_t c : long_illegal_extra) illegal_chars().push_back(c);
}

bool sql_new_validator::is_acceptable(const std::wstring& name) const {
  tk_wtrace(2, L"sql_new_validator::is_acceptable(%s)", name.c_str());
  if (name.empty() || name.size() > static_cast<size_t>(sql_max_name_length)) return false;
  if (name.front() == L' ' || is_refused_at_end(name.back())) return false;
  for (wchar_t c : name) {
    if (is_refused_char(c)) {
      tk_trace(1, "The name contains a character the server refuses");
      return false;
    }
  }
  return udb_validator::is_acceptable(name);
}

std::wstring sql_new_validator::get_safe_name(const std::wstring& name) const {
  tk_wtrace(2, L"sql_new_validator::get_safe_name(%s)", name.c_str());
  std::wstring safe = tk_trim(name);
  while (!safe.empty() && is_refused_at_end(safe.back())) safe.pop_back();
  for (wchar_t& c : safe)
    if (is_refused_char(c)) c = L'_';
  return udb_validator::get_safe_name(safe);
}

sql_new_fn_validator::sql_new_fn_validator(const udb_schema& schema) : sql_new_validator(false) {
  tk_trace(2, "sql_new_fn_validator::ctor");
  for (const t_ftd* field : schema) used_names().push_back(field->name);
}

sql_new_fn_validator::sql_new_fn_validator(const udb_record& record) : sql_new_validator(false) {
  tk_trace(2, "sql_new_fn_validator::ctor( const udb_schema& )");
  for (size_t i = 0; i < record.size(); ++i) used_names().push_back(record[i].get_name());
}

sql_new_in_validator::sql_new_in_validator(const udb_indexes& indexes)
    : sql_new_validator(false) {
  tk_trace(2, "sql_new_in_validator::ctor");
  for (const auto& index : indexes) used_names().push_back(index.name);
}

sql_new_tn_validator::sql_new_tn_validator(const std::vector<std::wstring>& names1,
                                           const std::vector<std::wstring>& names2)
    : sql_new_validator(true) {
  tk_trace(2, "sql_new_tn_validator::ctor");
  add_names(*this, names1);
  add_names(*this, names2);
}

// ---------------------------------------------------------------- engine factories

std::unique_ptr<udb_validator> sql_engine::create_fn_validator(const udb_schema& schema) const {
  tk_trace(1, "sql_engine::create_fn_validator( const udb_schema& )");
  if (m_server_version < sql_version::v4_1_0) return std::make_unique<sql_old_fn_validator>(schema);
  return std::make_unique<sql_new_fn_validator>(schema);
}

std::unique_ptr<udb_validator> sql_engine::create_fn_validator(const udb_record& record) const {
  tk_trace(1, "sql_engine::create_fn_validator( const udb_record& )");
  if (m_server_version < sql_version::v4_1_0) return std::make_unique<sql_old_fn_validator>(record);
  return std::make_unique<sql_new_fn_validator>(record);
}

std::unique_ptr<udb_validator> sql_engine::create_in_validator(const udb_indexes& indexes) const {
  tk_trace(1, "sql_engine::create_in_validator");
  if (m_server_version < sql_version::v4_1_0) return std::make_unique<sql_old_in_validator>(indexes);
  return std::make_unique<sql_new_in_validator>(indexes);
}

std::unique_ptr<udb_validator> sql_engine::create_tn_validator(const std::vector<std::wstring>& names1,
                                               const std::vector<std::wstring>& names2) const {
  tk_trace(1, "sql_engine::create_tn_validator");
  if (m_server_version < sql_version::v4_1_0) return std::make_unique<sql_old_tn_validator>(names1, names2);
  return std::make_unique<sql_new_tn_validator>(names1, names2);
}

std::unique_ptr<udb_validator> sql_engine::create_dn_validator() const {
  tk_trace(1, "sql_engine::create_dn_validator");
  if (m_server_version < sql_version::v4_1_0) return std::make_unique<sql_old_dn_validator>();
  return std::make_unique<sql_new_validator>(true);
}
