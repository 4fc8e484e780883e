// dunmere_console run as a program against the in-memory TDS test server:
// its exit code, standard output and standard error, and what the server
// stored, read through the server's inspection calls.
#pragma once

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/tds_server/tds_server.h"
#include "tests/support/child_tmpdir.h"
#include "tests/support/test_dir.h"

extern char** environ;

struct console_result {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs the program with the arguments; standard output and error into files.
// Its temporary folder is a fresh one, which it must leave without FreeTDS's
// configuration however it ends.
inline console_result run_console(const test_dir& dir, const std::vector<std::string>& args) {
  child_tmpdir tmp(dir / "tmp");
  const std::string out = (dir / "stdout.txt").string(), err = (dir / "stderr.txt").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> argv{const_cast<char*>(DUNMERE_CONSOLE)};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  console_result r;
  if (posix_spawn(&pid, DUNMERE_CONSOLE, &actions, nullptr, argv.data(), tmp.environment()) != 0) {
    ADD_FAILURE() << "cannot start " << DUNMERE_CONSOLE;
    return r;
  }
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  r.out = test_dir::read(out);
  r.err = test_dir::read(err);
  EXPECT_EQ(tmp.left("orv-freetds-"), std::vector<std::string>{});
  return r;
}

using rows_t = std::vector<std::vector<std::string>>;

class console_test : public ::testing::Test {
 protected:
  void SetUp() override {
    tds::server_options o;
    o.lock_timeout_ms = 20000;  // a client waiting on its own other connection fails (1222) rather than hangs
    server = std::make_unique<tds::server>(o);
  }

  // The login arguments of the test server.
  std::vector<std::string> login() const {
    return {"--host=127.0.0.1," + std::to_string(server->port()), "--user=sa", "--pswd=" + server->password()};
  }
  // A run with the login arguments first.
  console_result run(std::initializer_list<std::string> args) {
    std::vector<std::string> all = login();
    all.insert(all.end(), args);
    return run_console(dir, all);
  }
  std::string path(const std::string& name) const { return (dir / name).string(); }
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(dir / name, std::ios::binary) << bytes;
  }

  // The stored values of a table as text ("<null>" for NULL), row by row.
  std::vector<std::vector<std::string>> table(const std::string& db, const std::string& name) {
    std::vector<tds::column_info> columns = server->columns(db, name);
    std::vector<std::vector<std::string>> out;
    for (const auto& row : server->rows(db, name)) {
      std::vector<std::string> texts;
      for (std::size_t i = 0; i < row.size(); ++i)
        texts.push_back(row[i].null ? "<null>" : tds::render(columns[i].type, row[i]));
      out.push_back(texts);
    }
    return out;
  }
  rows_t table_rows(const std::string& name, const std::string& db = "csvdb") { return table(db, name); }
  std::vector<std::string> column_types(const std::string& db, const std::string& name) {
    std::vector<std::string> out;
    for (const auto& c : server->columns(db, name)) out.push_back(c.name + " " + tds::type_name(c.type));
    return out;
  }

  test_dir dir;
  std::unique_ptr<tds::server> server;
};

