// The converter base shared by every conversion driver: the common settings
// (source, destination, mode, selected tables and queries, options), the progress
// fields read by the progress display, and their place in a settings profile.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "TK/tk_threa.h"

class udb_database;
class udb_indexes;
class udb_profile;
class udb_schema;

class udb_converter : public tk_converter {
public:
  using text_map = std::map<std::wstring, std::wstring>;

  udb_converter();

  // Whether the source accepts the query text.
  virtual bool test_query(const std::wstring& query) = 0;

  // Writes the common sections ("Available Queries", "Selected Tables",
  // "Generic settings") into the profile.
  bool store_profile(udb_profile& profile);
  // Takes the common settings from the profile; entries already selected stay.
  // A mode other than one digit 0 to 3 (blanks around it allowed) raises
  // profile_error naming the profile and the value, before anything is taken.
  bool load_profile(udb_profile& profile);
  // Whether the last profile loaded gave a mode.
  bool has_profile_mode() const { return profile_mode_; }

  // 0 overwrite the entire database, 1 overwrite existing tables, 2 skip existing
  // tables, 3 merge. The wizard's pages only choose it; the run acts on it.
  void set_mode(int mode);
  int get_mode() const { return mode_; }
  // What a run does, by the mode, with a destination table before it writes into it:
  // a table that does not exist is created; an existing table is dropped (modes 0
  // and 1: the run creates it anew), kept and its source skipped (mode 2), or kept
  // to add to (mode 3). Before a drop the database tries the table's replacement
  // (schema and indexes) and throws when the server would refuse it.
  enum class table_plan { create, replace, skip, append };
  table_plan prepare_dest_table(udb_database& db, const std::wstring& table, const udb_schema& schema,
                                const udb_indexes& indexes) const;

  bool is_only_definitions() const { return only_definitions_; }
  void set_only_definitions(bool on) { only_definitions_ = on; }
  bool is_skip_indexes() const { return skip_indexes_; }
  void set_skip_indexes(bool on) { skip_indexes_ = on; }

  // Worksheet names selected for conversion, in selection order.
  std::vector<std::wstring>& selected_table_names() { return selected_table_names_; }
  // Every selected worksheet (empty text) and selected query (its SQL text).
  text_map& selected_tables() { return selected_tables_; }
  // The queries the user defined, selected or not.
  text_map& available_queries() { return available_queries_; }

  // Progress, read from the user-interface thread while a run writes it.
  std::wstring get_current_name() const;
  void set_current_name(const std::wstring& name);
  unsigned get_rows_total() const { return rows_total_.load(); }
  unsigned get_record_counter() const { return record_counter_.load(); }
  unsigned get_tables_total() const { return tables_total_.load(); }
  unsigned get_tables_done() const { return tables_done_.load(); }

protected:
  int mode_ = 0;
  mutable std::mutex current_name_mutex_;
  std::wstring current_name_;
  std::atomic<unsigned> rows_total_{0};
  std::atomic<unsigned> record_counter_{0};
  std::atomic<unsigned> tables_total_{0};
  std::atomic<unsigned> tables_done_{0};
  std::vector<std::wstring> selected_table_names_;
  text_map selected_tables_;
  text_map available_queries_;
  bool only_definitions_ = false;
  bool skip_indexes_ = false;
  bool profile_mode_ = false;
};
