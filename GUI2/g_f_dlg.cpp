#include "GUI2/g_f_dlg.h"

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_fname.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "platform/gui/gui_app.h"

#include <cstdlib>

std::vector<gui::file_filter> parse_file_filter(std::wstring_view filter) {
  std::vector<gui::file_filter> out;
  auto next = [&filter]() -> std::wstring_view {
    size_t end = filter.find(L'\0');
    std::wstring_view part = filter.substr(0, end);
    filter = end == std::wstring_view::npos ? std::wstring_view() : filter.substr(end + 1);
    return part;
  };
  for (;;) {
    std::wstring_view description = next();
    if (description.empty()) break;
    std::wstring_view pattern = next();
    out.push_back({std::wstring(description), std::wstring(pattern.empty() ? L"*.*" : pattern)});
  }
  return out;
}

file_dialog::file_dialog(gui::hwnd owner, const file_dialog_param& param, const std::wstring& initial_path)
    : owner_(owner), filters_(parse_file_filter(param.filter)), title_(param.title) {
  tk_file_wname path(initial_path);
  file_name_ = path.get_fname() + path.get_ext();
  folder_ = path.get_folder();
}

bool file_dialog::run(bool save) {
  std::string folder;
  if (!tk_to_ansi(folder_.c_str(), folder)) return false;
  tk_cur_dir in_folder(folder);
  gui::file_request request;
  request.owner = owner_;
  request.save = save;
  request.title = title_;
  request.filters = filters_;
  request.folder = folder_;
  request.name = file_name_;
  request.must_exist = !save;
  std::optional<std::wstring> chosen = gui::file_dialog(request);
  if (!chosen) return false;
  file_name_ = *chosen;
  return true;
}

bool open_file_dialog::show() { return run(false); }

save_file_dialog::save_file_dialog(gui::hwnd owner, const file_dialog_param& param,
                                   const std::wstring& initial_path, const wchar_t* ext)
    : file_dialog(owner, param, initial_path) {
  if (!ext) throw tk_mail_assertion("g_f_dlg", 111);
  default_ext_ = ext[0] == L'.' ? std::wstring(ext) : L"." + std::wstring(ext);
}

bool save_file_dialog::show() {
  if (!run(true)) return false;
  if (file_name_.find(default_ext_) == std::wstring::npos) file_name_ += default_ext_;
  return true;
}

void common_check_dest(const std::wstring& path) {
  tk_wtrace(1, L"common_check_dest(%s)", path.c_str());
  if (tk_is_path_exist(path.c_str()))
    throw tk_exception("Destination name should specify a file, not folder.", 1);
  if (tk_is_file_exist(path.c_str(), 0) && !tk_is_file_exist(path.c_str(), 1))
    throw tk_exception("Destination name specifies an existing read-only file.", 1);
  const std::wstring folder = tk_file_wname(path).get_folder();
  if (!folder.empty() && !tk_is_path_exist(folder.c_str()))
    throw tk_exception("Destination path does not exist.\nPlease verify the correct path was given.", 1);
}

void init_common_controls() {
  const DWORD version = get_dll_version(L"comctl32.dll");
  tk_trace(1, "comctl32.dll version=%X", static_cast<unsigned>(version));
  if (version >= 0x50050) return;
  if (!gui::started()) {
    // No display: nothing can be shown at all. Say so, with the toolkit's reason.
    const std::string reason = gui::start_error();
    wizard_shell::error(L"No display could be opened" + (reason.empty() ? std::wstring(L".") : L": " + tk_from_utf8(reason)));
    std::exit(-1);
  }
  wizard_shell::error(std::wstring(
      L"Incorrect version of comctl32.dll. Microsoft Internet Explorer 5\nor later is required to proceed "
      L"with the application."));
  std::exit(-1);
}
