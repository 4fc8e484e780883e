// Collations: SQL Server's SQL collations by name, and Windows collations
// built from a base name, a version and the options (_CI/_CS, _AI/_AS, _KS,
// _WS, _SC, _BIN, _BIN2) as SQL Server spells them.
#include "tests/support/tds_server/tds_collation.h"

#include <array>
#include <atomic>
#include <mutex>
#include <vector>

namespace tds {

namespace {

std::string upper(std::string_view s) {
  std::string k(s);
  for (char& c : k) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return k;
}

struct sql_collation {
  const char* name;
  uint8_t sort_id;
  int code_page;
  bool ignore_case, ignore_accent;
};

const sql_collation sql_collations[] = {
    {"SQL_Latin1_General_CP1_CI_AS", 52, 1252, true, false},    {"SQL_Latin1_General_CP1_CS_AS", 51, 1252, false, false},
    {"SQL_Latin1_General_CP1_CI_AI", 54, 1252, true, true},     {"SQL_Latin1_General_CP850_CI_AS", 42, 850, true, false},
    {"SQL_Latin1_General_CP1250_CI_AS", 82, 1250, true, false}, {"SQL_Latin1_General_CP1250_CS_AS", 81, 1250, false, false},
    {"SQL_Latin1_General_CP1251_CI_AS", 106, 1251, true, false}, {"SQL_Latin1_General_CP1251_CS_AS", 105, 1251, false, false},
    {"SQL_Latin1_General_CP1253_CI_AS", 114, 1253, true, false}, {"SQL_Latin1_General_CP1253_CS_AS", 113, 1253, false, false},
    {"SQL_Latin1_General_CP1255_CI_AS", 138, 1255, true, false}, {"SQL_Latin1_General_CP1256_CI_AS", 146, 1256, true, false},
    {"SQL_Latin1_General_CP1257_CI_AS", 154, 1257, true, false},
};

struct windows_base {
  const char* name;
  uint32_t lcid;
  int code_page;
  std::vector<int> versions;  // 0 (no number), 90, 100, 140
};

const windows_base windows_bases[] = {
    {"Latin1_General", 0x409, 1252, {0, 100}},   {"Cyrillic_General", 0x419, 1251, {0, 100}},
    {"Greek", 0x408, 1253, {0, 100}},            {"Japanese", 0x411, 932, {0, 90}},
    {"Japanese_XJIS", 0x411, 932, {100, 140}},   {"Japanese_Bushu_Kakusu", 0x411, 932, {100, 140}},
    {"Polish", 0x415, 1250, {0, 100}},           {"Czech", 0x405, 1250, {0, 100}},
    {"Turkish", 0x41F, 1254, {0, 100}},          {"Hebrew", 0x40D, 1255, {0, 100}},
    {"Arabic", 0x401, 1256, {0, 100}},           {"Chinese_PRC", 0x804, 936, {0, 90}},
    {"Korean_Wansung", 0x412, 949, {0}},         {"Modern_Spanish", 0xC0A, 1252, {0, 100}},
    {"French", 0x40C, 1252, {0, 100}},           {"German_PhoneBook", 0x10407, 1252, {0, 100}},
};

// The collations named so far; their place is their number. Read without
// a lock (an entry never changes once counted), added under one.
struct registry {
  static constexpr std::size_t capacity = 512;
  std::mutex m;
  std::array<collation_info, capacity> all{};
  std::array<std::string, capacity> names;
  std::atomic<std::size_t> count{0};
  registry() { add(make_sql(sql_collations[0]), sql_collations[0].name); }
  static collation_info make_sql(const sql_collation& c) {
    return collation_info{c.name, 0x409, c.ignore_case, c.ignore_accent, true, true, false, 0, c.sort_id, c.code_page};
  }
  uint16_t add(collation_info info, std::string name) {
    const std::size_t n = count.load();
    for (std::size_t i = 0; i < n; ++i) {
      if (names[i] == name) return static_cast<uint16_t>(i);
    }
    if (n == capacity) return default_collation;
    names[n] = std::move(name);
    info.name = names[n].c_str();
    all[n] = info;
    count.store(n + 1, std::memory_order_release);
    return static_cast<uint16_t>(n);
  }
};

registry& reg() {
  static registry r;
  return r;
}

// A Windows collation's name: base, version, options; nullopt when it is none.
std::optional<std::pair<collation_info, std::string>> windows_collation(std::string_view name) {
  const std::string k = upper(name);
  for (const auto& b : windows_bases) {
    const std::string base = upper(b.name);
    if (k.compare(0, base.size(), base) != 0 || k.size() == base.size() || k[base.size()] != '_') continue;
    std::string rest = k.substr(base.size());  // "_100_CI_AS", "_CI_AS", "_BIN2"
    int version = 0;
    for (int v : {90, 100, 140}) {
      const std::string p = "_" + std::to_string(v);
      if (rest.compare(0, p.size(), p) == 0 && (rest.size() == p.size() || rest[p.size()] == '_')) {
        version = v;
        rest = rest.substr(p.size());
      }
    }
    bool known_version = false;
    for (int v : b.versions) known_version = known_version || v == version;
    if (!known_version) continue;
    std::vector<std::string> parts;
    for (std::size_t i = 1; i <= rest.size();) {
      const std::size_t j = rest.find('_', i);
      parts.push_back(rest.substr(i, j == std::string::npos ? std::string::npos : j - i));
      i = j == std::string::npos ? rest.size() + 1 : j + 1;
    }
    collation_info info{nullptr, b.lcid, true, true, true, true, false,
                        static_cast<uint8_t>(version == 140 ? 3 : version == 100 ? 2 : version == 90 ? 1 : 0), 0, b.code_page};
    std::string canonical = std::string(b.name) + (version ? "_" + std::to_string(version) : "");
    if (parts.size() == 1 && (parts[0] == "BIN" || parts[0] == "BIN2")) {
      info.ignore_case = info.ignore_accent = info.ignore_kana = info.ignore_width = false;
      info.binary = true;
      return std::make_pair(info, canonical + "_" + parts[0]);
    }
    if (parts.size() < 2 || (parts[0] != "CI" && parts[0] != "CS") || (parts[1] != "AI" && parts[1] != "AS")) continue;
    info.ignore_case = parts[0] == "CI";
    info.ignore_accent = parts[1] == "AI";
    canonical += "_" + parts[0] + "_" + parts[1];
    std::size_t i = 2;
    if (i < parts.size() && parts[i] == "KS") { info.ignore_kana = false; canonical += "_KS"; ++i; }
    if (i < parts.size() && parts[i] == "WS") { info.ignore_width = false; canonical += "_WS"; ++i; }
    if (i < parts.size() && parts[i] == "SC" && version >= 90) { canonical += "_SC"; ++i; }
    if (i != parts.size()) continue;
    return std::make_pair(info, canonical);
  }
  return std::nullopt;
}

std::string bytes_of(const collation_info& c) {
  uint32_t v = c.lcid & 0xFFFFF;
  if (c.ignore_case) v |= 1u << 20;
  if (c.ignore_accent) v |= 1u << 21;
  if (c.ignore_kana) v |= 1u << 22;
  if (c.ignore_width) v |= 1u << 23;
  if (c.binary) v |= 1u << 24;
  v |= static_cast<uint32_t>(c.version) << 28;
  std::string b(5, '\0');
  for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  b[4] = static_cast<char>(c.sort_id);
  return b;
}

// The name of the collation five bytes describe, when one of the tables has it.
std::optional<std::string> name_of_bytes(std::string_view five) {
  const auto sort_id = static_cast<uint8_t>(five[4]);
  if (sort_id) {
    for (const auto& c : sql_collations) {
      if (c.sort_id == sort_id) return std::string(c.name);
    }
    return std::nullopt;
  }
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(five[static_cast<std::size_t>(i)]);
  const uint32_t lcid = v & 0xFFFFF;
  const int version = (v >> 28) == 3 ? 140 : (v >> 28) == 2 ? 100 : (v >> 28) == 1 ? 90 : 0;
  for (const auto& b : windows_bases) {
    if (b.lcid != lcid) continue;
    std::string n = std::string(b.name) + (version ? "_" + std::to_string(version) : "");
    if (v & (1u << 24)) return n + "_BIN";
    n += (v & (1u << 20)) ? "_CI" : "_CS";
    n += (v & (1u << 21)) ? "_AI" : "_AS";
    if (!(v & (1u << 22))) n += "_KS";
    if (!(v & (1u << 23))) n += "_WS";
    return n;
  }
  return std::nullopt;
}

}  // namespace

std::optional<uint16_t> find_collation(std::string_view name) {
  registry& r = reg();
  std::lock_guard<std::mutex> g(r.m);
  const std::string k = upper(name);
  for (const auto& c : sql_collations) {
    if (upper(c.name) == k) return r.add(registry::make_sql(c), c.name);
  }
  auto w = windows_collation(name);
  if (!w) return std::nullopt;
  return r.add(w->first, w->second);
}

const collation_info& collation(uint16_t id) {
  const registry& r = reg();
  return id < r.count.load(std::memory_order_acquire) ? r.all[id] : r.all[0];
}

int comparison_style(uint16_t id) {
  const collation_info& c = collation(id);
  if (c.binary) return 0;
  return (c.ignore_case ? 1 : 0) | (c.ignore_accent ? 2 : 0) | (c.ignore_kana ? 65536 : 0) | (c.ignore_width ? 131072 : 0);
}

std::string collation_bytes(uint16_t id) { return bytes_of(collation(id)); }

uint16_t collation_of_bytes(std::string_view five) {
  if (five.size() != 5) return default_collation;
  {
    registry& r = reg();
    std::lock_guard<std::mutex> g(r.m);
    for (std::size_t i = 0; i < r.count.load(); ++i) {
      if (bytes_of(r.all[i]) == five) return static_cast<uint16_t>(i);
    }
  }
  const auto name = name_of_bytes(five);
  return name ? find_collation(*name).value_or(default_collation) : default_collation;
}

}  // namespace tds
