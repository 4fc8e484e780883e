// The toolkit's services that reach the platform: working directory, file
// tests, clipboard, component versions and the bug report mail.
#include "TK/tk_utils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TK/tk_trace.h"
#include "platform/kernel/clipboard.h"
#include "platform/kernel/dll_version.h"
#include "platform/kernel/last_error.h"
#include "platform/kernel/mail.h"
#include "tests/support/test_dir.h"

namespace {

class TkPlatform : public ::testing::Test {
 protected:
  void TearDown() override {
    kernel::set_mail_transport(std::nullopt);
    kernel::set_clipboard_writer(nullptr);
  }
  static std::string read(const std::filesystem::path& p) { return test_dir::read(p); }
  test_dir tmp_;
  std::filesystem::path dir_ = tmp_.path();
};

TEST_F(TkPlatform, WorkingDirectoryIsRestored) {
  std::string before = std::filesystem::current_path();
  {
    tk_cur_dir d(dir_.string());
    EXPECT_TRUE(d.is_changed());
    EXPECT_EQ(std::filesystem::current_path(), dir_);
  }
  EXPECT_EQ(std::filesystem::current_path().string(), before);
  tk_cur_dir missing((dir_ / "nope").string());
  EXPECT_FALSE(missing.is_changed());
  EXPECT_EQ(kernel::get_last_error(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(std::filesystem::current_path().string(), before);
}

TEST_F(TkPlatform, FileAndFolderTests) {
  auto file = dir_ / "data.csv";
  std::ofstream(file) << "a,b\n";
  EXPECT_TRUE(tk_is_file_exist(file.c_str()));
  EXPECT_TRUE(tk_is_file_exist(file.wstring().c_str(), 1));
  EXPECT_FALSE(tk_is_file_exist((dir_ / "none.csv").c_str()));
  EXPECT_FALSE(tk_is_file_exist(dir_.c_str()));  // a folder is no file
  if (::geteuid() != 0) {
    ::chmod(file.c_str(), 0444);
    EXPECT_TRUE(tk_is_file_exist(file.c_str(), 0));
    EXPECT_FALSE(tk_is_file_exist(file.c_str(), 1));
  }
  auto fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  tk_is_file_exist(fifo.c_str());  // must return rather than wait for a writer
  EXPECT_TRUE(tk_is_path_exist(dir_.wstring().c_str()));
  EXPECT_FALSE(tk_is_path_exist((dir_ / "none").wstring().c_str()));
  EXPECT_FALSE(tk_is_path_exist(file.wstring().c_str()));
}

TEST_F(TkPlatform, ClipboardSeam) {
  tk_trace_log log((dir_ / "t.log").c_str(), true, 1, false);
  tk_copy_to_clipboard(L"Internal error \u00e9");
  EXPECT_EQ(kernel::memory_clipboard_text(), L"Internal error \u00e9");
  kernel::set_clipboard_writer([](const std::wstring&) { return false; });
  tk_copy_to_clipboard(L"lost");
  std::string text = read(dir_ / "t.log");
  EXPECT_NE(text.find("OpenClipboard succeeded\r\n"), std::string::npos);
  EXPECT_NE(text.find("GetLastError() returns 00000005\r\n"), std::string::npos);
}

TEST_F(TkPlatform, ComponentVersions) {
  EXPECT_EQ(get_dll_version(L"comctl32.dll"), 0u);
  kernel::register_dll_version(L"COMCTL32.DLL", 5, 81);
  EXPECT_EQ(get_dll_version(L"comctl32.dll"), (5u << 16) | 81u);
  kernel::unregister_dll_version(L"comctl32.dll");
  EXPECT_EQ(get_dll_version(L"comctl32.dll"), 0u);
  EXPECT_EQ(get_dll_version(nullptr), 0u);
}

TEST_F(TkPlatform, BugReportGoesToTheMailTransport) {
  auto script = dir_ / "sendmail";
  auto captured = dir_ / "mail.txt";
  std::ofstream(script) << "#!/bin/sh\necho \"$@\" > '" << (dir_ / "args").string() << "'\ncat > '"
                        << captured.string() << "'\n";
  ::chmod(script.c_str(), 0700);
  kernel::set_mail_transport(script.string());
  tk_trace_log log((dir_ / "t.log").c_str(), true, 1, false);
  tk_send_bug("Orvell 3.1\r\nBcc: victim@example.com", "Internal error: \ncode=612e635c37\n\u00e9");
  EXPECT_EQ(read(dir_ / "args"), "-t -i\n");
  std::string mail = read(captured);
  EXPECT_NE(mail.find(std::string("To: ") + tk_service_address + "\n"), std::string::npos) << mail;
  EXPECT_NE(mail.find("Subject: Bug report on Orvell 3.1  Bcc: victim@example.com\n"), std::string::npos) << mail;
  EXPECT_EQ(mail.find("\nBcc:"), std::string::npos);  // no header can be slipped in
  EXPECT_NE(mail.find("\nDate: "), std::string::npos);
  EXPECT_NE(mail.find("\n\nInternal error: \ncode=612e635c37\n\u00e9"), std::string::npos);
  EXPECT_NE(read(dir_ / "t.log").find("lpfnMAPISendMail returns 0\r\n"), std::string::npos);

  std::ofstream(script) << "#!/bin/sh\nexit 75\n";
  tk_send_bug("x", "y");
  EXPECT_NE(read(dir_ / "t.log").find("lpfnMAPISendMail returns 2\r\n"), std::string::npos);
}

TEST_F(TkPlatform, BugReportWithoutTransportFailsQuietly) {
  kernel::set_mail_transport(std::string());
  tk_trace_log log((dir_ / "t.log").c_str(), true, 1, false);
  std::string before = std::filesystem::current_path();
  tk_send_bug("Orvell", "text");
  tk_send_bug(nullptr, nullptr);
  EXPECT_EQ(std::filesystem::current_path().string(), before);
  std::string text = read(dir_ / "t.log");
  EXPECT_NE(text.find("tk_send_bug(Orvell|text)\r\nFailed to locate MAPI32.DLL\r\n"), std::string::npos) << text;
}

TEST(MailText, NonAsciiSubjectIsEncoded) {
  kernel::mail_message m{"mailto:a@b.c", "Bug report on Caf\xc3\xa9", "line1\r\nline2\rline3"};
  std::string text = kernel::format_mail(m, 0);
  EXPECT_NE(text.find("To: a@b.c\n"), std::string::npos);
  EXPECT_NE(text.find("Subject: =?UTF-8?B?QnVnIHJlcG9ydCBvbiBDYWbDqQ==?=\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n\nline1\nline2\nline3\n"), std::string::npos);
}

}  // namespace
