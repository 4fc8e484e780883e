// What the file pages of both wizards do alike: choosing the source file, checking
// that a workbook opens, and showing an error of the system's family.
#pragma once

#include "platform/gui/gui_types.h"

#include <optional>
#include <string>

class tk_exception;

// A file-dialog filter of NUL-separated pairs written as one literal (its closing NUL included).
template <size_t N>
std::wstring nul_list(const wchar_t (&text)[N]) {
  return std::wstring(text, N);
}

// The open-file dialog "Select data source to convert" for a workbook (xls true) or
// a CSV file, starting at current; the chosen path, or nothing when cancelled.
std::optional<std::wstring> browse_source_file(gui::hwnd owner, bool xls, const std::wstring& current);

// Whether the workbook at path opens (the newest data-access engine, else 3.6); a
// failure is shown in the wizard's error box and gives false. A workbook that cannot
// be read shows unreadable, when given, with the reader's reason after it; else the
// reason alone.
bool check_workbook(const std::wstring& path, bool x_fnames, const std::wstring& unreadable = {});

// The error's text from the error reporter's code tables, else its own, in the
// wizard's error box.
void show_wizard_error(const tk_exception& e);
