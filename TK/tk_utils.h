// Toolkit utilities: text conversion, trimming, comparison without regard to
// case, splitting, the program's own path, the working directory keeper, file
// and folder tests, the clipboard, DLL versions and the bug report mail.
//
// Narrow text is in the system's ANSI code page unless a name says UTF-8
// (CP_ACP; see platform/kernel/codepage.h). Wide text is std::wstring.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel/kernel_types.h"

// ---- Text conversion -------------------------------------------------------

// Wide to the system's ANSI code page ('?' for what it cannot hold). The holder
// receives the text; false for a null input.
bool tk_to_ansi(const wchar_t* text, std::string& holder);
std::string tk_to_ansi(std::wstring_view text);
// Wide to the system's ANSI code page, only when the code page holds every
// character: false (holder untouched) where tk_to_ansi would put a '?', so that
// a file name never turns into the name of another file.
// A name widened by tk_from_path narrows back to the bytes it was given as.
bool tk_to_ansi_exact(std::wstring_view text, std::string& holder);
// A file name as given (bytes, as on a command line) to wide in the thread's
// ANSI code page, and back to the same bytes: a byte that is no part of a
// character is kept (see kernel::path_to_wide), not made U+FFFD.
std::wstring tk_from_path(std::string_view bytes);
std::string tk_to_path(std::wstring_view name);
// The system's ANSI code page to wide (U+FFFD for invalid bytes); false for a null input.
bool tk_from_ansi(const char* text, std::wstring& holder);
std::wstring tk_from_ansi(std::string_view text);
// Releases a holder's text.
void tk_free_buffer(std::string& holder);
void tk_free_buffer(std::wstring& holder);

// Wide to a given code page (CP_THREAD_ACP for the calling thread's) into the
// caller's buffer of size bytes, always terminated; a text that does not fit is
// cut at a character boundary. Null when a pointer is null, the size is 0 or
// the code page is unknown.
char* tk_to_narrow(const wchar_t* text, char* buffer, std::size_t size, UINT code_page);
std::string tk_to_narrow(std::wstring_view text, UINT code_page);
std::wstring tk_from_narrow(std::string_view text, UINT code_page);

std::string tk_to_utf8(std::wstring_view text);
std::wstring tk_from_utf8(std::string_view text);

// Two upper-case hexadecimal digits per byte and a terminating zero, into a
// buffer of 2 * count + 1 characters; a null buffer is an internal error.
void tk_bin_to_hex(const void* bytes, std::size_t count, char* buffer);
std::string tk_bin_to_hex(const void* bytes, std::size_t count);

// ---- Trimming (only the blank ' ' counts) ----------------------------------

std::string tk_trim_left(std::string_view text);
std::wstring tk_trim_left(std::wstring_view text);
std::string tk_trim_right(std::string_view text);
std::wstring tk_trim_right(std::wstring_view text);
std::string tk_trim(std::string_view text);
std::wstring tk_trim(std::wstring_view text);

// ---- Comparison without regard to case, by the user's locale: -1, 0 or 1 ----

int tk_compare_nocase(std::string_view a, std::string_view b);
int tk_wcompare_nocase(std::wstring_view a, std::wstring_view b);
// The text ends with the suffix: exactly, or ignoring case when exact is
// false. An empty suffix always matches.
bool tk_ends_with(std::wstring_view text, std::wstring_view suffix, bool exact);
// A key under tk_wcompare_nocase: equal keys exactly for texts that compare equal.
std::string tk_wnocase_key(std::wstring_view text);

// ---- Splitting -------------------------------------------------------------

// The pieces between delimiters, empty ones kept; an empty text gives none.
std::vector<std::string> tk_split(std::string_view text, char delimiter);

// ---- Number text in the C locale -------------------------------------------

// printf into a string, in the C library dialect (platform/kernel/crt_format.h):
// "%I64d", three-digit exponents, '.' as the decimal point whatever the locale.
std::string tk_format(const char* format, ...);
std::wstring tk_wformat(const wchar_t* format, ...);
// A double as the dialect's "%.15e" prints it: 1.5 gives "1.500000000000000e+000".
std::string tk_format_double_e(double value, int precision = 15);
// strtod / wcstod in the C locale.
double tk_strtod(const char* text, char** end = nullptr);
double tk_wcstod(const wchar_t* text, wchar_t** end = nullptr);

// ---- Program path ----------------------------------------------------------

// The full path of the running program; an internal error when it cannot be read.
std::string tk_get_module_path();
std::wstring tk_get_module_wpath();
// The folder of the program's path, with its trailing separator.
std::string tk_get_module_folder();

// ---- Working directory -----------------------------------------------------

// Changes the process to a folder (empty: the program's folder) and back again
// when it goes out of scope.
class tk_cur_dir {
 public:
  explicit tk_cur_dir(const std::string& folder);
  ~tk_cur_dir();
  tk_cur_dir(const tk_cur_dir&) = delete;
  tk_cur_dir& operator=(const tk_cur_dir&) = delete;

  // False when the current folder could not be read or the change failed.
  bool is_changed() const { return changed_; }

 private:
  bool changed_ = false;
  std::string saved_;
};

// ---- File and folder tests -------------------------------------------------

// True when the file exists and opens for reading (for reading and writing
// when access is 1). A folder is no file, nor a wide name that the ANSI code
// page cannot hold.
bool tk_is_file_exist(const char* path, int access = 0);
bool tk_is_file_exist(const wchar_t* path, int access = 0);
// True when the folder exists and can be entered.
bool tk_is_path_exist(const wchar_t* path);
bool tk_is_path_exist(const char* path);

// ---- Clipboard, component versions, bug report -------------------------------

// Puts the text on the clipboard; a clipboard that cannot be opened is logged
// and passed over.
void tk_copy_to_clipboard(const std::wstring& text);

// The component's major version in the high word and minor in the low word;
// 0 when it is not there.
DWORD get_dll_version(const wchar_t* dll_name);

// The maker's service address: bug reports go there, and messages name it.
extern const char tk_service_address[];

// Mails a bug report on the title (subject "Bug report on " + title) with the
// text, without a dialog. Without a mail transport it is logged and passed over.
void tk_send_bug(const char* title, const char* text);
