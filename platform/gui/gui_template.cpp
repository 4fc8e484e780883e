#include "platform/gui/gui_template.h"

#include "platform/gui/gui_types.h"

namespace gui {
namespace {

using K = ctrl_kind;
constexpr int S = IDC_STATIC;

// Interior wizard pages are 300 x 140 dialog units below the header; exterior pages
// (welcome, finish) are 210 x 185 beside the watermark.

// Connecting dialog of the SQL Server wizard.
constexpr control_template c101[] = {
    {1301, K::icon, L"animation", 10, 10, 21, 20},
    {S, K::static_text, L"Connecting to MS SQL server. Please wait...", 40, 16, 150, 10},
};

// Dump-file options.
constexpr control_template c102[] = {
    {S, K::static_text, L"On this page you can specify how to format output MySQL dump file.", 10, 4, 280, 10},
    {S, K::group_box, L" MySQL server version: ", 10, 18, 135, 46},
    {1329, K::radio_plain, L"n&ew (4.1 or higher)", 18, 31, 120, 10, CS_GROUP},
    {1330, K::radio_plain, L"&old (before 4.1)", 18, 46, 120, 10},
    {S, K::group_box, L" Line breaks: ", 155, 18, 135, 46},
    {1331, K::radio_plain, L"MS &Windows style (\\r\\n)", 163, 31, 120, 10, CS_GROUP},
    {1332, K::radio_plain, L"Uni&x style (\\n)", 163, 46, 120, 10},
    {1202, K::check_plain, L"&Add lock for write around 'INSERT' statements", 14, 74, 270, 10},
    {1203, K::check_plain, L"Insert 'CREATE &DATABASE' statement", 14, 89, 270, 10},
    {1204, K::check_plain, L"Insert 'CREATE &TABLE' statements", 14, 104, 270, 10},
    {1205, K::check_plain, L"Insert &comments", 14, 119, 270, 10},
};

// Welcome page of the MySQL wizard.
constexpr control_template c103[] = {
    {1337, K::title_text, L"Welcome to the Database\nConversion Wizard\n", 8, 8, 195, 34},
    {S, K::static_text, L"This wizard helps you convert MS Excel spreadsheet into", 8, 48, 200, 10},
    {S, K::static_text, L"MySQL database. Click 'Next' to continue.", 8, 58, 200, 10},
    {S, K::static_text, L"WARNING: conversion productivity strongly depends", 8, 76, 200, 10},
    {S, K::static_text, L"on amount of available memory. It is recommended that", 8, 86, 200, 10},
    {S, K::static_text, L"you exit all programs before continue with the wizard.", 8, 96, 200, 10},
    {S, K::static_text, L"&Source:", 8, 118, 50, 10},
    {1302, K::combo_list, L"", 62, 116, 140, 60},
    {S, K::static_text, L"&Destination:", 8, 136, 50, 10},
    {1303, K::combo_list, L"", 62, 134, 140, 60},
    {1115, K::button, L"&Load Settings", 132, 160, 70, 14},
};

// Welcome page of the SQL Server wizard.
constexpr control_template c103_dunmere[] = {
    {1337, K::title_text, L"Welcome to the Database\nConversion Wizard\n", 8, 8, 195, 34},
    {S, K::static_text, L"This wizard helps you convert MS Excel spreadsheet into", 8, 48, 200, 10},
    {S, K::static_text, L"MS SQL database. Click 'Next' to continue.", 8, 58, 200, 10},
    {S, K::group_box, L" Source: ", 8, 80, 194, 46},
    {1329, K::radio_plain, L"MS &Excel spreadsheet", 16, 93, 170, 10, CS_GROUP},
    {1330, K::radio_plain, L"&CSV file", 16, 108, 170, 10},
    {1115, K::button, L"&Load Settings", 132, 160, 70, 14},
};

// Source file, destination and options.
constexpr control_template c105[] = {
    {1307, K::static_text, L"", 10, 4, 280, 20},
    {1333, K::static_text, L"MS &Excel spreadsheet name:", 10, 28, 220, 10},
    {1003, K::edit, L"", 10, 39, 220, 13},
    {1107, K::button, L"Browse...", 236, 38, 54, 14},
    {1311, K::static_text, L"MySQL &database name:", 10, 57, 220, 10},
    {1004, K::edit, L"", 10, 68, 220, 13},
    {1104, K::button, L"Browse...", 236, 67, 54, 14},
    {1222, K::check_plain, L"E&xtract field names from the first row", 10, 90, 200, 10},
    {1204, K::check_plain, L"&Skip empty rows", 10, 105, 200, 10},
    {1203, K::check_plain, L"&Refine type conversion", 10, 120, 200, 10},
    {1310, K::static_text, L"MySQL &table name:", 10, 88, 220, 10},
    {1005, K::edit, L"", 10, 99, 220, 13},
};

constexpr control_template c105_dunmere[] = {
    {1307, K::static_text, L"", 10, 4, 280, 20},
    {1333, K::static_text, L"MS &Excel spreadsheet name:", 10, 28, 220, 10},
    {1003, K::edit, L"", 10, 39, 220, 13},
    {1107, K::button, L"Browse...", 236, 38, 54, 14},
    {1311, K::static_text, L"&MS SQL database name:", 10, 57, 220, 10},
    {1004, K::edit, L"", 10, 68, 220, 13},
    {1222, K::check_plain, L"E&xtract field names from the first row", 10, 90, 200, 10},
    {1203, K::check_plain, L"&Refine type conversion", 10, 105, 200, 10},
    {1310, K::static_text, L"MS SQL &table name:", 10, 88, 220, 10},
    {1005, K::edit, L"", 10, 99, 220, 13},
};

// CSV delimiter.
constexpr control_template c107[] = {
    {S, K::static_text, L"On this page you can specify how to interpret your CSV file.", 10, 4, 280, 10},
    {S, K::group_box, L" Select the delimiter that separates your fields: ", 10, 18, 280, 60},
    {1329, K::radio_auto, L"Tab", 20, 32, 100, 10, CS_GROUP},
    {1330, K::radio_auto, L"Semicolon", 20, 46, 100, 10},
    {1331, K::radio_auto, L"Comma", 150, 32, 100, 10},
    {1332, K::radio_auto, L"Space", 150, 46, 100, 10},
    {1222, K::check_plain, L"&Extract field names from the first row", 14, 90, 260, 10},
    {1203, K::check_plain, L"&Refine type conversion", 14, 105, 260, 10},
};

// Progress.
constexpr control_template c108[] = {
    {S, K::static_text, L"Database conversion is in progress. Please wait until wizard completes", 10, 8, 280, 10},
    {1324, K::static_text, L"converting your MS Excel spreadsheet into MySQL data source.", 10, 18, 280, 10},
    {1325, K::static_text, L"converting your CSV file into MySQL data source.", 10, 18, 280, 10},
    {1323, K::static_text, L"", 10, 50, 280, 10},
    {1321, K::progress, L"", 10, 64, 280, 12},
};

// The SQL Server wizard names its destination.
constexpr control_template c108_dunmere[] = {
    {S, K::static_text, L"Database conversion is in progress. Please wait until wizard completes", 10, 8, 280, 10},
    {1324, K::static_text, L"converting your MS Excel spreadsheet into MS SQL database.", 10, 18, 280, 10},
    {1325, K::static_text, L"converting your CSV file into MS SQL database.", 10, 18, 280, 10},
    {1323, K::static_text, L"", 10, 50, 280, 10},
    {1321, K::progress, L"", 10, 64, 280, 12},
};

// Internal error.
constexpr control_template c114[] = {
    {S, K::icon, L"error", 10, 10, 21, 20},
    {1320, K::static_text, L"", 40, 10, 220, 60},
    {1112, K::default_button, L"Send bug", 40, 78, 60, 14},
    {1108, K::button, L"Copy to clipboard", 106, 78, 84, 14},
    {IDOK, K::button, L"OK", 196, 78, 60, 14},
};

// Error that the user may continue after.
constexpr control_template c115[] = {
    {S, K::icon, L"error", 10, 10, 21, 20},
    {1320, K::static_text, L"", 40, 10, 220, 60},
    {1222, K::check_plain, L"&Do not show this dialog box again", 40, 76, 220, 10},
    {IDCANCEL, K::default_button, L"Continue", 130, 94, 60, 14},
    {IDOK, K::button, L"Abort", 196, 94, 60, 14},
};

// Finish.
constexpr control_template c116[] = {
    {1313, K::title_text, L"Conversion is Completed", 8, 8, 195, 24},
    {1314, K::static_text, L"", 8, 40, 195, 44},
    {1016, K::edit_multiline, L"", 8, 88, 195, 66, CS_HIDDEN},
    {1116, K::button, L"&Save Settings", 132, 162, 70, 14},
};

// SQL Server connection page.
constexpr control_template c118[] = {
    {S, K::static_text, L"Provide necessary information to establish MS SQL server connection.", 10, 4, 280, 10},
    {S, K::static_text, L"MS &SQL Server:", 10, 20, 70, 10},
    {1014, K::edit, L"", 84, 18, 150, 13},
    {S, K::static_text, L"Leave 'MS SQL Server' field empty to connect to local server.", 84, 33, 206, 10},
    {S, K::group_box, L" Connect using: ", 10, 46, 280, 74},
    {1329, K::radio_plain, L"&Windows authentication", 18, 58, 200, 10, CS_GROUP},
    {1330, K::radio_plain, L"S&QL Server authentication", 18, 72, 200, 10},
    {S, K::static_text, L"&Login name:", 30, 88, 60, 10},
    {1012, K::edit, L"", 94, 86, 120, 13},
    {S, K::static_text, L"&Password:", 30, 104, 60, 10},
    {1013, K::edit_password, L"", 94, 102, 120, 13},
    {1202, K::check_plain, L"&Connect as database owner", 10, 126, 200, 10},
};

// Existing table.
constexpr control_template c120[] = {
    {S, K::icon, L"warning", 10, 10, 21, 20},
    {1320, K::static_text, L"", 40, 10, 230, 36},
    {IDCANCEL, K::default_button, L"Cancel", 40, 54, 54, 14},
    {IDOK, K::button, L"&Overwrite", 98, 54, 54, 14},
    {1109, K::button, L"&Merge", 156, 54, 54, 14},
    {IDHELP, K::button, L"Help", 214, 54, 54, 14},
};

// Existing database.
constexpr control_template c121[] = {
    {S, K::icon, L"warning", 10, 10, 21, 20},
    {1320, K::static_text, L"", 40, 10, 230, 30},
    {1329, K::radio_auto, L"&Overwrite the entire database", 40, 44, 200, 10, CS_GROUP},
    {1330, K::radio_auto, L"Overwrite existing &tables only", 40, 57, 200, 10},
    {1331, K::radio_auto, L"&Skip existing tables", 40, 70, 200, 10},
    {1332, K::radio_auto, L"&Merge", 40, 83, 200, 10},
    {IDOK, K::default_button, L"OK", 98, 100, 54, 14},
    {IDCANCEL, K::button, L"Cancel", 156, 100, 54, 14},
    {IDHELP, K::button, L"Help", 214, 100, 54, 14},
};

// MySQL connection page.
constexpr control_template c123[] = {
    {S, K::static_text, L"Provide necessary information to establish connection with MySQL server.", 10, 2, 280, 10},
    {S, K::group_box, L" Access mode ", 10, 14, 85, 44},
    {1329, K::radio_auto, L"&Local", 18, 27, 70, 10, CS_GROUP},
    {1330, K::radio_auto, L"&Remote", 18, 42, 70, 10},
    {S, K::group_box, L" Authorization settings ", 102, 14, 188, 44},
    {S, K::static_text, L"&User name:", 110, 27, 60, 10},
    {1012, K::edit, L"", 172, 25, 110, 13},
    {S, K::static_text, L"User pa&ssword:", 110, 42, 60, 10},
    {1013, K::edit_password, L"", 172, 40, 110, 13},
    {S, K::group_box, L" Remote settings ", 10, 64, 280, 72},
    {S, K::static_text, L"H&ost:", 18, 78, 60, 10},
    {1014, K::edit, L"", 80, 76, 120, 13},
    {S, K::static_text, L"(it could be network name or IP address)", 80, 91, 200, 10},
    {S, K::static_text, L"&Port number:", 18, 106, 60, 10},
    {1015, K::edit, L"", 80, 104, 50, 13},
    {S, K::static_text, L"(default MySQL port is 3306)", 80, 119, 200, 10},
};

// Worksheet selection.
constexpr control_template c127[] = {
    {1337, K::static_text, L"", 10, 2, 280, 10},
    {1334, K::static_text, L"&Available worksheets:", 10, 16, 110, 10},
    {1317, K::list_sorted, L"", 10, 27, 110, 108, CS_HSCROLL},
    {1101, K::button, L"A&dd >", 126, 30, 48, 14},
    {1102, K::button, L"Add a&ll >", 126, 48, 48, 14},
    {1111, K::button, L"< &Remove", 126, 72, 48, 14},
    {1110, K::button, L"< Re&move all", 126, 90, 48, 14},
    {1114, K::button, L"&Add Query", 126, 118, 48, 14},
    {1312, K::static_text, L"&Selected worksheets:", 180, 16, 110, 10},
    {1318, K::list_sorted, L"", 180, 27, 110, 108, CS_HSCROLL},
};

// Add Query.
constexpr control_template c128[] = {
    {S, K::static_text, L"Store as Table:", 8, 8, 60, 10},
    {1019, K::edit, L"", 70, 6, 180, 13},
    {S, K::static_text, L"Query:", 8, 24, 60, 10},
    {1020, K::edit_multiline, L"", 8, 35, 242, 80},
    {IDOK, K::default_button, L"OK", 8, 122, 56, 14},
    {IDCANCEL, K::button, L"Cancel", 70, 122, 56, 14},
    {129, K::button, L"Test Query", 132, 122, 56, 14},
    {IDHELP, K::button, L"Help", 194, 122, 56, 14},
};

constexpr dialog_template templates[] = {
    {101, L"", 200, 46, c101},
    {102, L"", 300, 140, c102},
    {103, L"", 210, 185, c103},
    {105, L"", 300, 140, c105},
    {107, L"", 300, 140, c107},
    {108, L"", 300, 140, c108},
    {114, L"Error", 266, 100, c114},
    {115, L"Error", 266, 116, c115},
    {116, L"", 210, 185, c116},
    {118, L"", 300, 140, c118},
    {120, L"Warning", 278, 76, c120},
    {121, L"Warning", 278, 122, c121},
    {123, L"", 300, 140, c123},
    {127, L"", 300, 140, c127},
    {128, L"Add Query", 258, 144, c128},
};

constexpr dialog_template dunmere_templates[] = {
    {103, L"", 210, 185, c103_dunmere},
    {105, L"", 300, 140, c105_dunmere},
    {108, L"", 300, 140, c108_dunmere},
};

constexpr int orvell_ids[] = {102, 103, 105, 107, 108, 114, 115, 116, 120, 121, 123, 127, 128};
constexpr int dunmere_ids[] = {101, 103, 105, 107, 108, 114, 115, 116, 118, 120, 121, 127, 128};

}  // namespace

const dialog_template* find_template(int id, resource_set set) {
  if (set == resource_set::dunmere) {
    for (const auto& t : dunmere_templates)
      if (t.id == id) return &t;
  }
  for (const auto& t : templates)
    if (t.id == id) return &t;
  return nullptr;
}

std::span<const int> template_ids(resource_set set) {
  if (set == resource_set::dunmere) return dunmere_ids;
  return orvell_ids;
}

}  // namespace gui
