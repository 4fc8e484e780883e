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
#include "tests/support/child_tmpdir.h"
#include "tests/support/wizard_script.h"
#include "tests/support/tds_server/tds_server.h"
#include "tests/support/test_dir.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
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
    page = std::make_unique<mssql_settings_page>(*conv, limit);
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

  int limit = mssql_settings_page::wait_limit_seconds;  // of an attempt, in seconds
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
  EXPECT_TRUE(settings_page::animation::wait_workers(5000));
}

// Attempts given up after 2 seconds.
struct short_limit_test : connect_test {
  short_limit_test() { limit = 2; }
};

// A server that answers the login a byte at a time never finishes within the limit:
// the attempt ends at its limit, clicks on Next meanwhile start no more attempts, and
// the next attempt starts at once, with its dialog, and connects to a good server.
TEST_F(short_limit_test, ATimedOutAttemptDoesNotHoldTheNext) {
  REQUIRE_DISPLAY();
  using std::chrono::steady_clock;
  tds::server_options o;
  o.password = password;
  o.login_trickle_ms = 1000;
  auto slow = std::make_unique<tds::server>(o);
  shell->open(nullptr);
  sql_login(L"127.0.0.1," + std::to_wstring(slow->port()), L"sa", tk_from_utf8(password));
  int connections_meanwhile = -1;
  d.answer_dialog(
      [&](gui::dialog& dlg) {
        for (int i = 0; i < 3; ++i) d.pointer_click(gui::ID_PSNEXT);
        gui::pump_until([&] { return dlg.ended(); }, 30000);
        connections_meanwhile = slow->connections();
      },
      0);
  const auto start = steady_clock::now();
  d.press(gui::ID_PSNEXT);
  const auto first = steady_clock::now() - start;
  EXPECT_EQ(d.page_id(), 118);
  EXPECT_GE(first, std::chrono::milliseconds(1900));
  EXPECT_LT(first, std::chrono::seconds(6));
  EXPECT_EQ(connections_meanwhile, 1);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_NE(messages()[0].find(L"did not answer within 2 seconds"), std::wstring::npos);
  d.type(1014, server_name());
  server->set_slow_answer(300);  // long enough for its dialog to show
  const auto again = steady_clock::now();
  next_and_wait();
  EXPECT_LT(steady_clock::now() - again, std::chrono::seconds(5));
  EXPECT_EQ(d.page_id(), 105);
  EXPECT_EQ(conv->get_engine().get_server(), server_name());
  int dialogs = 0;
  for (const auto& r : d.log())
    if (r.kind == "dialog" && r.id == 101) ++dialogs;
  EXPECT_EQ(dialogs, 2);
  EXPECT_EQ(messages().size(), 1u);
  EXPECT_EQ(slow->connections(), 1);  // the abandoned attempt's, still answered
  slow.reset();                       // which ends it
  EXPECT_TRUE(settings_page::animation::wait_workers(10000));
}

// Cancel after an attempt was given up at its limit ends the process of the program
// at once: nothing waits for the attempt, which the server still answers. The
// attempt's FreeTDS configuration is not left in the temporary folder.
TEST(DunmereWizardProcess, CancelAfterATimedOutAttemptEndsTheProcessAtOnce) {
  REQUIRE_DISPLAY();
  tds::server_options o;
  o.password = password;
  o.login_trickle_ms = 1000;
  tds::server slow(o);
  test_dir dir;
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const std::string err = (dir.path() / "stderr.txt").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string server = "127.0.0.1," + std::to_string(slow.port());
  const std::string registry = (dir.path() / "registry.reg").string();
  std::vector<char*> argv{const_cast<char*>(DUNMERE_ABANDON_RUN), const_cast<char*>(server.c_str()),
                          const_cast<char*>(password), const_cast<char*>(registry.c_str()), nullptr};
  pid_t pid = 0;
  child_tmpdir tmp(dir.path() / "tmp");
  ASSERT_EQ(posix_spawn(&pid, DUNMERE_ABANDON_RUN, &actions, nullptr, argv.data(), tmp.environment()), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string said;
  char buf[256];
  for (pollfd p{out[0], POLLIN, 0}; said.find('\n') == std::string::npos && ::poll(&p, 1, 60000) > 0;) {
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    said.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  const auto cancelled = std::chrono::steady_clock::now();
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0 &&
         std::chrono::steady_clock::now() - cancelled < std::chrono::seconds(30))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const auto took = std::chrono::steady_clock::now() - cancelled;
  if (::kill(pid, 0) == 0 && ::waitpid(pid, &status, WNOHANG) == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  EXPECT_EQ(said, "cancel\n");
  EXPECT_LT(took, std::chrono::seconds(5));
  const std::string errors = test_dir::read(err);
  ASSERT_TRUE(WIFEXITED(status)) << errors;
  EXPECT_EQ(WEXITSTATUS(status), 0) << errors;
  EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
  EXPECT_EQ(tmp.left("orv-freetds-"), std::vector<std::string>{});
}

// An attempt that outlasts its limit is abandoned: the next one starts at once, and
// only the current attempt's result counts, however late the old one ends.
TEST(ConnectingDialog, AnAttemptBeyondItsLimitIsAbandonedAndNotWaitedFor) {
  REQUIRE_DISPLAY();
  gui::driver d;
  auto ended = std::make_shared<std::atomic<int>>(0);
  // A login to server that takes ms and then counts itself ended.
  auto login = [ended](const wchar_t* server, int ms) {
    return [ended, server, ms] {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      ++*ended;
      mss_connection c;
      c.server = server;
      return c;
    };
  };
  using outcome = settings_page::animation::outcome;
  {
    settings_page::animation a;
    EXPECT_EQ(a.run(nullptr, login(L"old", 2500), 1), outcome::timed_out);
    EXPECT_NE(a.message().find(L"did not answer within 1 seconds"), std::wstring::npos);
    EXPECT_TRUE(a.is_running());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(a.run(nullptr, login(L"new", 0), 10), outcome::connected);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(ended->load(), 1);
    ASSERT_TRUE(settings_page::animation::wait_workers(10000));
    EXPECT_EQ(ended->load(), 2);
    EXPECT_EQ(a.connection().server, L"new");
    // The object goes while an abandoned attempt still runs: nothing waits for it.
    EXPECT_EQ(a.run(nullptr, login(L"late", 1500), 1), outcome::timed_out);
  }
  EXPECT_EQ(settings_page::animation::workers_running(), 1);
  ASSERT_TRUE(settings_page::animation::wait_workers(10000));
  EXPECT_EQ(ended->load(), 3);
}

// The attempt may end before the dialog exists; the dialog then returns at once. The
// icon turns while the attempt lasts.
TEST(ConnectingDialog, AnimatesUntilTheAttemptEndsIt) {
  REQUIRE_DISPLAY();
  gui::driver d;
  settings_page::animation quick;
  EXPECT_EQ(quick.run(nullptr, []() -> mss_connection { throw std::runtime_error("odd"); }, 5),
            settings_page::animation::outcome::fatal);
  EXPECT_EQ(quick.message(), L"odd");
  EXPECT_FALSE(quick.internal_error());
  settings_page::animation slow;
  d.answer_dialog(
      [&](gui::dialog& dlg) {
        gui::pump_until([&] { return dlg.ended(); }, 60000);
        EXPECT_EQ(dlg.template_id(), 101);
      },
      0);
  EXPECT_EQ(slow.run(nullptr,
                     [] {
                       std::this_thread::sleep_for(std::chrono::milliseconds(1800));
                       return mss_connection{};
                     },
                     5),
            settings_page::animation::outcome::connected);
  EXPECT_TRUE(settings_page::animation::wait_workers(5000));
}

}  // namespace
