#include "UDB/udb_conv.h"

#include <gtest/gtest.h>

#include <optional>

#include "TK/tk_excep.h"
#include "UDB/udb_db.h"
#include "UDB/udb_prof.h"
#include "TK/tk_utils.h"
#include "tests/support/test_dir.h"

namespace {

class test_converter : public udb_converter {
public:
  bool test_query(const std::wstring&) override { return false; }
};

const std::wstring generic = L"Generic settings";

TEST(udb_converter, store_profile_writes_common_sections) {
  test_converter c;
  c.set_src(L"book.xls");
  c.set_dest(L"shop");
  c.set_mode(2);
  c.set_skip_indexes(true);
  c.available_queries()[L"Q"] = L"SELECT 1";
  c.selected_tables()[L"Sheet1"] = L"";
  c.selected_tables()[L"Q"] = L"SELECT 1";
  udb_profile p;
  ASSERT_TRUE(c.store_profile(p));
  EXPECT_EQ(p.get_value(generic, L"src"), L"book.xls");
  EXPECT_EQ(p.get_value(generic, L"dest"), L"shop");
  EXPECT_EQ(p.get_value(generic, L"mode"), L"2");
  EXPECT_EQ(p.get_value(generic, L"skip indexes"), L"1");
  EXPECT_EQ(p.get_value(generic, L"only definitions"), L"0");
  EXPECT_EQ(p.get_value(L"Available Queries", L"Q"), L"SELECT 1");
  EXPECT_EQ(p.get_selected_tables().size(), 2u);

  test_converter d;
  ASSERT_TRUE(d.load_profile(p));
  EXPECT_EQ(d.get_src(), L"book.xls");
  EXPECT_EQ(d.get_dest(), L"shop");
  EXPECT_EQ(d.get_mode(), 2);
  EXPECT_TRUE(d.is_skip_indexes());
  EXPECT_FALSE(d.is_only_definitions());
  EXPECT_EQ(d.selected_tables(), c.selected_tables());
  EXPECT_EQ(d.available_queries(), c.available_queries());
  // Only worksheets (empty text) are listed by name.
  EXPECT_EQ(d.selected_table_names(), std::vector<std::wstring>{L"Sheet1"});
  // Loading again lists nothing twice.
  ASSERT_TRUE(d.load_profile(p));
  EXPECT_EQ(d.selected_table_names().size(), 1u);
}

TEST(udb_converter, load_profile_generic_values) {
  // The mode as a profile file spells it: blanks around it allowed, anything but
  // one digit 0 to 3 refused, naming the profile and the value, before anything
  // of the profile is taken.
  test_dir dir;
  struct {
    const char* line;
    int expected;            // the mode after loading
    const char* refused;     // what the error names, or null
  } modes[] = {{"mode=3", 3, nullptr},    {"mode = 3 ", 3, nullptr}, {"mode=0", 0, nullptr},
               {"mode=", 1, nullptr},     {"mode = ", 1, nullptr},   {"", 1, nullptr},
               {"mode=03", 1, "\"03\""}, {"mode=x", 1, "\"x\""},  {"mode = 4", 1, "\"4\""},
               {"mode=12", 1, "\"12\""}};
  const std::string file = (dir / "p.prf").string();
  for (const auto& m : modes) {
    std::ofstream(file, std::ios::binary) << "[Generic settings]\r\nsrc=new.xls\r\n" << m.line << "\r\n";
    udb_profile p;
    ASSERT_TRUE(p.load(tk_from_utf8(file)));
    test_converter c;
    c.set_mode(1);
    try {
      c.load_profile(p);
      EXPECT_EQ(m.refused, nullptr) << m.line;
      EXPECT_EQ(c.get_src(), L"new.xls");
      EXPECT_EQ(c.has_profile_mode(), m.expected != 1) << m.line;
    } catch (const profile_error& e) {
      ASSERT_NE(m.refused, nullptr) << m.line;
      EXPECT_EQ(e.get_level(), 1);
      EXPECT_NE(std::string(e.what()).find(file + " "), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(m.refused), std::string::npos) << e.what();
      EXPECT_EQ(c.get_src(), L"");
    }
    EXPECT_EQ(c.get_mode(), m.expected) << m.line;
  }

  struct {
    const wchar_t* text;
    bool before, after;
  } flags[] = {{L"0", true, false}, {L"yes", false, true}, {L"", true, true}, {L"", false, false}};
  for (const auto& f : flags) {
    test_converter c;
    c.set_only_definitions(f.before);
    c.set_src(L"old.xls");
    udb_profile p;
    p.set_value(generic, L"only definitions", f.text);
    p.set_value(generic, L"src", L"");  // an empty source keeps the old one
    c.load_profile(p);
    EXPECT_EQ(c.is_only_definitions(), f.after);
    EXPECT_EQ(c.get_src(), L"old.xls");
  }
}

// A destination that lists its tables and counts what is dropped.
class listed_database : public udb_database {
public:
  explicit listed_database(std::vector<std::wstring> tables) : udb_database(L"shop", UDB_MODE_APPEND) {
    tables_ = std::move(tables);
  }
  std::unique_ptr<udb_recordset> create_table(const std::wstring&, const udb_schema&, const udb_indexes&) override {
    return nullptr;
  }
  std::unique_ptr<udb_recordset> get_table(const std::wstring&, int) override { return nullptr; }
  std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&) override { return nullptr; }
  bool test_query(const std::wstring&) override { return false; }
  bool delete_tab(const std::wstring& name) override {
    dropped.push_back(name);
    return udb_database::delete_tab(name);
  }
  void try_create_table(const std::wstring& name, const udb_schema&, const udb_indexes&) override {
    tried.push_back(name);
    if (refuse) throw tk_table_exception(L"Table '" + name + L"' cannot be created again");
  }
  std::vector<std::wstring> dropped, tried;
  bool refuse = false;
};

TEST(udb_converter, the_run_acts_on_an_existing_table_as_the_mode_says) {
  using plan = udb_converter::table_plan;
  struct {
    int mode;
    bool refuse;                 // the server would not create the table again
    std::optional<plan> result;  // none when the trial throws
    bool dropped;
  } cases[] = {{0, false, plan::replace, true}, {1, false, plan::replace, true}, {2, false, plan::skip, false},
               {3, false, plan::append, false}, {0, true, std::nullopt, false},  {1, true, std::nullopt, false},
               {2, true, plan::skip, false},    {3, true, plan::append, false}};
  const udb_schema schema;
  const udb_indexes indexes;
  for (const auto& m : cases) {
    test_converter c;
    c.set_mode(m.mode);
    listed_database db({L"Orders", L"Items"});
    db.refuse = m.refuse;
    std::optional<plan> planned;
    try {
      planned = c.prepare_dest_table(db, L"orders", schema, indexes);  // names compare without case
    } catch (const tk_table_exception&) {
      EXPECT_TRUE(m.refuse) << m.mode;
    }
    EXPECT_EQ(planned, m.result) << m.mode << m.refuse;
    EXPECT_EQ(db.dropped.size(), m.dropped ? 1u : 0u) << m.mode << m.refuse;
    EXPECT_EQ(db.is_table_exist(L"Orders"), !m.dropped) << m.mode << m.refuse;
    // Only a table about to be dropped is tried.
    EXPECT_EQ(db.tried.size(), m.mode <= 1 ? 1u : 0u) << m.mode << m.refuse;
    // A table that is not there is simply created, whatever the mode.
    EXPECT_EQ(c.prepare_dest_table(db, L"Clients", schema, indexes), plan::create) << m.mode;
    EXPECT_EQ(db.dropped.size(), m.dropped ? 1u : 0u) << m.mode;
  }
}

TEST(udb_converter, load_profile_keeps_selected_entries) {
  test_converter c;
  c.selected_tables()[L"Q"] = L"SELECT 1";
  udb_profile p;
  p.set_value(L"Selected Tables", L"Q", L"SELECT 2");
  c.load_profile(p);
  EXPECT_EQ(c.selected_tables()[L"Q"], L"SELECT 1");
}

}  // namespace
