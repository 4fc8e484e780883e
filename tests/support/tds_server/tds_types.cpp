// Column types: names, wire descriptions, reading and writing values.
#include "tests/support/tds_server/tds_types.h"

#include <cstdio>

namespace tds {

namespace {

int time_bytes(int scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }

}  // namespace

void raise(int number, int severity, std::string text, int state) {
  throw sql_error{number, severity, state, std::move(text)};
}

int decimal_bytes(int precision) { return precision <= 9 ? 4 : precision <= 19 ? 8 : precision <= 28 ? 12 : 16; }

bool is_unicode(sql_type t) { return t == sql_type::nchar || t == sql_type::nvarchar || t == sql_type::ntext; }
bool is_char(sql_type t) { return t == sql_type::char_ || t == sql_type::varchar || t == sql_type::text; }
bool is_binary(sql_type t) { return t == sql_type::binary || t == sql_type::varbinary || t == sql_type::image; }
bool is_long(sql_type t) { return t == sql_type::text || t == sql_type::ntext || t == sql_type::image; }
bool is_string_like(sql_type t) { return is_unicode(t) || is_char(t) || is_binary(t); }

const char* base_name(sql_type t) {
  switch (t) {
    case sql_type::tinyint: return "tinyint";
    case sql_type::smallint: return "smallint";
    case sql_type::int_: return "int";
    case sql_type::bigint: return "bigint";
    case sql_type::bit: return "bit";
    case sql_type::real: return "real";
    case sql_type::float_: return "float";
    case sql_type::smallmoney: return "smallmoney";
    case sql_type::money: return "money";
    case sql_type::smalldatetime: return "smalldatetime";
    case sql_type::datetime: return "datetime";
    case sql_type::date: return "date";
    case sql_type::time: return "time";
    case sql_type::datetime2: return "datetime2";
    case sql_type::datetimeoffset: return "datetimeoffset";
    case sql_type::decimal: return "decimal";
    case sql_type::numeric: return "numeric";
    case sql_type::char_: return "char";
    case sql_type::varchar: return "varchar";
    case sql_type::nchar: return "nchar";
    case sql_type::nvarchar: return "nvarchar";
    case sql_type::text: return "text";
    case sql_type::ntext: return "ntext";
    case sql_type::binary: return "binary";
    case sql_type::varbinary: return "varbinary";
    case sql_type::image: return "image";
    case sql_type::uniqueidentifier: return "uniqueidentifier";
    case sql_type::sql_variant: return "sql_variant";
  }
  return "?";
}

std::string type_name(const column_type& t) {
  std::string n = base_name(t.type);
  switch (t.type) {
    case sql_type::decimal:
    case sql_type::numeric:
      return n + "(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    case sql_type::time:
    case sql_type::datetime2:
    case sql_type::datetimeoffset:
      return n + "(" + std::to_string(t.scale) + ")";
    case sql_type::char_:
    case sql_type::varchar:
    case sql_type::nchar:
    case sql_type::nvarchar:
    case sql_type::binary:
    case sql_type::varbinary:
      return n + "(" + (t.length < 0 ? std::string("max") : std::to_string(t.length)) + ")";
    default:
      return n;
  }
}

std::optional<column_type> make_type(std::string_view name, const std::optional<int>& a1,
                                     const std::optional<int>& a2) {
  std::string n;
  for (char c : name) n.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
  static const struct { const char* name; sql_type type; } names[] = {
      {"tinyint", sql_type::tinyint}, {"smallint", sql_type::smallint}, {"int", sql_type::int_},
      {"integer", sql_type::int_}, {"bigint", sql_type::bigint}, {"bit", sql_type::bit},
      {"real", sql_type::real}, {"float", sql_type::float_}, {"smallmoney", sql_type::smallmoney},
      {"money", sql_type::money}, {"smalldatetime", sql_type::smalldatetime}, {"datetime", sql_type::datetime},
      {"date", sql_type::date}, {"time", sql_type::time}, {"datetime2", sql_type::datetime2},
      {"datetimeoffset", sql_type::datetimeoffset}, {"decimal", sql_type::decimal}, {"dec", sql_type::decimal},
      {"numeric", sql_type::numeric}, {"char", sql_type::char_}, {"varchar", sql_type::varchar},
      {"nchar", sql_type::nchar}, {"nvarchar", sql_type::nvarchar}, {"text", sql_type::text},
      {"ntext", sql_type::ntext}, {"binary", sql_type::binary}, {"varbinary", sql_type::varbinary},
      {"image", sql_type::image}, {"uniqueidentifier", sql_type::uniqueidentifier},
      {"sysname", sql_type::nvarchar},
  };
  column_type t;
  bool found = false;
  for (const auto& e : names) {
    if (n == e.name) { t.type = e.type; found = true; }
  }
  if (!found) return std::nullopt;
  switch (t.type) {
    case sql_type::decimal:
    case sql_type::numeric:
      t.precision = a1.value_or(18);
      t.scale = a2.value_or(0);
      if (t.precision < 1 || t.precision > 38)
        raise(2750, 16, "Column or parameter #1: Specified column precision " + std::to_string(t.precision) +
                            " is greater than the maximum precision of 38.");
      if (t.scale < 0 || t.scale > t.precision)
        raise(192, 16, "The scale must be less than or equal to the precision.");
      break;
    case sql_type::float_:
      if (a1 && *a1 <= 24) t.type = sql_type::real;
      break;
    case sql_type::time:
    case sql_type::datetime2:
    case sql_type::datetimeoffset:
      t.scale = a1.value_or(7);
      if (t.scale < 0 || t.scale > 7)
        raise(1002, 16, "Specified scale " + std::to_string(t.scale) + " is invalid.");
      break;
    case sql_type::char_:
    case sql_type::varchar:
    case sql_type::binary:
    case sql_type::varbinary:
    case sql_type::nchar:
    case sql_type::nvarchar: {
      t.length = a1.value_or(n == "sysname" ? 128 : 1);
      const int limit = is_unicode(t.type) ? 4000 : 8000;
      const bool can_max = t.type == sql_type::varchar || t.type == sql_type::nvarchar || t.type == sql_type::varbinary;
      if ((t.length < 0 && !can_max) || t.length == 0 || t.length > limit)
        raise(131, 15, "The size (" + std::to_string(t.length) + ") given to the type '" + n +
                           "' exceeds the maximum allowed for any data type (" + std::to_string(limit) + ").");
      break;
    }
    default:
      break;
  }
  return t;
}

int fixed_size(const column_type& t) {
  switch (t.type) {
    case sql_type::tinyint: case sql_type::bit: return 1;
    case sql_type::smallint: return 2;
    case sql_type::int_: case sql_type::real: case sql_type::smallmoney: case sql_type::smalldatetime: return 4;
    case sql_type::bigint: case sql_type::float_: case sql_type::money: case sql_type::datetime: return 8;
    case sql_type::date: return 3;
    case sql_type::time: return time_bytes(t.scale);
    case sql_type::datetime2: return time_bytes(t.scale) + 3;
    case sql_type::datetimeoffset: return time_bytes(t.scale) + 5;
    case sql_type::decimal: case sql_type::numeric: return 1 + decimal_bytes(t.precision);
    case sql_type::uniqueidentifier: return 16;
    default: return 0;
  }
}

int storage_length(const column_type& t) {
  if (int f = fixed_size(t)) return f;
  if (is_long(t.type) || t.length < 0) return 2147483647;
  return is_unicode(t.type) ? t.length * 2 : t.length;
}

void write_type_info(writer& w, const column_type& t, std::string_view table_u16) {
  auto n16 = [&](uint8_t token, int bytes) {
    w.u8(token);
    w.u16(static_cast<uint16_t>(bytes));
  };
  switch (t.type) {
    case sql_type::tinyint: case sql_type::smallint: case sql_type::int_: case sql_type::bigint:
      w.u8(0x26); w.u8(static_cast<uint8_t>(fixed_size(t))); break;
    case sql_type::bit: w.u8(0x68); w.u8(1); break;
    case sql_type::real: case sql_type::float_: w.u8(0x6D); w.u8(static_cast<uint8_t>(fixed_size(t))); break;
    case sql_type::smallmoney: case sql_type::money: w.u8(0x6E); w.u8(static_cast<uint8_t>(fixed_size(t))); break;
    case sql_type::smalldatetime: case sql_type::datetime: w.u8(0x6F); w.u8(static_cast<uint8_t>(fixed_size(t))); break;
    case sql_type::date: w.u8(0x28); break;
    case sql_type::time: w.u8(0x29); w.u8(static_cast<uint8_t>(t.scale)); break;
    case sql_type::datetime2: w.u8(0x2A); w.u8(static_cast<uint8_t>(t.scale)); break;
    case sql_type::datetimeoffset: w.u8(0x2B); w.u8(static_cast<uint8_t>(t.scale)); break;
    case sql_type::decimal: case sql_type::numeric:
      w.u8(t.type == sql_type::decimal ? 0x6A : 0x6C);
      w.u8(static_cast<uint8_t>(fixed_size(t)));
      w.u8(static_cast<uint8_t>(t.precision));
      w.u8(static_cast<uint8_t>(t.scale));
      break;
    case sql_type::uniqueidentifier: w.u8(0x24); w.u8(16); break;
    case sql_type::char_: n16(0xAF, t.length); w.bytes(collation_bytes(t.collation)); break;
    case sql_type::varchar: n16(0xA7, t.length < 0 ? 0xFFFF : t.length); w.bytes(collation_bytes(t.collation)); break;
    case sql_type::nchar: n16(0xEF, t.length * 2); w.bytes(collation_bytes(t.collation)); break;
    case sql_type::nvarchar: n16(0xE7, t.length < 0 ? 0xFFFF : t.length * 2); w.bytes(collation_bytes(t.collation)); break;
    case sql_type::binary: n16(0xAD, t.length); break;
    case sql_type::varbinary: n16(0xA5, t.length < 0 ? 0xFFFF : t.length); break;
    case sql_type::sql_variant: w.u8(0x62); w.u32(8016); break;
    case sql_type::text: case sql_type::ntext: case sql_type::image:
      w.u8(t.type == sql_type::text ? 0x23 : t.type == sql_type::ntext ? 0x63 : 0x22);
      w.u32(t.type == sql_type::ntext ? 0x7FFFFFFE : 0x7FFFFFFF);
      if (t.type != sql_type::image) w.bytes(collation_bytes(t.collation));
      w.u8(1);  // one part: the table name
      w.us_varchar(table_u16);
      break;
  }
}

void write_value(writer& w, const column_type& t, const cell& v) {
  if (t.type == sql_type::sql_variant) {
    w.u32(v.null ? 0 : static_cast<uint32_t>(v.bytes.size()));
    if (!v.null) w.bytes(v.bytes);
    return;
  }
  if (is_long(t.type)) {
    if (v.null) { w.u8(0); return; }
    w.u8(16);
    w.bytes(std::string(16, '\xAA'));  // text pointer
    w.bytes(std::string(8, '\0'));     // timestamp
    w.u32(static_cast<uint32_t>(v.bytes.size()));
    w.bytes(v.bytes);
    return;
  }
  if (is_string_like(t.type)) {
    if (t.length < 0) {  // PLP
      if (v.null) { w.u64(~uint64_t{0}); return; }
      w.u64(v.bytes.size());
      if (!v.bytes.empty()) {
        w.u32(static_cast<uint32_t>(v.bytes.size()));
        w.bytes(v.bytes);
      }
      w.u32(0);
      return;
    }
    if (v.null) { w.u16(0xFFFF); return; }
    w.u16(static_cast<uint16_t>(v.bytes.size()));
    w.bytes(v.bytes);
    return;
  }
  if (v.null) { w.u8(0); return; }
  w.u8(static_cast<uint8_t>(v.bytes.size()));
  w.bytes(v.bytes);
}

cell variant_of(const column_type& t, const cell& c) {
  if (c.null) return c;
  writer w;
  if (t.type == sql_type::int_) {
    w.u8(0x38);
    w.u8(0);
  } else {  // nvarchar: its maximum length and collation
    w.u8(0xE7);
    w.u8(7);
    w.u16(256);
    w.bytes(collation_bytes(t.collation));
  }
  w.bytes(c.bytes);
  return cell::of(w.out());
}

wire_column read_type_info(reader& r, bool bulk) {
  wire_column c;
  c.token = r.u8();
  column_type& t = c.type;
  auto fixed = [&](sql_type type, int size) { t.type = type; c.fixed = size; };
  auto sized = [&](int len, sql_type s1, sql_type s2, sql_type s4, sql_type s8) {
    c.var_len = 1;
    switch (len) {
      case 1: t.type = s1; break;
      case 2: t.type = s2; break;
      case 4: t.type = s4; break;
      case 8: t.type = s8; break;
      default: throw tds_protocol_error("bad length in a column description");
    }
  };
  switch (c.token) {
    case 0x30: fixed(sql_type::tinyint, 1); break;
    case 0x32: fixed(sql_type::bit, 1); break;
    case 0x34: fixed(sql_type::smallint, 2); break;
    case 0x38: fixed(sql_type::int_, 4); break;
    case 0x7F: fixed(sql_type::bigint, 8); break;
    case 0x3B: fixed(sql_type::real, 4); break;
    case 0x3E: fixed(sql_type::float_, 8); break;
    case 0x7A: fixed(sql_type::smallmoney, 4); break;
    case 0x3C: fixed(sql_type::money, 8); break;
    case 0x3A: fixed(sql_type::smalldatetime, 4); break;
    case 0x3D: fixed(sql_type::datetime, 8); break;
    case 0x26: {
      const int len = r.u8();
      if (len == 1) { t.type = sql_type::tinyint; c.var_len = 1; break; }
      sized(len, sql_type::tinyint, sql_type::smallint, sql_type::int_, sql_type::bigint);
      break;
    }
    case 0x68: if (r.u8() != 1) throw tds_protocol_error("bad bit length"); t.type = sql_type::bit; c.var_len = 1; break;
    case 0x6D: {
      const int len = r.u8();
      if (len != 4 && len != 8) throw tds_protocol_error("bad float length");
      t.type = len == 4 ? sql_type::real : sql_type::float_; c.var_len = 1; break;
    }
    case 0x6E: {
      const int len = r.u8();
      if (len != 4 && len != 8) throw tds_protocol_error("bad money length");
      t.type = len == 4 ? sql_type::smallmoney : sql_type::money; c.var_len = 1; break;
    }
    case 0x6F: {
      const int len = r.u8();
      if (len != 4 && len != 8) throw tds_protocol_error("bad datetime length");
      t.type = len == 4 ? sql_type::smalldatetime : sql_type::datetime; c.var_len = 1; break;
    }
    case 0x24: if (r.u8() != 16) throw tds_protocol_error("bad uniqueidentifier length"); t.type = sql_type::uniqueidentifier; c.var_len = 1; break;
    case 0x28: t.type = sql_type::date; c.var_len = 1; break;
    case 0x29: case 0x2A: case 0x2B:
      t.type = c.token == 0x29 ? sql_type::time : c.token == 0x2A ? sql_type::datetime2 : sql_type::datetimeoffset;
      t.scale = r.u8();
      if (t.scale > 7) throw tds_protocol_error("bad time scale");
      c.var_len = 1;
      break;
    case 0x6A: case 0x6C: case 0x37: case 0x3F: {
      t.type = c.token == 0x6A || c.token == 0x37 ? sql_type::decimal : sql_type::numeric;
      r.u8();  // length
      t.precision = r.u8();
      t.scale = r.u8();
      if (t.precision < 1 || t.precision > 38 || t.scale > t.precision) throw tds_protocol_error("bad decimal precision");
      c.var_len = 1;
      break;
    }
    case 0xA7: case 0xAF: case 0xE7: case 0xEF: case 0xA5: case 0xAD: {
      const int len = r.u16();
      const bool u = c.token == 0xE7 || c.token == 0xEF;
      t.type = c.token == 0xA7 ? sql_type::varchar : c.token == 0xAF ? sql_type::char_
             : c.token == 0xE7 ? sql_type::nvarchar : c.token == 0xEF ? sql_type::nchar
             : c.token == 0xA5 ? sql_type::varbinary : sql_type::binary;
      if (!is_binary(t.type)) t.collation = collation_of_bytes(r.bytes(5));
      if (len == 0xFFFF) {
        if (t.type == sql_type::char_ || t.type == sql_type::nchar || t.type == sql_type::binary)
          throw tds_protocol_error("fixed-length type with (max)");
        t.length = -1;
        c.var_len = 8;
      } else {
        if ((u && len % 2) || len == 0 || len > 8000) throw tds_protocol_error("bad column length");
        t.length = u ? len / 2 : len;
        c.var_len = 2;
      }
      break;
    }
    case 0x23: case 0x63: case 0x22: {
      t.type = c.token == 0x23 ? sql_type::text : c.token == 0x63 ? sql_type::ntext : sql_type::image;
      r.u32();
      if (t.type != sql_type::image) t.collation = collation_of_bytes(r.bytes(5));
      if (bulk) r.us_varchar();  // table name
      c.var_len = bulk ? 4 : 5;
      break;
    }
    default:
      throw tds_protocol_error("unsupported column type");
  }
  return c;
}

namespace {

std::string read_plp(reader& r, bool& null) {
  const uint64_t total = r.u64();
  null = total == ~uint64_t{0};
  std::string out;
  if (null) return out;
  if (total != ~uint64_t{0} - 1 && total > max_value) throw tds_protocol_error("value too long");
  for (;;) {
    const uint32_t chunk = r.u32();
    if (chunk == 0) break;
    if (out.size() + chunk > max_value) throw tds_protocol_error("value too long");
    out.append(r.bytes(chunk));
  }
  if (total != ~uint64_t{0} - 1 && total != out.size()) throw tds_protocol_error("value length does not match its chunks");
  return out;
}

}  // namespace

cell read_value(reader& r, const wire_column& c) {
  const column_type& t = c.type;
  cell v;
  if (c.fixed) return cell::of(std::string(r.bytes(static_cast<std::size_t>(c.fixed))));
  switch (c.var_len) {
    case 1: {
      const int len = r.u8();
      if (len == 0) return v;
      const int want = fixed_size(t);
      const bool decimal = t.type == sql_type::decimal || t.type == sql_type::numeric;
      // Decimals may come in fewer bytes than their precision needs (FreeTDS sends the bytes it uses).
      if (decimal ? (len < 2 || len > 17) : len != want) throw tds_protocol_error("bad value length");
      v = cell::of(std::string(r.bytes(static_cast<std::size_t>(len))));
      if (decimal && len != want) {  // the column's own width
        std::string m = v.bytes.substr(1);
        const std::size_t keep = static_cast<std::size_t>(want - 1);
        for (std::size_t i = keep; i < m.size(); ++i) {
          if (m[i]) throw tds_protocol_error("decimal value larger than its precision");
        }
        m.resize(keep, '\0');
        v.bytes = v.bytes.substr(0, 1) + m;
      }
      return v;
    }
    case 2: {
      const int len = r.u16();
      if (len == 0xFFFF) return v;
      if (is_unicode(t.type) && len % 2) throw tds_protocol_error("odd UTF-16 length");
      return cell::of(std::string(r.bytes(static_cast<std::size_t>(len))));
    }
    case 4: {
      // In a bulk load a text pointer length of 0 means NULL.
      const uint8_t ptr = r.u8();
      if (ptr == 0) return v;
      r.skip(ptr);
      r.skip(8);
      const uint32_t len = r.u32();
      if (is_unicode(t.type) && len % 2) throw tds_protocol_error("odd UTF-16 length");
      if (len > max_value) throw tds_protocol_error("value too long");
      return cell::of(std::string(r.bytes(len)));
    }
    case 5: {  // a text parameter: a 4-byte length, -1 for NULL
      const uint32_t len = r.u32();
      if (len == 0xFFFFFFFF) return v;
      if (is_unicode(t.type) && len % 2) throw tds_protocol_error("odd UTF-16 length");
      if (len > max_value) throw tds_protocol_error("value too long");
      return cell::of(std::string(r.bytes(len)));
    }
    case 8: {
      bool null = false;
      std::string b = read_plp(r, null);
      if (null) return v;
      if (is_unicode(t.type) && b.size() % 2) throw tds_protocol_error("odd UTF-16 length");
      return cell::of(std::move(b));
    }
    default:
      throw tds_protocol_error("bad column");
  }
}

}  // namespace tds
