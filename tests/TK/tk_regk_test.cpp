#include "TK/tk_regk.h"

#include <gtest/gtest.h>

#include "TK/tk_excep.h"
#include "platform/kernel/codepage.h"
#include "tests/support/test_dir.h"

namespace {

class TkRegKey : public ::testing::Test {
 protected:
  void SetUp() override { kernel::set_registry_file((tmp_ / "registry.reg").string()); }
  void TearDown() override { kernel::set_registry_file(std::nullopt); }
  test_dir tmp_;
};

// One list of exchanges serves to load and to save, as the converters use it.
struct settings {
  DWORD port = 3306;
  bool compress = true;
  std::string host = "localhost";
  std::wstring file = L"default.sql";
  void exchange(tk_reg_key& key, bool store, int& succeeded) {
    succeeded = key.exchange_dword("Port", port, store) + key.exchange_bool("Compress", compress, store) +
                key.exchange_string("Host", host, store) + key.exchange_wstring("DumpFile", file, store);
  }
};

TEST_F(TkRegKey, ExchangesLoadDefaultsAndSave) {
  tk_reg_key key("Software\\Veltrask\\Orvell");
  EXPECT_EQ(key.get_path(), "Software\\Veltrask\\Orvell");
  settings s;
  int ok = -1;
  s.exchange(key, false, ok);  // no key open
  EXPECT_EQ(ok, 0);
  ASSERT_EQ(key.create(HKEY_CURRENT_USER, key.get_path()), 0);

  s.exchange(key, false, ok);  // nothing stored: defaults stay
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(s.port, 3306u);
  EXPECT_EQ(s.host, "localhost");
  EXPECT_EQ(s.file, L"default.sql");

  s.port = 3307;
  s.compress = false;
  s.host = "db.example";
  s.file = L"/tmp/\u00e9\U0001F600.sql";
  s.exchange(key, true, ok);
  EXPECT_EQ(ok, 4);

  tk_reg_key other("Software\\Veltrask\\Orvell");
  ASSERT_EQ(other.create(HKEY_CURRENT_USER, other.get_path()), 0);
  settings loaded;
  loaded.exchange(other, false, ok);
  EXPECT_EQ(ok, 4);
  EXPECT_EQ(loaded.port, 3307u);
  EXPECT_FALSE(loaded.compress);
  EXPECT_EQ(loaded.host, "db.example");
  EXPECT_EQ(loaded.file, L"/tmp/\u00e9\U0001F600.sql");

  // An empty text or a value of another type leaves the default too.
  EXPECT_EQ(other.set_value("", "Host"), 0);
  EXPECT_EQ(other.set_value(DWORD{5}, "DumpFile"), 0);
  std::string host = "kept";
  std::wstring file = L"kept";
  EXPECT_FALSE(other.exchange_string("Host", host, false));
  EXPECT_FALSE(other.exchange_wstring("DumpFile", file, false));
  EXPECT_EQ(host, "kept");
  EXPECT_EQ(file, L"kept");
}

TEST_F(TkRegKey, BuffersSizesAndCodePages) {
  tk_reg_key key;
  ASSERT_EQ(key.create(HKEY_CURRENT_USER, "Software\\Veltrask\\Test"), 0);
  EXPECT_EQ(key.set_value(L"caf\u00e9", "Name"), 0);
  DWORD size = 0;
  EXPECT_EQ(key.get_value(static_cast<char*>(nullptr), "Name", &size), 0);
  EXPECT_EQ(size, 6u);  // UTF-8 "café" and the terminator
  char small[3];
  size = sizeof small;
  EXPECT_EQ(key.get_value(small, "Name", &size), 234);
  EXPECT_EQ(size, 6u);

  ASSERT_TRUE(kernel::set_system_code_page(1252));
  char buf[16];
  size = sizeof buf;
  EXPECT_EQ(key.get_value(buf, "Name", &size), 0);
  EXPECT_STREQ(buf, "caf\xe9");
  EXPECT_EQ(key.set_value("\xe9t\xe9", "Narrow"), 0);
  kernel::set_system_code_page(CP_ACP);
  wchar_t wbuf[8];
  size = sizeof wbuf;
  EXPECT_EQ(key.get_value(wbuf, "Narrow", &size), 0);
  EXPECT_STREQ(wbuf, L"\u00e9t\u00e9");
  EXPECT_EQ(size, 4 * sizeof(wchar_t));

  DWORD n = 9;
  EXPECT_EQ(key.get_value(n, "Missing"), 2);
  EXPECT_EQ(n, 9u);
}

TEST_F(TkRegKey, MisuseIsAnInternalError) {
  tk_reg_key closed;
  auto code = [](const tk_mail_assertion& e) { return std::string(e.what()); };
  auto expect = [](int line) { return "Internal error: \ncode=" + tk_location_code("tk_regk", line); };
  try { closed.create(nullptr, "x"); FAIL(); } catch (const tk_mail_assertion& e) { EXPECT_EQ(code(e), expect(64)); }
  try { closed.set_value(DWORD{1}, "x"); FAIL(); } catch (const tk_mail_assertion& e) { EXPECT_EQ(code(e), expect(149)); }
  try { closed.set_value("t", "x"); FAIL(); } catch (const tk_mail_assertion& e) { EXPECT_EQ(code(e), expect(157)); }
  try { closed.set_value(static_cast<const char*>(nullptr), "x"); FAIL(); } catch (const tk_mail_assertion& e) { EXPECT_EQ(code(e), expect(156)); }
  try { closed.set_value(L"t", "x"); FAIL(); } catch (const tk_mail_assertion& e) { EXPECT_EQ(code(e), expect(165)); }
  DWORD n = 0, size = 4;
  try { closed.get_value(n, nullptr); FAIL(); } catch (const tk_mail_assertion& e) { EXPECT_EQ(code(e), expect(98)); }
  char buf[4];
  try { closed.get_value(buf, "x", nullptr); FAIL(); } catch (const tk_mail_assertion& e) { EXPECT_EQ(code(e), expect(115)); }
  try { closed.get_value(buf, nullptr, &size); FAIL(); } catch (const tk_mail_assertion& e) { EXPECT_EQ(code(e), expect(116)); }
}

}  // namespace
