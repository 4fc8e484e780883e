// The TDS test server must never limit the client measurements made against
// it: while freebcp -b 1000 loads 1,000,000 rows of 8 columns into a server in
// this process, the process's CPU time (the server's threads) is measured as a
// share of the load's wall time: once with the login in TLS (the server's
// usual answer), once with the whole session in TLS (forced encryption).
//   tds_server_bench FILE ROWS
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/tds_server/tds_server.h"

extern char** environ;

namespace {

double cpu_seconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Rows of an int, a text with non-ASCII characters, a float, a datetime, a
// decimal, a bigint, a varchar and a bit, tab-separated.
void generate(const std::string& path, long rows) {
  std::ofstream out(path, std::ios::binary);
  char line[256];
  for (long i = 0; i < rows; ++i) {
    const int n = std::snprintf(line, sizeof line,
                                "%ld\tO'Brien-M\xC3\xBCller \xE6\x9D\xB1\xE4\xBA\xAC #%ld\t%ld.5\t20%02ld-%02ld-%02ld "
                                "%02ld:%02ld:%02ld.%03ld\t%ld.%04ld\t%ld\tcode %ld\t%ld\n",
                                i, i, i * 3, i % 25, 1 + i % 12, 1 + i % 28, i % 24, i % 60, (i * 7) % 60, (i * 3) % 1000,
                                (i * 31) % 1000000, i % 10000, i * 1000003L, i % 977, i % 2);
    out.write(line, n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tds_server_bench FILE ROWS\n");
    return 2;
  }
  const std::string file = argv[1];
  const long rows = std::atol(argv[2]);
  generate(file, rows);

  tds::server srv;
  srv.execute("CREATE DATABASE bench");
  const std::string server = "127.0.0.1:" + std::to_string(srv.port());
  std::vector<std::string> env = {"TDSVER=7.4"};
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  // One load into a new table; false when freebcp fails.
  auto load = [&](const std::string& table, double& share, double& rate) {
    srv.execute("CREATE TABLE " + table + " (id int NOT NULL, name nvarchar(60), f float, dt datetime, d decimal(18,4), "
                "b bigint, v varchar(20), bt bit)", "bench");
    std::vector<std::string> args = {"freebcp", "bench.dbo." + table, "in", file, "-c", "-b", "1000", "-S", server,
                                     "-U", srv.user(), "-P", srv.password()};
    std::vector<char*> argv_spawn;
    for (auto& a : args) argv_spawn.push_back(a.data());
    argv_spawn.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 0x1 /* O_WRONLY */, 0);
    const double cpu0 = cpu_seconds();
    const auto wall0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const bool started = posix_spawnp(&pid, "freebcp", &actions, nullptr, argv_spawn.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!started) {
      std::fprintf(stderr, "tds_server_bench: cannot run freebcp\n");
      return false;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    const double cpu = cpu_seconds() - cpu0;
    const std::size_t loaded = srv.row_count("bench", table);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || loaded != static_cast<std::size_t>(rows)) {
      std::fprintf(stderr, "tds_server_bench: freebcp loaded %zu of %ld rows\n", loaded, rows);
      return false;
    }
    share = cpu / wall;
    rate = static_cast<double>(rows) / wall;
    return true;
  };

  double share = 0, rate = 0;
  if (!load("r", share, rate)) return 1;
  std::printf("BENCH tds_server_cpu_share %.3f ratio target <= 0.5\n", share);
  std::printf("BENCH tds_server_bulk_rate %.0f rows/s target >= 50000\n", rate);
  srv.execute("DROP TABLE r", "bench");
  srv.set_encryption(tds::encryption_mode::forced);
  if (!load("e", share, rate)) return 1;
  std::printf("BENCH tds_server_cpu_share_encrypted %.3f ratio target <= 0.5\n", share);
  return 0;
}
