// The maps fed from the records and schemas of the database layer.
#include "common/type_map.h"

#include <string>

#include "TK/tk_trace.h"
#include "UDB/udb_rec.h"
#include "UDB/udb_sche.h"

std::vector<type_map_column> types_map::columns_of(const udb_schema& schema) {
  std::vector<type_map_column> columns;
  columns.reserve(schema.size());
  for (const t_ftd* f : schema) columns.push_back({f->name, f->vartype, f->extra});
  return columns;
}

namespace {

// A value of no text is stored as an empty text only when it is a text; the
// server gets NULL for any other.
bool stored_as_null(VARTYPE vt, const std::string& text) { return text.empty() && vt != VT_BSTR; }

}  // namespace

template <class Add>
void types_map::for_each_value(const udb_record& record, Add&& add) {
  for (std::size_t pos = 0; pos < entries_.size(); ++pos) {
    const type_map_entry& e = entries_[pos];
    tk_trace(1, "Process %d item, n_field=%d", static_cast<int>(pos), e.field_index);
    if (static_cast<std::size_t>(e.field_index) >= record.size()) {
      add(pos, std::string_view(), true);
      continue;
    }
    const udb_field& field = record[e.field_index];
    VARTYPE vt = field.get_type();
    if (vt == VT_NULL || vt == VT_EMPTY) {
      add(pos, std::string_view(), true);
      continue;
    }
    std::string text = field.to_string();
    tk_trace(1, "Got string representation: '%s'", text.c_str());
    add(pos, text, stored_as_null(vt, text));
  }
}

num_map::num_map(std::wstring table_name, const udb_schema& schema)
    : num_map(std::move(table_name), columns_of(schema)) {}

void num_map::add_rec_stat(const udb_record& record) {
  tk_trace(1, "num_map::add_rec_stat(map size=%d)", static_cast<int>(entries_.size()));
  for_each_value(record, [this](std::size_t pos, std::string_view text, bool is_null) {
    add_value(pos, text, is_null);
  });
}

dates_map::dates_map(std::wstring table_name, const udb_schema& schema, bool date_fields_only)
    : dates_map(std::move(table_name), columns_of(schema), date_fields_only) {}

void dates_map::add_rec_stat(const udb_record& record) {
  tk_trace(1, "dates_map::add_rec_stat(map size=%d)", static_cast<int>(entries_.size()));
  for_each_value(record, [this](std::size_t pos, std::string_view text, bool is_null) {
    add_value(pos, text, is_null);
  });
  tk_trace(1, "End of dates_map::add_rec_stat");
}

void add_rec_stat(const udb_record& record, dates_map& dates, num_map& numbers) {
  // Both maps track every column in the same order unless the dates map was
  // made for date fields only.
  bool same = dates.size() == numbers.size();
  for (std::size_t pos = 0; same && pos < dates.size(); ++pos)
    same = dates.get_entry(pos).field_index == numbers.get_entry(pos).field_index;
  if (!same) {
    dates.add_rec_stat(record);
    numbers.add_rec_stat(record);
    return;
  }
  for (std::size_t pos = 0; pos < numbers.size(); ++pos) {
    const std::size_t index = static_cast<std::size_t>(numbers.get_entry(pos).field_index);
    const VARTYPE vt = index < record.size() ? record[index].get_type() : static_cast<VARTYPE>(VT_NULL);
    if (vt == VT_NULL || vt == VT_EMPTY) {
      dates.add_value(pos, {}, true);
      numbers.add_value(pos, {}, true);
      continue;
    }
    const std::string text = record[index].to_string();
    const bool is_null = stored_as_null(vt, text);
    dates.add_value(pos, text, is_null);
    numbers.add_value(pos, text, is_null);
  }
}
