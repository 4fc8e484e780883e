// The in-memory catalog.
#include "tests/support/tds_server/tds_catalog.h"

namespace tds {

std::string name_key(std::string_view name) {
  std::string k(name);
  for (char& c : k) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return k;
}

row::row(const std::vector<cell>& cells) {
  std::size_t n = 0;
  for (const auto& c : cells) n += 4 + c.bytes.size();
  packed_.reserve(n);
  for (const auto& c : cells) {
    const uint32_t len = c.null ? 0xFFFFFFFF : static_cast<uint32_t>(c.bytes.size());
    char b[4] = {static_cast<char>(len & 0xFF), static_cast<char>((len >> 8) & 0xFF),
                 static_cast<char>((len >> 16) & 0xFF), static_cast<char>(len >> 24)};
    packed_.append(b, 4);
    if (!c.null) packed_.append(c.bytes);
  }
}

namespace {
uint32_t len_at(const std::string& s, std::size_t p) {
  return static_cast<uint32_t>(static_cast<unsigned char>(s[p]) | (static_cast<unsigned char>(s[p + 1]) << 8) |
                               (static_cast<unsigned char>(s[p + 2]) << 16) |
                               (static_cast<uint32_t>(static_cast<unsigned char>(s[p + 3])) << 24));
}
}  // namespace

std::size_t row::size() const {
  std::size_t n = 0;
  for (std::size_t p = 0; p < packed_.size(); ++n) {
    const uint32_t len = len_at(packed_, p);
    p += 4 + (len == 0xFFFFFFFF ? 0 : len);
  }
  return n;
}

cell row::at(std::size_t i) const {
  std::size_t p = 0;
  for (std::size_t k = 0; p < packed_.size(); ++k) {
    const uint32_t len = len_at(packed_, p);
    if (k == i) return len == 0xFFFFFFFF ? cell{} : cell::of(packed_.substr(p + 4, len));
    p += 4 + (len == 0xFFFFFFFF ? 0 : len);
  }
  return cell{};
}

std::vector<cell> row::cells() const {
  std::vector<cell> out;
  for (std::size_t p = 0; p < packed_.size();) {
    const uint32_t len = len_at(packed_, p);
    out.push_back(len == 0xFFFFFFFF ? cell{} : cell::of(packed_.substr(p + 4, len)));
    p += 4 + (len == 0xFFFFFFFF ? 0 : len);
  }
  return out;
}

int table::column_index(std::string_view n) const {
  const std::string k = name_key(n);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (name_key(columns[i].name) == k) return static_cast<int>(i);
  }
  return -1;
}

int table::identity_column() const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].identity) return static_cast<int>(i);
  }
  return -1;
}

const index_def* table::primary_key() const {
  for (const auto& ix : indexes) {
    if (ix.primary) return &ix;
  }
  return nullptr;
}

const index_def* table::unique_index_on(const std::vector<std::string>& cols) const {
  for (const auto& ix : indexes) {
    if (!ix.unique || ix.columns.size() != cols.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < cols.size(); ++i) same = same && name_key(ix.columns[i]) == name_key(cols[i]);
    if (same) return &ix;
  }
  return nullptr;
}

std::string table::index_key(const index_def& ix, const std::vector<cell>& cells) const {
  std::string key;
  for (const auto& name : ix.columns) {
    const int i = column_index(name);
    if (i < 0) continue;
    const cell& c = cells[static_cast<std::size_t>(i)];
    if (c.null) { key += '\xFF'; continue; }
    std::string b = c.bytes;
    const sql_type t = columns[static_cast<std::size_t>(i)].type.type;
    if (is_char(t) || is_unicode(t)) {
      const std::size_t step = is_unicode(t) ? 2 : 1;
      const bool fold = collation(columns[static_cast<std::size_t>(i)].type.collation).ignore_case;
      for (std::size_t k = 0; fold && k < b.size(); k += step) {
        if (b[k] >= 'a' && b[k] <= 'z' && (step == 1 || b[k + 1] == 0)) b[k] = static_cast<char>(b[k] - 32);
      }
      while (b.size() >= step && b[b.size() - step] == ' ' && (step == 1 || b.back() == 0)) b.resize(b.size() - step);
    }
    key += std::to_string(b.size()) + ":" + b;
  }
  return key;
}

namespace {

std::string key_text(const table& t, const index_def& ix, const std::vector<cell>& cells) {
  std::string s = "(";
  for (std::size_t k = 0; k < ix.columns.size(); ++k) {
    const int i = t.column_index(ix.columns[k]);
    if (k) s += ", ";
    if (i >= 0) s += render(t.columns[static_cast<std::size_t>(i)].type, cells[static_cast<std::size_t>(i)]);
  }
  return s + ")";
}

[[noreturn]] void duplicate(const table& t, const index_def& ix, const std::vector<cell>& cells) {
  const std::string object = t.owner + "." + t.name;
  if (ix.constraint) {
    raise(2627, 14, std::string("Violation of ") + (ix.primary ? "PRIMARY KEY" : "UNIQUE KEY") + " constraint '" + ix.name +
                        "'. Cannot insert duplicate key in object '" + object + "'. The duplicate key value is " +
                        key_text(t, ix, cells) + ".");
  }
  raise(2601, 14, "Cannot insert duplicate key row in object '" + object + "' with unique index '" + ix.name +
                      "'. The duplicate key value is " + key_text(t, ix, cells) + ".");
}

}  // namespace

void table::add_row(std::vector<cell> cells) {
  std::vector<std::string> keys(indexes.size());
  for (std::size_t k = 0; k < indexes.size(); ++k) {
    if (!indexes[k].unique) continue;
    keys[k] = index_key(indexes[k], cells);
    if (indexes[k].keys.count(keys[k])) duplicate(*this, indexes[k], cells);
  }
  for (std::size_t k = 0; k < indexes.size(); ++k) {
    if (indexes[k].unique) indexes[k].keys.insert(std::move(keys[k]));
  }
  rows.emplace_back(cells);
}

void table::add_rows(std::vector<std::vector<cell>>&& batch) {
  bool any_unique = false;
  for (const auto& ix : indexes) any_unique = any_unique || ix.unique;
  if (any_unique) {
    std::vector<std::unordered_set<std::string>> added(indexes.size());
    for (const auto& cells : batch) {
      for (std::size_t k = 0; k < indexes.size(); ++k) {
        if (!indexes[k].unique) continue;
        std::string key = index_key(indexes[k], cells);
        if (indexes[k].keys.count(key) || !added[k].insert(std::move(key)).second) duplicate(*this, indexes[k], cells);
      }
    }
    for (std::size_t k = 0; k < indexes.size(); ++k) {
      for (auto& key : added[k]) indexes[k].keys.insert(key);
    }
  }
  for (const auto& cells : batch) rows.emplace_back(cells);
}

void table::rebuild_keys() {
  for (auto& ix : indexes) {
    ix.keys.clear();
    if (!ix.unique) continue;
    for (const auto& r : rows) {
      const auto cells = r.cells();
      if (!ix.keys.insert(index_key(ix, cells)).second) duplicate(*this, ix, cells);
    }
  }
}

table* database::find(std::string_view owner, std::string_view n) {
  auto it = tables.find(name_key(std::string(owner.empty() ? "dbo" : owner) + "." + std::string(n)));
  return it == tables.end() ? nullptr : it->second.get();
}

const db_user* database::user_of_login(std::string_view login) const {
  for (const auto& [k, u] : users) {
    if (name_key(u.login) == name_key(login)) return &u;
  }
  return nullptr;
}

const db_schema* database::find_schema(std::string_view n) const {
  auto it = schemas.find(name_key(n));
  return it == schemas.end() ? nullptr : &it->second;
}

db_schema& database::add_schema(std::string_view n, std::string owner) {
  db_schema& sc = schemas[name_key(n)];
  sc.name = std::string(n);
  sc.id = next_schema_id++;
  sc.owner = std::move(owner);
  return sc;
}

const server_login* catalog::check_login(std::string_view name, std::string_view password) const {
  auto it = logins.find(name_key(name));
  return it == logins.end() || it->second.password != password ? nullptr : &it->second;
}

catalog::catalog() {
  for (const char* n : {"master", "tempdb", "model", "msdb"}) create(n).guest = std::string_view(n) != "model";
}

database* catalog::find(std::string_view n) {
  auto it = dbs_.find(name_key(n));
  return it == dbs_.end() ? nullptr : it->second.get();
}

database& catalog::create(std::string_view n) {
  if (find(n)) raise(1801, 16, "Database '" + std::string(n) + "' already exists. Choose a different database name.");
  auto db = std::make_unique<database>();
  db->name = std::string(n);
  // The schemas every database has, with SQL Server's ids.
  const std::pair<const char*, int> fixed[] = {
      {"dbo", 1}, {"guest", 2}, {"INFORMATION_SCHEMA", 3}, {"sys", 4}, {"db_owner", 16384}, {"db_accessadmin", 16385},
      {"db_securityadmin", 16386}, {"db_ddladmin", 16387}, {"db_backupoperator", 16389}, {"db_datareader", 16390},
      {"db_datawriter", 16391}, {"db_denydatareader", 16392}, {"db_denydatawriter", 16393}};
  for (const auto& [sn, id] : fixed) db->schemas[name_key(sn)] = db_schema{sn, id, "dbo"};
  auto& ref = *db;
  dbs_[name_key(n)] = std::move(db);
  return ref;
}

void catalog::drop(std::string_view n) {
  auto it = dbs_.find(name_key(n));
  if (it == dbs_.end())
    raise(3701, 11, "Cannot drop the database '" + std::string(n) + "', because it does not exist or you do not have permission.");
  dbs_.erase(it);
}

std::vector<database*> catalog::all() {
  std::vector<database*> out;
  for (auto& [k, db] : dbs_) out.push_back(db.get());
  return out;
}

}  // namespace tds
