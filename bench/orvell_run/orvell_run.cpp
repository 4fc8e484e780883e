// orvell_run PROFILE [--csv-table NAME] [--csv-delim 0-3]
//
// Runs the conversion of a settings profile as the wizard does after loading a
// profile from its command line, headless and on the calling thread: the
// registry lives in a temporary folder, no progress timer runs, level-0 errors
// are answered Continue and every error is printed to stderr. Prints one line
// per table (name, rows, seconds); exits 0 only when no error was reported.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "TK/tk_utils.h"
#include "apps/orvell_wizard/orv_conv.h"
#include "common/error_handler.h"
#include "platform/kernel/registry.h"

namespace {

// Every error goes to stderr; level 0 continues.
class console_dialogs : public error_dialogs {
public:
  void show_internal_error(const std::wstring& message) override { print("internal error", message); }
  void show_error(const std::wstring& message) override { print("error", message); }
  bool ask_continue(const std::wstring& message, bool& do_not_show) override {
    print("error (continued)", message);
    do_not_show = false;
    return true;
  }
  std::vector<std::string>* error_list() override { return &errors; }

  std::vector<std::string> errors;
  int reported = 0;

private:
  void print(const char* kind, const std::wstring& message) {
    ++reported;
    std::fprintf(stderr, "orvell_run: %s: %s\n", kind, tk_to_utf8(message).c_str());
  }
};

int usage() {
  std::fprintf(stderr, "usage: orvell_run PROFILE [--csv-table NAME] [--csv-delim 0-3]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string profile = argv[1];
  std::string csv_table;
  int csv_delim = -1;
  for (int i = 2; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--csv-table") && i + 1 < argc) {
      csv_table = argv[++i];
    } else if (!std::strcmp(argv[i], "--csv-delim") && i + 1 < argc && std::strlen(argv[i + 1]) == 1 &&
               argv[i + 1][0] >= '0' && argv[i + 1][0] <= '3') {
      csv_delim = argv[++i][0] - '0';
    } else {
      return usage();
    }
  }

  char folder[] = "/tmp/orvell_run.XXXXXX";
  if (!mkdtemp(folder)) {
    std::perror("orvell_run: mkdtemp");
    return 2;
  }
  kernel::set_registry_file(std::string(folder) + "/registry.reg");

  auto owned = std::make_unique<console_dialogs>();
  console_dialogs* dialogs = owned.get();
  int status = 0;
  {
    error_handler handler(dao_error_map_size, dao_error_map, std::move(owned));
    handler.load_err_map(mysql_error_map_size, mysql_error_map);
    handler.load_err_map(xls_error_map_size, xls_error_map);
    try {
      orvell_converter converter;
      if (!converter.load_profile_file(tk_from_utf8(profile))) {
        std::fprintf(stderr, "orvell_run: cannot read the profile %s\n", profile.c_str());
        status = 1;
      } else {
        if (!csv_table.empty()) converter.csv_table_name = tk_from_utf8(csv_table);
        if (csv_delim >= 0) converter.delimiter_index = csv_delim;
        auto started = std::chrono::steady_clock::now();
        converter.set_table_observer([&started](const std::wstring& table, unsigned rows) {
          auto now = std::chrono::steady_clock::now();
          std::printf("%s\t%u\t%.3f\n", tk_to_utf8(table).c_str(), rows,
                      std::chrono::duration<double>(now - started).count());
          std::fflush(stdout);
          started = now;
        });
        // What the mode drops (a database, a table) the run drops, as the wizard's
        // run does; an existing dump file is written anew.
        if (converter.direct) converter.connect_mysql_server();
        converter();
      }
    } catch (const tk_final_exception&) {
      status = 1;
    } catch (const tk_exception& e) {
      handler.handle(e, true);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "orvell_run: %s\n", e.what());
      status = 1;
    }
    if (dialogs->reported > 0 || !dialogs->errors.empty()) status = 1;
  }
  std::filesystem::remove_all(folder);
  return status;
}
