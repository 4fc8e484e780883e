#include "platform/dao/xls_workbook.h"

#include <fcntl.h>
#include <freexl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/dao/biff_boolerr.h"
#include "platform/dao/cfb_reader.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/serial_date.h"

namespace jet {

namespace {

class xls_cursor : public row_cursor {
 public:
  xls_cursor(std::shared_ptr<const void> handle, unsigned short sheet, std::shared_ptr<const boolerr_sheet> boolerr)
      : handle_(std::move(handle)), sheet_(sheet), boolerr_(std::move(boolerr)) {
    if (freexl_select_active_worksheet(handle_.get(), sheet_) != FREEXL_OK ||
        freexl_worksheet_dimensions(handle_.get(), &rows_, &cols_) != FREEXL_OK)
      throw_bad_format("unreadable worksheet");
  }

  bool next(sheet_row& row) override {
    // Each read selects the sheet again: two cursors may share the handle.
    if (freexl_select_active_worksheet(handle_.get(), sheet_) != FREEXL_OK) throw_bad_format("unreadable worksheet");
    while (row_ < rows_) {
      unsigned int r = row_++;
      bool any = false;
      for (auto& c : row.cells) c.kind = cell_kind::empty;
      for (unsigned short col = 0; col < cols_; ++col) {
        FreeXL_CellValue value;
        if (freexl_get_cell_value(handle_.get(), r, col, &value) != FREEXL_OK) throw_bad_format("unreadable cell");
        if (value.type == FREEXL_CELL_NULL) continue;
        if ((value.type == FREEXL_CELL_TEXT || value.type == FREEXL_CELL_SST_TEXT) &&
            (!value.value.text_value || !*value.value.text_value))
          continue;
        if (col >= row.cells.size()) row.cells.resize(col + 1u);
        cell& c = row.cells[col];
        c.currency = false;
        switch (value.type) {
          case FREEXL_CELL_INT:
            c.kind = cell_kind::number;
            c.number = value.value.int_value;
            break;
          case FREEXL_CELL_DOUBLE:
            c.kind = cell_kind::number;
            c.number = value.value.double_value;
            break;
          case FREEXL_CELL_DATE:
          case FREEXL_CELL_DATETIME:
          case FREEXL_CELL_TIME:
            if (auto date = value.value.text_value ? parse_iso_date(value.value.text_value) : std::nullopt) {
              c.kind = cell_kind::date;
              c.number = *date;
            } else {
              c.kind = cell_kind::text;
              c.text = value.value.text_value ? value.value.text_value : "";
            }
            break;
          default:
            c.kind = cell_kind::text;
            c.text = value.value.text_value;
            break;
        }
        any = true;
      }
      any = apply_boolerr(r, row) || any;
      if (any) {
        row.index = r;
        return true;
      }
    }
    return false;
  }

 private:
  // libfreexl gives boolean and error cells as integers: they become the
  // booleans and errors the file holds.
  bool apply_boolerr(unsigned int r, sheet_row& row) {
    if (!boolerr_) return false;
    const auto& cells = boolerr_->cells;
    while (next_boolerr_ < cells.size() && cells[next_boolerr_].row < r) ++next_boolerr_;
    bool any = false;
    for (; next_boolerr_ < cells.size() && cells[next_boolerr_].row == r; ++next_boolerr_) {
      const boolerr_cell& b = cells[next_boolerr_];
      if (b.col >= row.cells.size() || row.cells[b.col].kind != cell_kind::number) continue;
      cell& c = row.cells[b.col];
      c.kind = b.error ? cell_kind::error : cell_kind::boolean;
      c.boolean = !b.error && b.value != 0;
      c.number = 0;
      any = true;
    }
    return any;
  }

  std::shared_ptr<const void> handle_;
  unsigned short sheet_;
  std::shared_ptr<const boolerr_sheet> boolerr_;
  std::size_t next_boolerr_ = 0;
  unsigned int rows_ = 0;
  unsigned short cols_ = 0;
  unsigned int row_ = 0;
};

enum class probe_result { readable, damaged, protected_file, no_probe };

// The helper program: beside the running program, else where the build put it.
std::string probe_program() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    auto beside = self.parent_path() / "orv_xls_probe";
    if (::access(beside.c_str(), X_OK) == 0) return beside.string();
  }
#ifdef ORV_XLS_PROBE_BUILT
  if (::access(ORV_XLS_PROBE_BUILT, X_OK) == 0) return ORV_XLS_PROBE_BUILT;
#endif
  return {};
}

// libfreexl trusts lengths inside the file more than it should: some damaged
// files make it read outside its buffers while it loads them, and its failing
// paths leak. A helper process loads the file first (a fresh program, so that
// the threads of this process do not matter); only a file it loads is loaded
// here. The file goes to it opened, as its standard input.
probe_result probe_with_freexl(const std::string& path) {
  std::string program = probe_program();
  if (program.empty()) return probe_result::no_probe;
  int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return probe_result::damaged;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, file, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char* argv[] = {program.data(), nullptr};
  pid_t child = -1;
  int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(file);
  if (spawned != 0) return probe_result::no_probe;

  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0 && errno != EINTR) return probe_result::damaged;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      return probe_result::damaged;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
  if (!WIFEXITED(status)) return probe_result::damaged;
  if (WEXITSTATUS(status) == 4) return probe_result::protected_file;
  return WEXITSTATUS(status) == 0 ? probe_result::readable : probe_result::damaged;
}

}  // namespace

xls_workbook::xls_workbook(const std::string& path) {
  switch (probe_with_freexl(path)) {
    case probe_result::damaged: throw_bad_format("freexl cannot read the workbook");
    case probe_result::protected_file: throw_jet(err_encrypted);
    case probe_result::readable:
    case probe_result::no_probe: break;
  }
  const void* handle = nullptr;
  int status = freexl_open(path.c_str(), &handle);
  if (status != FREEXL_OK || !handle) {
    if (handle) freexl_close(handle);
    throw_bad_format("freexl cannot read the workbook");
  }
  handle_ = std::shared_ptr<const void>(handle, [](const void* h) { freexl_close(h); });
  unsigned int info = 0;
  if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED)
    throw_jet(err_encrypted);
  unsigned int count = 0;
  if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK) throw_bad_format("no worksheets");
  for (unsigned int i = 0; i < count && i < 65536; ++i) {
    const char* name = nullptr;
    if (freexl_get_worksheet_name(handle, static_cast<unsigned short>(i), &name) != FREEXL_OK || !name)
      throw_bad_format("unreadable worksheet name");
    sheet_names_.emplace_back(name);
  }
  read_boolerr(path);
}

// The boolean and error cells, read from the workbook stream itself. When the
// stream cannot be read, or its sheets do not match libfreexl's, the cells stay
// as libfreexl gives them.
void xls_workbook::read_boolerr(const std::string& path) {
  auto stream = read_cfb_stream(path, {u"Workbook", u"Book"});
  if (!stream) return;
  auto sheets = read_boolerr_cells(*stream);
  if (sheets.size() != sheet_names_.size())
    std::erase_if(sheets, [](const boolerr_sheet& s) { return s.type != 0; });
  if (sheets.size() != sheet_names_.size()) return;
  for (auto& s : sheets)
    boolerr_.push_back(s.cells.empty() ? nullptr : std::make_shared<const boolerr_sheet>(std::move(s)));
}

std::unique_ptr<row_cursor> xls_workbook::open_sheet(std::size_t index) const {
  if (index >= sheet_names_.size()) throw_jet(err_object_not_found, std::to_string(index));
  return std::make_unique<xls_cursor>(handle_, static_cast<unsigned short>(index),
                                      index < boolerr_.size() ? boolerr_[index] : nullptr);
}

}  // namespace jet
