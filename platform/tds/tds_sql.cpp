#include "platform/tds/tds_sql.h"

#include <cstdint>

namespace {

// Reads one identifier part at i; false when the text is not one.
bool read_part(std::wstring_view text, std::size_t& i, std::wstring& part) {
  part.clear();
  if (i >= text.size()) return false;
  const wchar_t open = text[i];
  if (open == L'[' || open == L'"') {
    const wchar_t close = open == L'[' ? L']' : L'"';
    ++i;
    while (i < text.size()) {
      if (text[i] == close) {
        if (i + 1 < text.size() && text[i + 1] == close) {
          part += close;
          i += 2;
          continue;
        }
        ++i;
        return true;
      }
      part += text[i++];
    }
    return false;  // not closed
  }
  while (i < text.size() && text[i] != L'.') {
    if (text[i] == L'[' || text[i] == L']' || text[i] == L'"') return false;
    part += text[i++];
  }
  return !part.empty();
}

// The text between open and close, each close inside it doubled.
std::wstring enclosed(std::wstring_view open, std::wstring_view text, wchar_t close) {
  std::wstring out(open);
  for (wchar_t c : text) {
    out += c;
    if (c == close) out += close;
  }
  return out + close;
}

}  // namespace

std::wstring tsql_name(std::wstring_view name) { return enclosed(L"[", name, L']'); }

std::wstring tsql_string(std::wstring_view text) {
  if (text.find(L'\0') == std::wstring_view::npos) return enclosed(L"N'", text, L'\'');
  // A statement's text ends at a NUL character: such a text goes as its
  // UTF-16 bytes, which the server reads back as the same text.
  static const wchar_t digits[] = L"0123456789ABCDEF";
  std::wstring out = L"CONVERT(nvarchar(max), 0x";
  auto put = [&](unsigned unit) {
    for (unsigned byte : {unit & 0xFF, unit >> 8}) {
      out += digits[byte >> 4];
      out += digits[byte & 15];
    }
  };
  for (wchar_t c : text) {
    const auto code = static_cast<std::uint32_t>(c);
    if (code < 0x10000) {
      put(code);
    } else {
      put(0xD800 + ((code - 0x10000) >> 10));
      put(0xDC00 + ((code - 0x10000) & 0x3FF));
    }
  }
  return out + L")";
}

std::wstring tsql_like_exact(std::wstring_view name) {
  std::wstring out;
  for (wchar_t c : name) {
    if (c == L'_' || c == L'%' || c == L'[') {
      out += L'[';
      out += c;
      out += L']';
    } else {
      out += c;
    }
  }
  return out;
}

tsql_object_name tsql_parse_name(std::wstring_view text) {
  // Only a text with a bracket or quote is read as identifier parts: a plain
  // text is a raw name, dots and all.
  if (text.find_first_of(L"[\"") == std::wstring_view::npos) return {L"", std::wstring(text)};
  std::vector<std::wstring> parts;
  std::size_t i = 0;
  std::wstring part;
  while (true) {
    if (!read_part(text, i, part)) return {L"", std::wstring(text)};
    parts.push_back(part);
    if (i == text.size()) break;
    if (text[i] != L'.' || parts.size() == 4) return {L"", std::wstring(text)};
    ++i;
  }
  tsql_object_name result;
  result.name = parts.back();
  if (parts.size() >= 2) result.owner = parts[parts.size() - 2];
  return result;
}

std::wstring tsql_object(const tsql_object_name& name) {
  return name.owner.empty() ? tsql_name(name.name) : tsql_name(name.owner) + L"." + tsql_name(name.name);
}

std::wstring tsql_create_table(const tsql_object_name& table, const std::vector<tsql_column>& columns) {
  std::wstring sql = L"CREATE TABLE " + tsql_object(table) + L" (";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const tsql_column& c = columns[i];
    if (i) sql += L", ";
    sql += tsql_name(c.name) + L" " + c.type;
    if (c.identity) sql += L" IDENTITY(1,1)";
    sql += c.nullable ? L" NULL" : L" NOT NULL";
    if (!c.default_value.empty()) sql += L" DEFAULT " + c.default_value;
  }
  return sql + L")";
}

std::wstring tsql_drop_table(const tsql_object_name& table) { return L"DROP TABLE " + tsql_object(table); }

std::wstring tsql_create_index(const tsql_object_name& table, std::wstring_view index, bool primary, bool unique,
                               bool clustered, const std::vector<std::wstring>& columns) {
  std::wstring list;
  for (std::size_t i = 0; i < columns.size(); ++i) list += (i ? L", " : L"") + tsql_name(columns[i]);
  if (primary || unique)
    return L"ALTER TABLE " + tsql_object(table) + L" ADD CONSTRAINT " + tsql_name(index) +
           (primary ? L" PRIMARY KEY" : L" UNIQUE") + (clustered ? L" CLUSTERED" : L" NONCLUSTERED") + L" (" +
           list + L")";
  return std::wstring(L"CREATE ") + (clustered ? L"CLUSTERED " : L"") + L"INDEX " + tsql_name(index) + L" ON " +
         tsql_object(table) + L" (" + list + L")";
}

std::wstring tsql_select_all(const tsql_object_name& table, bool no_rows) {
  return std::wstring(no_rows ? L"SELECT TOP 0 * FROM " : L"SELECT * FROM ") + tsql_object(table);
}

std::wstring tsql_identity_insert(const tsql_object_name& table, bool on) {
  return L"SET IDENTITY_INSERT " + tsql_object(table) + (on ? L" ON" : L" OFF");
}

std::wstring tsql_insert(const tsql_object_name& table, const std::vector<std::wstring>& columns,
                         const std::vector<std::wstring>& literals) {
  return tsql_insert_rows(table, columns, {literals});
}

std::wstring tsql_insert_rows(const tsql_object_name& table, const std::vector<std::wstring>& columns,
                              const std::vector<std::vector<std::wstring>>& rows) {
  std::wstring sql = L"INSERT INTO " + tsql_object(table) + L" (";
  for (std::size_t i = 0; i < columns.size(); ++i) sql += (i ? L", " : L"") + tsql_name(columns[i]);
  sql += L") VALUES ";
  for (std::size_t r = 0; r < rows.size(); ++r) {
    sql += r ? L", (" : L"(";
    for (std::size_t i = 0; i < rows[r].size(); ++i) sql += (i ? L", " : L"") + rows[r][i];
    sql += L")";
  }
  return sql;
}

std::wstring tsql_session_settings(long lock_timeout_ms) {
  // A lock held by someone else ends a statement after the wait with an
  // error (1222) instead of holding the run for ever.
  return L"SET ANSI_WARNINGS ON; SET ANSI_NULLS ON; SET ANSI_PADDING ON; SET CONCAT_NULL_YIELDS_NULL ON; "
         L"SET QUOTED_IDENTIFIER ON; SET TEXTSIZE 2147483647; SET LOCK_TIMEOUT " +
         std::to_wstring(lock_timeout_ms);
}

std::wstring tsql_column_collations(const tsql_object_name& table) {
  // COLLATIONPROPERTY and DATABASEPROPERTYEX give sql_variant, which db-lib
  // cannot read: each is converted.
  std::wstring sql =
      L"SELECT COLUMN_NAME, DATA_TYPE, COLLATION_NAME, CONVERT(int, COLLATIONPROPERTY(COLLATION_NAME, 'CodePage')), "
      L"CONVERT(int, COLLATIONPROPERTY(CONVERT(nvarchar(128), DATABASEPROPERTYEX(DB_NAME(), 'Collation')), "
      L"'CodePage')) FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = " +
      tsql_string(table.name);
  if (!table.owner.empty()) sql += L" AND TABLE_SCHEMA = " + tsql_string(table.owner);
  return sql;
}

namespace {

// "EXEC procedure @a=N'..', @b=N'..'" with the arguments that have a value.
std::wstring exec(const wchar_t* procedure, const std::vector<std::pair<const wchar_t*, std::wstring>>& arguments) {
  std::wstring sql = std::wstring(L"EXEC ") + procedure;
  bool first = true;
  for (const auto& [name, value] : arguments) {
    if (value.empty()) continue;
    sql += first ? L" " : L", ";
    sql += std::wstring(name) + L"=" + value;
    first = false;
  }
  return sql;
}

std::wstring pattern(std::wstring_view name) { return name.empty() ? L"" : tsql_string(tsql_like_exact(name)); }
std::wstring exact(std::wstring_view name) { return name.empty() ? L"" : tsql_string(name); }

}  // namespace

// sp_tables reads its names as LIKE patterns; sp_pkeys, sp_statistics and
// sp_fkeys compare them exactly on SQL Server (their callers check the rows
// they get, for servers that match patterns there too).
std::wstring tsql_sp_tables(std::wstring_view owner, std::wstring_view table, std::wstring_view type) {
  return exec(L"sp_tables", {{L"@table_name", pattern(table)},
                             {L"@table_owner", pattern(owner)},
                             {L"@table_type", type.empty() ? L"" : tsql_string(L"'" + std::wstring(type) + L"'")}});
}

std::wstring tsql_sp_pkeys(std::wstring_view owner, std::wstring_view table) {
  return exec(L"sp_pkeys", {{L"@table_name", exact(table)}, {L"@table_owner", exact(owner)}});
}

std::wstring tsql_sp_statistics(std::wstring_view owner, std::wstring_view table) {
  return exec(L"sp_statistics", {{L"@table_name", exact(table)}, {L"@table_owner", exact(owner)}});
}

std::wstring tsql_sp_fkeys(std::wstring_view pk_owner, std::wstring_view pk_table, std::wstring_view fk_owner,
                           std::wstring_view fk_table) {
  return exec(L"sp_fkeys", {{L"@pktable_name", exact(pk_table)},
                            {L"@pktable_owner", exact(pk_owner)},
                            {L"@fktable_name", exact(fk_table)},
                            {L"@fktable_owner", exact(fk_owner)}});
}
