#include "platform/tds/tds_schema.h"

#include <cwchar>
#include <cwctype>

#include "platform/oleaut/bstr.h"
#include "platform/oledb/error_info.h"
#include "platform/oledb/text16.h"
#include "platform/tds/tds_cells.h"
#include "platform/tds/tds_error.h"
#include "platform/tds/tds_rowset.h"
#include "platform/tds/tds_sql.h"

namespace {

std::wstring restriction(ULONG count, const VARIANT* r, ULONG i) {
  return i < count && r && r[i].vt == VT_BSTR ? bstr_text(r[i].bstrVal) : L"";
}

// Reads the source rows by column name into the target layout.
struct reshaper {
  const tds_result& source;
  tds_result target;

  int source_index(const wchar_t* name) const {
    for (std::size_t i = 0; i < source.columns.size(); ++i) {
      const std::wstring& n = source.columns[i].name;
      if (n.size() == std::wcslen(name)) {
        bool same = true;
        for (std::size_t k = 0; k < n.size() && same; ++k) same = std::towupper(n[k]) == std::towupper(name[k]);
        if (same) return static_cast<int>(i);
      }
    }
    return -1;
  }
  void column(const wchar_t* name, DBTYPE type) {
    tds_column c;
    c.name = name;
    c.type = type;
    c.size = type == DBTYPE_WSTR ? 128 : type == DBTYPE_BOOL ? 2 : type == DBTYPE_I2 ? 2 : 4;
    target.columns.push_back(c);
  }
  std::wstring text(const tds_row& row, const wchar_t* name) const {
    int i = source_index(name);
    if (i < 0 || row[i].null) return L"";
    return utf16_to_wide(tds_cell_text(source.columns[i], row[i]));
  }
  bool is_null(const tds_row& row, const wchar_t* name) const {
    int i = source_index(name);
    return i < 0 || row[i].null;
  }
  static tds_cell text_cell(const std::wstring& text, bool null = false) {
    tds_cell c;
    c.null = null;
    if (!null) {
      std::u16string t = wide_to_utf16(text);
      c.bytes.assign(reinterpret_cast<const BYTE*>(t.data()), reinterpret_cast<const BYTE*>(t.data()) + t.size() * 2);
    }
    return c;
  }
  template <class T>
  static tds_cell value_cell(T v) {
    tds_cell c;
    c.null = false;
    c.bytes.assign(reinterpret_cast<const BYTE*>(&v), reinterpret_cast<const BYTE*>(&v) + sizeof v);
    return c;
  }
};

std::wstring rule_text(const std::wstring& number) {
  if (number == L"0") return L"CASCADE";
  if (number == L"1") return L"NO ACTION";
  if (number == L"2") return L"SET NULL";
  if (number == L"3") return L"SET DEFAULT";
  return number;
}

bool run_one(tds_link& link, const std::wstring& sql, tds_result& result) {
  std::vector<tds_result> results;
  tds_clear_messages();
  if (!link.run(sql, &results)) return false;
  for (auto& r : results)
    if (!r.columns.empty()) {
      result = std::move(r);
      return true;
    }
  return true;  // no rows
}

bool same(const std::wstring& wanted, const std::wstring& got) { return wanted.empty() || wanted == got; }

}  // namespace

HRESULT tds_schema_rowset(tds_link& link, REFGUID schema, ULONG count, const VARIANT* r, REFIID iid, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  tds_result source;
  if (schema == DBSCHEMA_TABLES) {
    std::wstring owner = restriction(count, r, 1), table = restriction(count, r, 2), type = restriction(count, r, 3);
    if (!run_one(link, tsql_sp_tables(owner, table, type), source)) return tds_fail();
    reshaper s{source, {}};
    for (auto* n : {L"TABLE_CATALOG", L"TABLE_SCHEMA", L"TABLE_NAME", L"TABLE_TYPE", L"DESCRIPTION"})
      s.column(n, DBTYPE_WSTR);
    for (const auto& row : source.rows) {
      if (!same(owner, s.text(row, L"TABLE_OWNER")) || !same(table, s.text(row, L"TABLE_NAME")) ||
          !same(type, s.text(row, L"TABLE_TYPE")))
        continue;
      s.target.rows.push_back({s.text_cell(s.text(row, L"TABLE_QUALIFIER")), s.text_cell(s.text(row, L"TABLE_OWNER")),
                               s.text_cell(s.text(row, L"TABLE_NAME")), s.text_cell(s.text(row, L"TABLE_TYPE")),
                               s.text_cell(s.text(row, L"REMARKS"), s.is_null(row, L"REMARKS"))});
    }
    return tds_make_rowset(std::move(s.target), iid, out);
  }
  if (schema == DBSCHEMA_PRIMARY_KEYS) {
    std::wstring owner = restriction(count, r, 1), table = restriction(count, r, 2);
    if (!run_one(link, tsql_sp_pkeys(owner, table), source)) return tds_fail();
    reshaper s{source, {}};
    for (auto* n : {L"TABLE_CATALOG", L"TABLE_SCHEMA", L"TABLE_NAME", L"COLUMN_NAME"}) s.column(n, DBTYPE_WSTR);
    s.column(L"ORDINAL", DBTYPE_I4);
    s.column(L"PK_NAME", DBTYPE_WSTR);
    for (const auto& row : source.rows) {
      if (!same(owner, s.text(row, L"TABLE_OWNER")) || !same(table, s.text(row, L"TABLE_NAME"))) continue;
      s.target.rows.push_back({s.text_cell(s.text(row, L"TABLE_QUALIFIER")), s.text_cell(s.text(row, L"TABLE_OWNER")),
                               s.text_cell(s.text(row, L"TABLE_NAME")), s.text_cell(s.text(row, L"COLUMN_NAME")),
                               s.value_cell<LONG>(std::wcstol(s.text(row, L"KEY_SEQ").c_str(), nullptr, 10)),
                               s.text_cell(s.text(row, L"PK_NAME"))});
    }
    return tds_make_rowset(std::move(s.target), iid, out);
  }
  if (schema == DBSCHEMA_INDEXES) {
    std::wstring owner = restriction(count, r, 1), index = restriction(count, r, 2), table = restriction(count, r, 4);
    if (table.empty()) return oledb_fail(E_INVALIDARG, L"The index list needs a table.", L"");
    tds_result keys;
    if (!run_one(link, tsql_sp_pkeys(owner, table), keys)) return tds_fail();
    std::wstring pk_name;
    {
      reshaper k{keys, {}};
      for (const auto& row : keys.rows)
        if (same(table, k.text(row, L"TABLE_NAME")) && same(owner, k.text(row, L"TABLE_OWNER")))
          pk_name = k.text(row, L"PK_NAME");
    }
    if (!run_one(link, tsql_sp_statistics(owner, table), source)) return tds_fail();
    reshaper s{source, {}};
    for (auto* n : {L"TABLE_CATALOG", L"TABLE_SCHEMA", L"TABLE_NAME", L"INDEX_CATALOG", L"INDEX_SCHEMA", L"INDEX_NAME"})
      s.column(n, DBTYPE_WSTR);
    s.column(L"PRIMARY_KEY", DBTYPE_BOOL);
    s.column(L"UNIQUE", DBTYPE_BOOL);
    s.column(L"CLUSTERED", DBTYPE_BOOL);
    s.column(L"TYPE", DBTYPE_I2);
    s.column(L"ORDINAL_POSITION", DBTYPE_I4);
    s.column(L"COLUMN_NAME", DBTYPE_WSTR);
    for (const auto& row : source.rows) {
      if (s.is_null(row, L"INDEX_NAME")) continue;  // the table's own statistics row
      std::wstring name = s.text(row, L"INDEX_NAME");
      if (!same(index, name) || !same(table, s.text(row, L"TABLE_NAME")) || !same(owner, s.text(row, L"TABLE_OWNER")))
        continue;
      VARIANT_BOOL unique = s.text(row, L"NON_UNIQUE") == L"0" ? VARIANT_TRUE : VARIANT_FALSE;
      VARIANT_BOOL clustered = s.text(row, L"TYPE") == L"1" ? VARIANT_TRUE : VARIANT_FALSE;
      VARIANT_BOOL primary = !pk_name.empty() && name == pk_name ? VARIANT_TRUE : VARIANT_FALSE;
      s.target.rows.push_back({s.text_cell(s.text(row, L"TABLE_QUALIFIER")), s.text_cell(s.text(row, L"TABLE_OWNER")),
                               s.text_cell(s.text(row, L"TABLE_NAME")), s.text_cell(s.text(row, L"TABLE_QUALIFIER")),
                               s.text_cell(s.text(row, L"TABLE_OWNER")), s.text_cell(name), s.value_cell(primary),
                               s.value_cell(unique), s.value_cell(clustered), s.value_cell<SHORT>(1),
                               s.value_cell<LONG>(std::wcstol(s.text(row, L"SEQ_IN_INDEX").c_str(), nullptr, 10)),
                               s.text_cell(s.text(row, L"COLUMN_NAME"))});
    }
    return tds_make_rowset(std::move(s.target), iid, out);
  }
  if (schema == DBSCHEMA_FOREIGN_KEYS) {
    std::wstring pk_owner = restriction(count, r, 1), pk_table = restriction(count, r, 2),
                 fk_owner = restriction(count, r, 4), fk_table = restriction(count, r, 5);
    if (pk_table.empty() && fk_table.empty())
      return oledb_fail(E_INVALIDARG, L"The foreign-key list needs a table.", L"");
    if (!run_one(link, tsql_sp_fkeys(pk_owner, pk_table, fk_owner, fk_table), source)) return tds_fail();
    reshaper s{source, {}};
    for (auto* n : {L"PK_TABLE_CATALOG", L"PK_TABLE_SCHEMA", L"PK_TABLE_NAME", L"PK_COLUMN_NAME", L"FK_TABLE_CATALOG",
                    L"FK_TABLE_SCHEMA", L"FK_TABLE_NAME", L"FK_COLUMN_NAME"})
      s.column(n, DBTYPE_WSTR);
    s.column(L"ORDINAL", DBTYPE_I4);
    for (auto* n : {L"UPDATE_RULE", L"DELETE_RULE", L"PK_NAME", L"FK_NAME"}) s.column(n, DBTYPE_WSTR);
    for (const auto& row : source.rows) {
      if (!same(pk_table, s.text(row, L"PKTABLE_NAME")) || !same(pk_owner, s.text(row, L"PKTABLE_OWNER")) ||
          !same(fk_table, s.text(row, L"FKTABLE_NAME")) || !same(fk_owner, s.text(row, L"FKTABLE_OWNER")))
        continue;
      s.target.rows.push_back(
          {s.text_cell(s.text(row, L"PKTABLE_QUALIFIER")), s.text_cell(s.text(row, L"PKTABLE_OWNER")),
           s.text_cell(s.text(row, L"PKTABLE_NAME")), s.text_cell(s.text(row, L"PKCOLUMN_NAME")),
           s.text_cell(s.text(row, L"FKTABLE_QUALIFIER")), s.text_cell(s.text(row, L"FKTABLE_OWNER")),
           s.text_cell(s.text(row, L"FKTABLE_NAME")), s.text_cell(s.text(row, L"FKCOLUMN_NAME")),
           s.value_cell<LONG>(std::wcstol(s.text(row, L"KEY_SEQ").c_str(), nullptr, 10)),
           s.text_cell(rule_text(s.text(row, L"UPDATE_RULE"))), s.text_cell(rule_text(s.text(row, L"DELETE_RULE"))),
           s.text_cell(s.text(row, L"PK_NAME")), s.text_cell(s.text(row, L"FK_NAME"))});
    }
    return tds_make_rowset(std::move(s.target), iid, out);
  }
  return oledb_fail(E_INVALIDARG, L"The schema rowset is not supported.", L"");
}

bool tds_table_columns(tds_link& link, const tsql_object_name& table, std::vector<tds_column>& columns) {
  tds_result source;
  std::wstring sql = L"EXEC sp_columns @table_name=" + tsql_string(tsql_like_exact(table.name));
  if (!table.owner.empty()) sql += L", @table_owner=" + tsql_string(tsql_like_exact(table.owner));
  if (!run_one(link, sql, source)) return false;
  reshaper s{source, {}};
  for (const auto& row : source.rows) {
    if (s.text(row, L"TABLE_NAME") != table.name) continue;
    if (!table.owner.empty() && s.text(row, L"TABLE_OWNER") != table.owner) continue;
    const std::wstring name = s.text(row, L"COLUMN_NAME");
    for (auto& c : columns) {
      if (c.name != name) continue;
      std::wstring type = s.text(row, L"TYPE_NAME");
      for (auto& ch : type) ch = static_cast<wchar_t>(std::towlower(ch));
      const std::wstring identity = L" identity";
      c.identity = type.size() > identity.size() && type.compare(type.size() - identity.size(), identity.size(), identity) == 0;
      if (c.identity) type.erase(type.size() - identity.size());
      c.nullable = s.text(row, L"NULLABLE") == L"1";
      const long precision = std::wcstol(s.text(row, L"PRECISION").c_str(), nullptr, 10);
      if (c.type == DBTYPE_WSTR) {
        c.unicode = !type.empty() && type[0] == L'n';
        c.is_long = type == L"ntext" || type == L"text" || type == L"xml" || precision <= 0 || precision >= 0x3FFFFFFF;
        c.size = c.is_long ? 1073741823u : static_cast<DBLENGTH>(precision);
      } else if (c.type == DBTYPE_BYTES) {
        c.is_long = type == L"image" || precision <= 0 || precision >= 0x3FFFFFFF;
        c.size = c.is_long ? 2147483647u : static_cast<DBLENGTH>(precision);
      }
      if (type == L"datetime") c.server_type = 61;
      if (type == L"smalldatetime") c.server_type = 58;
    }
  }
  return true;
}

void tds_column_code_pages(tds_link& link, const tsql_object_name& table, std::vector<tds_column>& columns,
                           unsigned& database_code_page) {
  database_code_page = tds_default_code_page;
  for (auto& c : columns)
    if (c.type == DBTYPE_WSTR && !c.unicode) c.code_page = tds_default_code_page;
  tds_result source;
  if (!run_one(link, tsql_column_collations(table), source)) {
    tds_clear_messages();
    return;
  }
  auto number = [&](const tds_row& row, std::size_t i) -> unsigned {
    if (i >= row.size() || row[i].null) return 0;
    const std::wstring text = utf16_to_wide(tds_cell_text(source.columns[i], row[i]));
    return static_cast<unsigned>(std::wcstoul(text.c_str(), nullptr, 10));
  };
  for (const auto& row : source.rows) {
    if (row.empty() || row[0].null) continue;
    if (const unsigned cp = number(row, 4)) database_code_page = cp;
    const std::wstring name = utf16_to_wide(tds_cell_text(source.columns[0], row[0]));
    for (auto& c : columns)
      if (c.name == name && c.type == DBTYPE_WSTR && !c.unicode)
        if (const unsigned cp = number(row, 3)) c.code_page = cp;
  }
}
