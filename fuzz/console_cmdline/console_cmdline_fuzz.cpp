// Argument vectors meet the tokenizer and the console's option parser: every
// vector either parses, asks for the usage, ends with a message or raises a
// tk_exception; nothing crashes or reads outside an argument. Arguments are
// the input split at NUL bytes. Paths are kept inside a private folder, so
// that no file outside it is read or written.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TK/tk_cmdli.h"
#include "TK/tk_excep.h"
#include "UDB/udb_db.h"
#include "UDB/udb_vali.h"
#include "apps/dunmere_console/con_cmdl.h"
#include "common/conv_driver.h"
#include "common/csv_util.h"
#include "common/error_handler.h"
#include "tests/support/idle_driver.h"

namespace {


class settings : public console_settings {
public:
  conversion_driver& driver() override { return conv; }
  mss_login_settings& connection() override { return login; }
  void set_as_dbo(bool) override {}
  bool load_profile_file(const std::wstring& name) override {
    if (name.size() % 2) throw tk_exception("Profile does not exist.", 1);
    login.server = name;
    conv.selected_table_names().push_back(name);
    return true;
  }
  idle_driver conv;
  mss_login_settings login;
};

const std::filesystem::path& folder() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("orv-fuzz-cmdline-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    std::ofstream(d / "list.txt") << "Sheet1\n\xEF\xBB\xBFSheet2\n";
    return d;
  }();
  return dir;
}

// Values that name files point into the private folder.
std::string confined(const std::string& arg) {
  for (const char* prefix : {"--tab_file=", "--logfile=", "--src="}) {
    const std::string p = prefix;
    if (arg.rfind(p, 0) != 0) continue;
    std::string rest = arg.substr(p.size());
    if (rest.empty()) return arg;
    const char* names[] = {"list.txt", "missing.txt", "trace.log", "no/folder/x"};
    return p + (folder() / names[static_cast<unsigned char>(rest[0]) % 4]).string();
  }
  return arg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static error_handler* handler = new error_handler(dao_error_map_size, dao_error_map, error_handler::console_variant{});
  handler->set_quiet(true);
  std::vector<std::string> args{"dunmere_console"};
  std::string current;
  for (std::size_t i = 0; i < size && args.size() < 64; ++i) {
    if (data[i] == 0) {
      args.push_back(confined(current));
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  args.push_back(confined(current));
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());

  // The tokenizer alone: every argument is seen once, in order.
  static const tk_cmd_option table[] = {{1, "--a"}, {2, "--a="}, {3, "-"}, {0, ""}};
  tk_cmd_line line(static_cast<int>(argv.size()), argv.data(), table);
  std::size_t seen = 0;
  for (; line.has_more(); line.next()) {
    const char* value = line.get_value();
    if (value < argv[seen + 1] || value > argv[seen + 1] + args[seen + 1].size()) __builtin_trap();
    ++seen;
  }
  if (seen != argv.size() - 1 || line.get_positional().size() > tk_cmd_line::max_positional) __builtin_trap();

  settings s;
  try {
    if (parse_cmd_line(static_cast<int>(argv.size()), argv.data(), s)) {
      const int d = s.conv.delimiter_index;
      if (!s.conv.from_xls && (d < 0 || d > 3 || s.conv.csv_table_name.empty())) __builtin_trap();
      if (s.conv.get_src().empty() || s.conv.get_dest().empty()) __builtin_trap();
      if (s.conv.get_mode() < 0 || s.conv.get_mode() > 3) __builtin_trap();
    }
  } catch (const console_exit&) {
  } catch (const tk_exception&) {
  }
  return 0;
}
