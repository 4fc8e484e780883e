#include "TK/tk_utils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "platform/kernel/clipboard.h"
#include "platform/kernel/codepage.h"
#include "platform/kernel/crt_format.h"
#include "platform/kernel/dll_version.h"
#include "platform/kernel/last_error.h"
#include "platform/kernel/mail.h"
#include "platform/kernel/nocase.h"
#include "platform/kernel/path.h"

// ---- Text conversion -------------------------------------------------------

bool tk_to_ansi(const wchar_t* text, std::string& holder) {
  if (!text) return false;
  auto out = kernel::wide_to_multibyte(CP_ACP, text);
  if (!out) return false;
  holder = std::move(*out);
  return true;
}

std::string tk_to_ansi(std::wstring_view text) {
  return kernel::wide_to_multibyte(CP_ACP, text).value_or(std::string());
}

bool tk_to_ansi_exact(std::wstring_view text, std::string& holder) {
  std::string out = kernel::wide_to_path(CP_ACP, text);
  if (kernel::path_to_wide(CP_ACP, out) != text) return false;
  holder = std::move(out);
  return true;
}

std::wstring tk_from_path(std::string_view bytes) { return kernel::path_to_wide(CP_THREAD_ACP, bytes); }

std::string tk_to_path(std::wstring_view name) { return kernel::wide_to_path(CP_THREAD_ACP, name); }

bool tk_from_ansi(const char* text, std::wstring& holder) {
  if (!text) return false;
  auto out = kernel::multibyte_to_wide(CP_ACP, text);
  if (!out) return false;
  holder = std::move(*out);
  return true;
}

std::wstring tk_from_ansi(std::string_view text) {
  return kernel::multibyte_to_wide(CP_ACP, text).value_or(std::wstring());
}

void tk_free_buffer(std::string& holder) { std::string().swap(holder); }
void tk_free_buffer(std::wstring& holder) { std::wstring().swap(holder); }

char* tk_to_narrow(const wchar_t* text, char* buffer, std::size_t size, UINT code_page) {
  if (!text || !buffer || size == 0) return nullptr;
  auto out = kernel::wide_to_multibyte(code_page, text);
  if (!out) return nullptr;
  std::size_t n = out->size();
  if (n > size - 1) {
    // Cut whole characters: convert the longest prefix of characters that fits.
    std::wstring_view wide(text);
    std::size_t lo = 0, hi = wide.size();
    while (lo < hi) {
      std::size_t mid = (lo + hi + 1) / 2;
      if (kernel::wide_to_multibyte(code_page, wide.substr(0, mid))->size() <= size - 1)
        lo = mid;
      else
        hi = mid - 1;
    }
    *out = *kernel::wide_to_multibyte(code_page, wide.substr(0, lo));
    n = out->size();
  }
  std::memcpy(buffer, out->data(), n);
  buffer[n] = '\0';
  return buffer;
}

std::string tk_to_narrow(std::wstring_view text, UINT code_page) {
  return kernel::wide_to_multibyte(code_page, text).value_or(std::string());
}

std::wstring tk_from_narrow(std::string_view text, UINT code_page) {
  return kernel::multibyte_to_wide(code_page, text).value_or(std::wstring());
}

std::string tk_to_utf8(std::wstring_view text) { return kernel::wide_to_utf8(text); }
std::wstring tk_from_utf8(std::string_view text) { return kernel::utf8_to_wide(text); }

void tk_bin_to_hex(const void* bytes, std::size_t count, char* buffer) {
  if (!buffer) throw tk_mail_assertion("tk_utils", 674);
  static const char digits[] = "0123456789ABCDEF";
  const auto* p = static_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < count; ++i) {
    buffer[2 * i] = digits[p[i] >> 4];
    buffer[2 * i + 1] = digits[p[i] & 15];
  }
  buffer[2 * count] = '\0';
}

std::string tk_bin_to_hex(const void* bytes, std::size_t count) {
  std::string out(2 * count + 1, '\0');
  tk_bin_to_hex(bytes, count, out.data());
  out.resize(2 * count);
  return out;
}

// ---- Trimming --------------------------------------------------------------

namespace {

template <class C>
std::basic_string<C> trim_left(std::basic_string_view<C> s) {
  std::size_t i = s.find_first_not_of(C(' '));
  return i == std::basic_string_view<C>::npos ? std::basic_string<C>() : std::basic_string<C>(s.substr(i));
}

template <class C>
std::basic_string<C> trim_right(std::basic_string_view<C> s) {
  std::size_t i = s.find_last_not_of(C(' '));
  if (i == std::basic_string_view<C>::npos) {
    if (!s.empty()) tk_trace(1, "Special processing for all-spaces-string");
    return {};
  }
  return std::basic_string<C>(s.substr(0, i + 1));
}

}  // namespace

std::string tk_trim_left(std::string_view text) { return trim_left(text); }
std::wstring tk_trim_left(std::wstring_view text) { return trim_left(text); }
std::string tk_trim_right(std::string_view text) { return trim_right(text); }
std::wstring tk_trim_right(std::wstring_view text) { return trim_right(text); }
std::string tk_trim(std::string_view text) { return trim_right<char>(trim_left(text)); }
std::wstring tk_trim(std::wstring_view text) { return trim_right<wchar_t>(trim_left(text)); }

// ---- Comparison ------------------------------------------------------------

int tk_compare_nocase(std::string_view a, std::string_view b) {
  return kernel::compare_nocase(tk_from_ansi(a), tk_from_ansi(b));
}

int tk_wcompare_nocase(std::wstring_view a, std::wstring_view b) { return kernel::compare_nocase(a, b); }
std::string tk_wnocase_key(std::wstring_view text) { return kernel::nocase_key(text); }

// ---- Splitting -------------------------------------------------------------

std::vector<std::string> tk_split(std::string_view text, char delimiter) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  std::size_t start = 0;
  for (;;) {
    std::size_t at = text.find(delimiter, start);
    if (at == std::string_view::npos) {
      pieces.emplace_back(text.substr(start));
      return pieces;
    }
    pieces.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
}

// ---- Number text -----------------------------------------------------------

std::string tk_format(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::string out = kernel::vformat(format, ap);
  va_end(ap);
  return out;
}

std::wstring tk_wformat(const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::wstring out = kernel::vformat(format, ap);
  va_end(ap);
  return out;
}

std::string tk_format_double_e(double value, int precision) { return kernel::format_exponent(value, precision); }

double tk_strtod(const char* text, char** end) { return kernel::strtod_c(text, end); }
double tk_wcstod(const wchar_t* text, wchar_t** end) { return kernel::wcstod_c(text, end); }

// ---- Program path ----------------------------------------------------------

std::string tk_get_module_path() {
  auto path = kernel::module_path();
  if (!path) throw tk_mail_assertion("tk_utils", 113);
  return *path;
}

std::wstring tk_get_module_wpath() {
  auto path = kernel::module_path();
  if (!path) throw tk_mail_assertion("tk_utils", 126);
  return tk_from_ansi(*path);
}

std::string tk_get_module_folder() {
  auto parts = kernel::split_path(tk_get_module_path());
  return parts.drive + parts.dir;
}

// ---- Working directory -----------------------------------------------------

tk_cur_dir::tk_cur_dir(const std::string& folder) {
  auto saved = kernel::current_directory();
  if (!saved) return;
  saved_ = *saved;
  changed_ = kernel::set_current_directory(folder.empty() ? tk_get_module_folder() : folder);
}

tk_cur_dir::~tk_cur_dir() {
  if (changed_) kernel::set_current_directory(saved_);
}

// ---- File and folder tests -------------------------------------------------

bool tk_is_file_exist(const char* path, int access) {
  if (!path) return false;
  tk_trace(2, "tk_is_file_exist(%s)", path);
  // Non-blocking, so that a named pipe cannot hold us up.
  int fd = ::open(path, (access == 1 ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  bool ok = false;
  if (fd >= 0) {
    struct stat st {};
    ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    if (!ok) kernel::set_last_error(ERROR_ACCESS_DENIED);
    ::close(fd);
  } else {
    kernel::set_last_error_from_errno(errno);
  }
  if (!ok) tk_trace(2, "File not exists!");
  return ok;
}

bool tk_is_file_exist(const wchar_t* path, int access) {
  if (!path) return false;
  std::string narrow;
  if (!tk_to_ansi_exact(path, narrow)) {
    kernel::set_last_error_from_errno(EILSEQ);
    return false;
  }
  return tk_is_file_exist(narrow.c_str(), access);
}

bool tk_is_path_exist(const wchar_t* path) {
  if (!path) return false;
  tk_wtrace(2, L"tk_is_path_exist(%s)", path);
  std::string folder;
  if (!tk_to_ansi(path, folder)) return false;
  tk_cur_dir dir(folder);
  return dir.is_changed();
}

bool tk_is_path_exist(const char* path) {
  if (!path) return false;
  tk_trace(1, "tk_is_path_exist(%s)", path);
  tk_cur_dir dir(path);
  return dir.is_changed();
}

// ---- Clipboard, component versions, bug report -------------------------------

void tk_copy_to_clipboard(const std::wstring& text) {
  tk_wtrace(2, L"tk_copy_to_clipboard2(%s)", text.c_str());
  if (kernel::set_clipboard_text(text)) {
    tk_trace(2, "OpenClipboard succeeded");
  } else {
    tk_trace(2, "GetLastError() returns %08X", kernel::get_last_error());
  }
}

DWORD get_dll_version(const wchar_t* dll_name) {
  auto version = dll_name ? kernel::dll_version(dll_name) : std::nullopt;
  if (!version) {
    tk_trace(2, "get_dll_version failed to load DLL");
    return 0;
  }
  return *version;
}

const char tk_service_address[] = "support@veltrask.com";

void tk_send_bug(const char* title, const char* text) {
  title = title ? title : "";
  text = text ? text : "";
  tk_trace(2, "tk_send_bug(%s|%s)", title, text);
  kernel::mail_message message;
  message.to = std::string("mailto:") + tk_service_address;
  message.subject = tk_to_utf8(tk_from_ansi(std::string("Bug report on ") + title));
  message.body = tk_to_utf8(tk_from_ansi(std::string_view(text)));
  tk_cur_dir keep(".");
  auto transport = kernel::find_mail_transport();
  if (!transport) {
    tk_trace(2, "Failed to locate MAPI32.DLL");
    return;
  }
  int result = kernel::send_mail(*transport, message);
  tk_trace(2, "lpfnMAPISendMail returns %d", result);
}

bool tk_ends_with(std::wstring_view text, std::wstring_view suffix, bool exact) {
  if (suffix.empty()) return true;
  if (text.size() < suffix.size()) return false;
  std::wstring_view tail = text.substr(text.size() - suffix.size());
  return exact ? tail == suffix : tk_wcompare_nocase(tail, suffix) == 0;
}
