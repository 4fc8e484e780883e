// Constants of the user-interface layer. The wizard code addresses dialogs, controls,
// sheet buttons, notifications and message-box flags by these numbers, so they keep
// the values the wizard's code was written against.
#pragma once

class wxWindow;

namespace gui {

// An owner window as the wizard code passes it around (nullptr: no owner).
using hwnd = wxWindow*;

// Dialog results and command identifiers of standard buttons.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
inline constexpr int IDHELP = 9;
inline constexpr int IDC_STATIC = -1;

// Buttons of the wizard sheet itself.
inline constexpr int ID_PSBACK = 0x3023;
inline constexpr int ID_PSNEXT = 0x3024;
inline constexpr int ID_WIZFINISH = 0x3025;

// Wizard-button flags (set_wizard_buttons).
inline constexpr int PSWIZB_BACK = 0x1;
inline constexpr int PSWIZB_NEXT = 0x2;
inline constexpr int PSWIZB_FINISH = 0x4;
inline constexpr int PSWIZB_DISABLEDFINISH = 0x8;

// Notifications the sheet sends to its pages, and what their results mean:
// set-active 0 shows the page, -1 skips it in the direction of travel; kill-active
// non-zero keeps the page; wizard-back/next 0 moves to the neighbour, -1 stays, a
// dialog id jumps to that page; wizard-finish and query-cancel non-zero stay.
inline constexpr int PSN_SETACTIVE = -200;
inline constexpr int PSN_KILLACTIVE = -201;
inline constexpr int PSN_APPLY = -202;
inline constexpr int PSN_RESET = -203;
inline constexpr int PSN_HELP = -205;
inline constexpr int PSN_WIZBACK = -206;
inline constexpr int PSN_WIZNEXT = -207;
inline constexpr int PSN_WIZFINISH = -208;
inline constexpr int PSN_QUERYCANCEL = -209;
inline constexpr int PSN_TRANSLATEACCELERATOR = -212;
inline constexpr int PSN_QUERYINITIALFOCUS = -213;

// Control notification codes delivered with a command.
inline constexpr int BN_CLICKED = 0;
inline constexpr int CBN_SELCHANGE = 1;
inline constexpr int LBN_SELCHANGE = 1;
inline constexpr int LBN_DBLCLK = 2;
inline constexpr int EN_SETFOCUS = 0x100;
inline constexpr int EN_KILLFOCUS = 0x200;
inline constexpr int EN_CHANGE = 0x300;

// Message-box flags.
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;

// The common-controls version the wizard asks for (major in the high word).
inline constexpr unsigned COMCTL_VERSION_580 = 0x50050;

}  // namespace gui
