// INFORMATION_SCHEMA.COLUMNS: one row per column of every table, in the
// types SQL Server gives the view's columns.
#include "tests/support/tds_server/tds_views.h"

#include "tests/support/tds_server/tds_bytes.h"

namespace tds {

namespace {

column_def view_column(const char* name, column_type t) {
  column_def c;
  c.name = name;
  c.type = t;
  return c;
}

cell text_of(std::string_view utf8) { return cell::of(utf8_to_utf16(utf8)); }
cell int_of(int64_t v, int bytes) { return cell::of(le_bytes(static_cast<uint64_t>(v), bytes)); }

// NUMERIC_PRECISION, NUMERIC_PRECISION_RADIX, NUMERIC_SCALE and DATETIME_PRECISION.
void numeric_facts(const column_type& t, cell& precision, cell& radix, cell& scale, cell& datetime_precision) {
  auto set = [&](int p, int r, int s) {
    precision = int_of(p, 1);
    radix = int_of(r, 2);
    scale = int_of(s, 4);
  };
  switch (t.type) {
    case sql_type::tinyint: set(3, 10, 0); break;
    case sql_type::smallint: set(5, 10, 0); break;
    case sql_type::int_: set(10, 10, 0); break;
    case sql_type::bigint: set(19, 10, 0); break;
    case sql_type::real: precision = int_of(24, 1); radix = int_of(2, 2); break;
    case sql_type::float_: precision = int_of(53, 1); radix = int_of(2, 2); break;
    case sql_type::smallmoney: set(10, 10, 4); break;
    case sql_type::money: set(19, 10, 4); break;
    case sql_type::decimal: case sql_type::numeric: set(t.precision, 10, t.scale); break;
    case sql_type::datetime: datetime_precision = int_of(3, 2); break;
    case sql_type::smalldatetime: case sql_type::date: datetime_precision = int_of(0, 2); break;
    case sql_type::time: case sql_type::datetime2: case sql_type::datetimeoffset: datetime_precision = int_of(t.scale, 2); break;
    default: break;
  }
}

std::string character_set(const column_type& t) {
  if (is_unicode(t.type)) return "UNICODE";
  const int cp = collation(t.collation).code_page;
  return cp == 1252 ? "iso_1" : "cp" + std::to_string(cp);
}

std::unique_ptr<table> information_schema_columns(const database& db) {
  auto v = std::make_unique<table>();
  v->owner = "INFORMATION_SCHEMA";
  v->name = "COLUMNS";
  const column_type sysname{sql_type::nvarchar, 128};
  for (auto c : {view_column("TABLE_CATALOG", sysname), view_column("TABLE_SCHEMA", sysname), view_column("TABLE_NAME", sysname),
                 view_column("COLUMN_NAME", sysname), view_column("ORDINAL_POSITION", {sql_type::int_}),
                 view_column("COLUMN_DEFAULT", {sql_type::nvarchar, 4000}), view_column("IS_NULLABLE", {sql_type::varchar, 3}),
                 view_column("DATA_TYPE", sysname), view_column("CHARACTER_MAXIMUM_LENGTH", {sql_type::int_}),
                 view_column("CHARACTER_OCTET_LENGTH", {sql_type::int_}), view_column("NUMERIC_PRECISION", {sql_type::tinyint}),
                 view_column("NUMERIC_PRECISION_RADIX", {sql_type::smallint}), view_column("NUMERIC_SCALE", {sql_type::int_}),
                 view_column("DATETIME_PRECISION", {sql_type::smallint}), view_column("CHARACTER_SET_NAME", sysname),
                 view_column("COLLATION_NAME", sysname)})
    v->columns.push_back(c);
  for (const auto& [key, t] : db.tables) {
    int ordinal = 0;
    for (const auto& c : t->columns) {
      const column_type& ty = c.type;
      std::vector<cell> r(v->columns.size());
      r[0] = text_of(db.name);
      r[1] = text_of(t->owner);
      r[2] = text_of(t->name);
      r[3] = text_of(c.name);
      r[4] = int_of(++ordinal, 4);
      if (c.default_text) r[5] = text_of(*c.default_text);
      r[6] = cell::of(c.nullable ? "YES" : "NO");
      r[7] = text_of(base_name(ty.type));
      if (is_string_like(ty.type)) {
        const bool unicode = is_unicode(ty.type);
        const int64_t chars = ty.type == sql_type::ntext ? 1073741823
                              : is_long(ty.type)          ? 2147483647
                              : ty.length < 0             ? -1
                                                          : ty.length;
        r[8] = int_of(chars, 4);
        r[9] = int_of(chars > 0 && unicode && ty.type != sql_type::ntext ? chars * 2 : ty.type == sql_type::ntext ? 2147483646 : chars, 4);
      }
      numeric_facts(ty, r[10], r[11], r[12], r[13]);
      if (is_char(ty.type) || is_unicode(ty.type)) {
        r[14] = text_of(character_set(ty));
        r[15] = text_of(collation(ty.collation).name);
      }
      v->rows.emplace_back(r);
    }
  }
  return v;
}

}  // namespace

std::unique_ptr<table> system_view(const database& db, std::string_view schema, std::string_view name) {
  if (name_key(schema) == "INFORMATION_SCHEMA" && name_key(name) == "COLUMNS") return information_schema_columns(db);
  return nullptr;
}

}  // namespace tds
