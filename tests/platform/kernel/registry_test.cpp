#include "platform/kernel/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/test_dir.h"

namespace {

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { kernel::set_registry_file(file_); }
  void TearDown() override { kernel::set_registry_file(std::nullopt); }
  test_dir tmp_;
  std::filesystem::path dir_ = tmp_.path();
  std::string file_ = (dir_ / "cfg" / "registry.reg").string();
};

TEST_F(Registry, ValuesSurviveInAPrivateFile) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(kernel::reg_create_key(HKEY_CURRENT_USER, "Software\\Veltrask\\Orvell", &key, &disposition), 0);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  kernel::registry_value text;
  text.type = REG_SZ;
  text.text = L"p\u00e4ss \"quoted\" \\ back\nslash=\u4e2d";
  kernel::registry_value number;
  number.type = REG_DWORD;
  number.number = 3306;
  kernel::registry_value blob;
  blob.type = REG_BINARY;
  blob.bytes = {0, 1, 255};
  ASSERT_EQ(kernel::reg_set_value(key, "Password", text), 0);
  ASSERT_EQ(kernel::reg_set_value(key, "Port", number), 0);
  ASSERT_EQ(kernel::reg_set_value(key, "Blob", blob), 0);
  ASSERT_EQ(kernel::reg_close_key(key), 0);

  struct stat st {};
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // No temporary file is left behind.
  for (const auto& e : std::filesystem::directory_iterator(dir_ / "cfg")) {
    std::string name = e.path().filename();
    EXPECT_TRUE(name == "registry.reg" || name == "registry.reg.lock") << name;
  }

  ASSERT_EQ(kernel::reg_create_key(HKEY_CURRENT_USER, "software\\VELTRASK\\orvell", &key, &disposition), 0);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  kernel::registry_value read;
  ASSERT_EQ(kernel::reg_query_value(key, "password", read), 0);
  EXPECT_EQ(read.type, REG_SZ);
  EXPECT_EQ(read.text, text.text);
  ASSERT_EQ(kernel::reg_query_value(key, "Port", read), 0);
  EXPECT_EQ(read.number, 3306u);
  ASSERT_EQ(kernel::reg_query_value(key, "Blob", read), 0);
  EXPECT_EQ(read.bytes, blob.bytes);
  EXPECT_EQ(kernel::reg_query_value(key, "Missing", read), 2);
  EXPECT_EQ(kernel::reg_delete_value(key, "Blob"), 0);
  EXPECT_EQ(kernel::reg_query_value(key, "Blob", read), 2);
  kernel::reg_close_key(key);

  HKEY parent = nullptr;
  EXPECT_EQ(kernel::reg_open_key(HKEY_CURRENT_USER, "Software\\Veltrask", &parent), 0);
  kernel::reg_close_key(parent);
  EXPECT_EQ(kernel::reg_open_key(HKEY_CURRENT_USER, "Software\\Other", &parent), 2);
  EXPECT_EQ(kernel::reg_query_value(nullptr, "x", read), 6);
  EXPECT_EQ(kernel::reg_create_key(HKEY_CURRENT_USER, "Bad\nName", &key, nullptr), 87);
}

TEST_F(Registry, DamagedLinesArePassedOver) {
  std::filesystem::create_directories(dir_ / "cfg");
  std::ofstream(file_) << "garbage\n[HKEY_CURRENT_USER\\K]\n\"A\"=dword:0000000a\n\"B\"=\"unterminated\n"
                          "\"C\"=hex(zz\n\"D\"=\"ok\"\n";
  HKEY key = nullptr;
  ASSERT_EQ(kernel::reg_open_key(HKEY_CURRENT_USER, "K", &key), 0);
  kernel::registry_value v;
  EXPECT_EQ(kernel::reg_query_value(key, "A", v), 0);
  EXPECT_EQ(v.number, 10u);
  EXPECT_EQ(kernel::reg_query_value(key, "B", v), 2);
  EXPECT_EQ(kernel::reg_query_value(key, "C", v), 2);
  EXPECT_EQ(kernel::reg_query_value(key, "D", v), 0);
  EXPECT_EQ(v.text, L"ok");
  kernel::reg_close_key(key);
}

TEST_F(Registry, DefaultFileIsUnderTheConfigurationFolder) {
  kernel::set_registry_file(std::nullopt);
  std::string old = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
  ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  EXPECT_EQ(kernel::registry_file(), (dir_ / "veltrask" / "registry.reg").string());
  HKEY key = nullptr;
  ASSERT_EQ(kernel::reg_create_key(HKEY_CURRENT_USER, "Software\\Veltrask\\Dunmere", &key, nullptr), 0);
  kernel::reg_close_key(key);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "veltrask" / "registry.reg"));
  if (old.empty())
    ::unsetenv("XDG_CONFIG_HOME");
  else
    ::setenv("XDG_CONFIG_HOME", old.c_str(), 1);
}

}  // namespace
