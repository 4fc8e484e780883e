// The SQL Server connection page and its connecting dialog, worked through the test
// driver against the TDS test server.
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "apps/dunmere_wizard/mss_anim.h"
#include "apps/dunmere_wizard/mss_set.h"
#include "common/mss_conv.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_driver.h"
#include "tests/platform/gui/gui_environment.h"
#include "tests/support/wizard_script.h"
#include "tests/support/tds_server/tds_server.h"
#include "tests/support/test_dir.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

constexpr const char* password = "p;w=\"Secret-9";

// The page after the connection page: it only shows that the wizard moved on.
struct next_page : wizard_page {
  next_page() : wizard_page(105, L"Step 2 of 4", L"Select data source and destination", gui::resource_set::dunmere) {}
};

struct connect_test : ::testing::Test {
  void SetUp() override {
    if (!gui_test::display_available()) return;
    tds::server_options o;
    o.password = password;
    server = std::make_unique<tds::server>(o);
    conv = std::make_unique<mssql_converter_impl>();
    shell = std::make_unique<wizard_shell>(L"Dunmere 2.1", 501, 311, 312);
    page = std::make_unique<mssql_settings_page>(*conv);
    shell->add_page(page.get());
    shell->add_page(&after);
    d.attach(*shell);
  }
  void TearDown() override {
    if (shell) shell->close();
    page.reset();
    shell.reset();
    conv.reset();
    server.reset();
  }

  std::wstring server_name() const { return L"127.0.0.1," + std::to_wstring(server->port()); }

  // Fills the page for a SQL Server login.
  void sql_login(const std::wstring& host, const std::wstring& login, const std::wstring& pswd) {
    d.click(1330);
    d.type(1014, host);
    d.type(1012, login);
    d.type(1013, pswd);
  }

  // Next, with the connecting dialog left to its worker (or its time limit).
  void next_and_wait() {
    d.press(gui::ID_PSNEXT);
    d.settle();
  }

  std::vector<std::wstring> messages() const { return message_texts(d); }

  gui::driver d;
  std::unique_ptr<tds::server> server;
  std::unique_ptr<mssql_converter_impl> conv;
  std::unique_ptr<wizard_shell> shell;
  std::unique_ptr<mssql_settings_page> page;
  next_page after;
};

TEST_F(connect_test, WindowsAuthenticationDisablesLoginAndPassword) {
  REQUIRE_DISPLAY();
  conv->set_connection(L"sqlhost", L"ann", L"pw");
  conv->connection().windows_authentication = true;
  shell->open(nullptr);
  gui::control_set& c = d.page_controls();
  EXPECT_EQ(c.text(1014), L"sqlhost");
  EXPECT_EQ(c.text(1012), L"ann");
  EXPECT_TRUE(c.checked(1329));
  EXPECT_FALSE(c.checked(1330));
  EXPECT_FALSE(c.enabled(1012));
  EXPECT_FALSE(c.enabled(1013));
  d.click(1330);
  EXPECT_TRUE(c.checked(1330));
  EXPECT_FALSE(c.checked(1329));
  EXPECT_TRUE(c.enabled(1012));
  EXPECT_TRUE(c.enabled(1013));
  d.click(1329);
  EXPECT_FALSE(c.enabled(1012));
  EXPECT_FALSE(c.enabled(1013));
  page->apply();
  EXPECT_TRUE(conv->connection().windows_authentication);
  // Windows authentication against a server that only knows SQL Server logins: refused, page kept.
  d.type(1014, server_name());
  next_and_wait();
  EXPECT_EQ(d.page_id(), 118);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_FALSE(conv->get_engine().is_connected());
}

TEST_F(connect_test, AWrongHostKeepsThePage) {
  REQUIRE_DISPLAY();
  shell->open(nullptr);
  const int closed_port = [] {
    tds::server gone;
    return gone.port();
  }();
  sql_login(L"127.0.0.1," + std::to_wstring(closed_port), L"sa", tk_from_utf8(password));
  next_and_wait();
  EXPECT_EQ(d.page_id(), 118);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], L"MS SQL Server does not exist or access denied.\nCheck to verify the correct host was given.");
  // The settings stay applied, and the page still shows them.
  EXPECT_EQ(conv->connection().login, L"sa");
  EXPECT_EQ(d.page_controls().text(1012), L"sa");
}

TEST_F(connect_test, AWrongPasswordIsRefusedAndNeverShownOrTraced) {
  REQUIRE_DISPLAY();
  test_dir dir;
  const std::string file = (dir.path() / "trace.log").string();
  {
    tk_trace_log log(file.c_str(), true, 1, false);
    shell->open(nullptr);
    sql_login(server_name(), L"sa", L"wrong-Secret-1");
    next_and_wait();
    EXPECT_EQ(d.page_id(), 118);
    // Then the right one.
    d.type(1013, tk_from_utf8(password));
    next_and_wait();
    EXPECT_EQ(d.page_id(), 105);
  }
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].find(L"wrong-Secret-1"), std::wstring::npos);
  EXPECT_FALSE(messages()[0].empty());
  const std::string text = test_dir::read(file);
  EXPECT_NE(text.find("settings_page::animation::operator()"), std::string::npos);
  EXPECT_EQ(text.find("wrong-Secret-1"), std::string::npos);
  EXPECT_EQ(text.find("Secret-9"), std::string::npos);
}

TEST_F(connect_test, ConnectsAsDatabaseOwnerAndMovesOn) {
  REQUIRE_DISPLAY();
  shell->open(nullptr);
  EXPECT_FALSE(d.page_controls().checked(1202));
  d.click(1202);
  sql_login(server_name(), L"sa", tk_from_utf8(password));
  next_and_wait();
  EXPECT_EQ(d.page_id(), 105);
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(conv->get_engine().is_connected());
  EXPECT_TRUE(conv->get_engine().is_as_dbo());
  EXPECT_FALSE(conv->connection().windows_authentication);
  EXPECT_EQ(conv->connection().server, server_name());
  EXPECT_FALSE(page->connecting().is_running());
  // Back and Next again: a new attempt replaces the connection.
  d.press(gui::ID_PSBACK);
  EXPECT_EQ(d.page_id(), 118);
  EXPECT_TRUE(d.page_controls().checked(1202));
  next_and_wait();
  EXPECT_EQ(d.page_id(), 105);
}

// A server that takes the connection and never answers: the provider gives up at
// its login timeout, which ends the dialog.
TEST_F(connect_test, AnUnreachableServerEndsTheDialogWithinTheLoginTimeout) {
  REQUIRE_DISPLAY();
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(s, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(s, 4), 0);
  socklen_t len = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  shell->open(nullptr);
  sql_login(L"127.0.0.1," + std::to_wstring(ntohs(a.sin_port)), L"sa", tk_from_utf8(password));
  const auto start = std::chrono::steady_clock::now();
  next_and_wait();
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(d.page_id(), 118);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], L"MS SQL Server does not exist or access denied.\nCheck to verify the correct host was given.");
  // The provider gave up at its login timeout, before the dialog's own limit.
  EXPECT_LE(waited, std::chrono::seconds(mssql_settings_page::login_timeout_seconds + 3));
  EXPECT_FALSE(page->connecting().is_running());
  ::close(s);
}

// An attempt that outlasts its limit is reported; the worker is never killed: it is
// waited for before the next attempt, and when the page goes.
TEST(ConnectingDialog, AnAttemptBeyondItsLimitIsReportedAndWaitedFor) {
  REQUIRE_DISPLAY();
  gui::driver d;
  std::atomic<int> attempts{0}, ended{0};
  auto a = std::make_unique<settings_page::animation>([&] {
    ++attempts;
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    ++ended;
  });
  using outcome = settings_page::animation::outcome;
  EXPECT_EQ(a->run(nullptr, 1), outcome::timed_out);
  EXPECT_NE(a->message().find(L"did not answer within 1 seconds"), std::wstring::npos);
  EXPECT_TRUE(a->is_running());
  // The next attempt waits for the first, then runs to its end within a longer limit.
  EXPECT_EQ(a->run(nullptr, 10), outcome::connected);
  EXPECT_EQ(ended.load(), 2);
  // A third left running is waited for when the object goes.
  EXPECT_EQ(a->run(nullptr, 1), outcome::timed_out);
  a.reset();
  EXPECT_EQ(attempts.load(), 3);
  EXPECT_EQ(ended.load(), 3);
}

// The worker may end before the dialog exists; the dialog then returns at once. The
// icon turns while the attempt lasts.
TEST(ConnectingDialog, AnimatesUntilTheWorkerEndsIt) {
  REQUIRE_DISPLAY();
  gui::driver d;
  settings_page::animation quick([] { throw std::runtime_error("odd"); });
  EXPECT_EQ(quick.run(nullptr, 5), settings_page::animation::outcome::fatal);
  EXPECT_EQ(quick.message(), L"odd");
  EXPECT_FALSE(quick.internal_error());
  settings_page::animation slow([] { std::this_thread::sleep_for(std::chrono::milliseconds(1800)); });
  d.answer_dialog(
      [&](gui::dialog& dlg) {
        gui::pump_until([&] { return dlg.ended(); }, 60000);
        EXPECT_EQ(dlg.template_id(), 101);
      },
      0);
  EXPECT_EQ(slow.run(nullptr, 5), settings_page::animation::outcome::connected);
}

}  // namespace
