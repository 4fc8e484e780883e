#include "TK/tk_fname.h"

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "platform/kernel/path.h"

namespace {

template <class C>
std::basic_string<C> with_dot(const std::basic_string<C>& ext) {
  if (ext.empty() || ext[0] == C('.')) return ext;
  return C('.') + ext;
}

}  // namespace

template <class C>
void tk_file_name_base<C>::set_ext(const string_type& ext) {
  ext_ = with_dot(ext);
}

template <class C>
void tk_file_name_base<C>::assign(const string_type& path) {
  auto parts = kernel::split_path(std::basic_string_view<C>(path));
  drive_ = parts.drive;
  dir_ = parts.dir;
  fname_ = parts.fname;
  ext_ = parts.ext;
}

template class tk_file_name_base<char>;
template class tk_file_name_base<wchar_t>;

tk_file_name::tk_file_name(const char* path) {
  if (!path) throw tk_mail_assertion("tk_fname", 28);
  if (!*path) {
    assign(tk_get_module_path());
    fname_.clear();
    ext_.clear();
    return;
  }
  auto full = kernel::full_path(path);
  if (!full) throw tk_mail_assertion("tk_fname", 36);
  assign(*full);
}

tk_file_wname::tk_file_wname(const wchar_t* path) {
  if (!path) throw tk_mail_assertion("tk_fname", 75);
  tk_wtrace(2, L"tk_file_wname::initialize(%s)", path);
  if (!*path) {
    assign(tk_get_module_wpath());
    fname_.clear();
    ext_.clear();
    return;
  }
  auto full = kernel::full_path(tk_to_ansi(path));
  if (!full) throw tk_mail_assertion("tk_fname", 83);
  assign(tk_from_ansi(*full));
}

std::wstring tk_make_file_wname(const std::wstring& file_name, const std::wstring& ext,
                                const std::wstring& reference_path, bool keep) {
  if (keep) return file_name;
  std::wstring folder;
  if (kernel::is_absolute_path(std::wstring_view(reference_path))) {
    auto parts = kernel::split_path(std::wstring_view(reference_path));
    folder = parts.drive + parts.dir;
  } else {
    folder = tk_from_ansi(tk_get_module_folder());
  }
  return folder + file_name + with_dot(ext);
}
