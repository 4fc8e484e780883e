#include "UDB/udb_recs.h"

#include <algorithm>

#include "TK/tk_trace.h"
#include "UDB/udb_rec.h"

udb_recordset::udb_recordset(const std::wstring& name, bool owns_schema)
    : name_(name), schema_(owns_schema) {}

udb_recordset::udb_recordset(const std::wstring& name, const std::wstring& query, bool owns_schema)
    : query_(query), name_(name), schema_(owns_schema) {}

udb_recordset::~udb_recordset() = default;

void udb_recordset::update(const udb_record&) { tk_trace(2, "udb_recordset::update"); }

udb_record* udb_recordset::get_record() { return nullptr; }

bool udb_recordset::is_eof() { return true; }

bool udb_recordset::is_query() const { return !query_.empty(); }

void udb_recordset::next() {}

void udb_recordset::prev() {}

void udb_recordset::reset() {}

void udb_recordset::add_index(const udb_index& index) {
  tk_trace(2, "udb_recordset::add_index");
  if (!indexes_.is_acceptable_name(index.name)) return;
  if (key_index_ == -1 && (index.primary || index.unique)) {
    tk_trace(1, "Store primary/unique key");
    key_index_ = static_cast<int>(indexes_.size());
  }
  indexes_.push_back(index);
}

void udb_recordset::convert_record(udb_record& record) const {
  tk_trace(2, "udb_recordset::convert_record");
  // A record wider than the schema keeps its extra fields as they are.
  const size_t count = std::min(record.size(), schema_.size());
  for (size_t i = 0; i < count; ++i) {
    tk_wtrace(1, L"from=%s, to=%s", record[i].get_name().c_str(), schema_[i].name.c_str());
    record[i].change_type(schema_[i].vartype);
  }
}

void udb_recordset::clean_indexes() {
  tk_trace(1, "udb_recordset::clean_indexes");
  indexes_.clear();
  key_index_ = -1;
}
