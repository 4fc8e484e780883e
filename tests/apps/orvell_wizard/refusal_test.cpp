// What a run leaves behind when the server refuses it something, on a server
// of the test's own (users with fewer privileges, server-wide settings): a
// table or database that the run could not create again is not dropped, and a
// column whose type change is refused keeps its values.
#include <filesystem>
#include <fstream>

#include "apps/orvell_wizard/orv_conv.h"
#include "platform/kernel/registry.h"
#include "tests/SQL/sql_test_env.h"
#include "tests/support/test_dir.h"

namespace {

const char* const k_user = "limited";
const char* const k_password = "limited-pw";
const std::string k_to_user = std::string(" TO '") + k_user + "'@'127.0.0.1';";

class RefusingServer : public ::testing::Test {
protected:
  void SetUp() override {
    ORV_REQUIRE_MYSQL();
    own = std::make_unique<sql_private_server>("");
    ASSERT_TRUE(own->server().found) << "the test's own server did not start";
    kernel::set_registry_file((dir.path() / "registry.reg").string());
    handler = std::make_unique<error_handler>(mysql_error_map_size, mysql_error_map,
                                              std::make_unique<recording_dialogs>(&shown));
  }
  void TearDown() override {
    handler.reset();
    kernel::set_registry_file(std::nullopt);
  }

  // Statements of the server's administrator; the output lines.
  rows_t admin(const std::string& statements) {
    int status = 0;
    rows_t lines = run_client(client("", own->server()) + " -e " + shell_quote(statements), status);
    EXPECT_EQ(status, 0) << statements << "\n" << joined(lines);
    return lines;
  }
  // The user of the run, made anew with these grants.
  void make_user(const std::string& grants) {
    admin(std::string("DROP USER IF EXISTS '") + k_user + "'@'127.0.0.1'; CREATE USER '" + k_user +
          "'@'127.0.0.1' IDENTIFIED BY '" + k_password + "'; " + grants);
  }
  // Runs a conversion as that user, as the wizard's worker thread does.
  void convert(const std::function<void(orvell_converter&)>& settings) {
    shown.clear();
    orvell_converter converter;
    converter.store_mysql_settings(own->server().host, k_user, k_password, std::to_string(own->server().port));
    converter.connect_mysql_server();
    converter.direct = true;
    converter.set_dest(L"kept");
    settings(converter);
    converter();
  }

  test_dir dir;
  std::unique_ptr<sql_private_server> own;
  std::vector<std::wstring> shown;
  std::unique_ptr<error_handler> handler;
};

bool contains(const std::wstring& text, const char* part) { return tk_to_utf8(text).find(part) != std::string::npos; }

TEST_F(RefusingServer, NothingIsDroppedThatTheRunCannotCreateAgain) {
  const std::string all_but_create = "GRANT SELECT, INSERT, UPDATE, DELETE, DROP, ALTER ON kept.*" + k_to_user;
  struct drop_case {
    const char* what;
    int mode;
    std::string grants;
    const char* server_setting;  // and back
    const char* error;           // a part of the one error reported
  };
  const drop_case cases[] = {
      {"no CREATE, existing tables overwritten", 1, all_but_create, "", "Table 'Data' was not replaced"},
      {"no CREATE, the whole database overwritten", 0, all_but_create, "",
       "The database 'kept' was not dropped and keeps its tables: its table 'Data' cannot be created again"},
      {"CREATE of the trial table only, the whole database overwritten", 0,
       all_but_create + " GRANT CREATE ON kept.orvell_trial_1" + k_to_user, "",
       "The database 'kept' was not dropped and keeps its tables: the server does not let this user create it"},
      {"every table must have a primary key", 1, "GRANT ALL ON kept.*" + k_to_user, "innodb_force_primary_key",
       "Table 'Data' was not replaced and keeps its rows: the server requires a primary key in every new table "
       "(innodb_force_primary_key)"},
  };
  const std::filesystem::path workbook = std::filesystem::path(ORV_SOURCE_DIR) / "tests/fixtures/xls/sample.xls";
  for (const drop_case& c : cases) {
    SCOPED_TRACE(c.what);
    admin("DROP DATABASE IF EXISTS kept; CREATE DATABASE kept; CREATE TABLE kept.Data (id INT PRIMARY KEY, v "
          "VARCHAR(10)); INSERT INTO kept.Data VALUES (1, 'one'), (2, 'two');");
    make_user(c.grants);
    if (*c.server_setting) admin(std::string("SET GLOBAL ") + c.server_setting + " = ON");
    convert([&](orvell_converter& converter) {
      converter.from_xls = true;
      converter.x_fnames = true;
      converter.set_src(workbook.wstring());
      std::vector<std::wstring> sheets;
      ASSERT_TRUE(converter.get_all_sheets(sheets));
      converter.selected_table_names() = {L"Data"};
      converter.set_sel_sheets({L"Data"});
      converter.set_mode(c.mode);
    });
    if (*c.server_setting) admin(std::string("SET GLOBAL ") + c.server_setting + " = OFF");
    ASSERT_EQ(shown.size(), 1u) << (shown.empty() ? "" : tk_to_utf8(shown.back()));
    EXPECT_TRUE(contains(shown[0], c.error)) << tk_to_utf8(shown[0]);
    EXPECT_EQ(admin("SELECT GROUP_CONCAT(v ORDER BY id) FROM kept.Data"), rows_t{"one,two"});
    EXPECT_EQ(admin("SHOW TABLES FROM kept"), rows_t{"Data"});  // no trial table either
  }
}

TEST_F(RefusingServer, ATypeChangeThatIsRefusedKeepsTheEmptyTexts) {
  // n: numbers and an empty text; b: a number, an empty text and no value.
  const std::filesystem::path csv = dir.path() / "values.csv";
  std::ofstream(csv) << "n;b\n1;5\n;\n3\n";
  admin("DROP DATABASE IF EXISTS kept; CREATE DATABASE kept");
  make_user("GRANT SELECT, INSERT, UPDATE, DELETE, CREATE, DROP ON kept.*" + k_to_user);
  convert([&](orvell_converter& converter) {
    converter.from_xls = false;
    converter.x_fnames = true;
    converter.delimiter_index = 1;
    converter.csv_table_name = L"t";
    converter.refine_types = true;
    converter.set_src(csv.wstring());
    converter.set_mode(1);
  });
  EXPECT_TRUE(shown.empty()) << tk_to_utf8(shown.front());
  EXPECT_EQ(admin("SELECT CONCAT(n, '|', IFNULL(b, 'NULL')) FROM kept.t ORDER BY n"),
            (rows_t{"|", "1|5", "3|NULL"}));
  EXPECT_EQ(admin("SELECT GROUP_CONCAT(DATA_TYPE) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = 'kept'"),
            rows_t{"varchar,varchar"});
}

}  // namespace
