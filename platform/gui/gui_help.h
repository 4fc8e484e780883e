// Help: an HTML help book (.htb, a zip of pages with its project file and topic map)
// shown in the toolkit's help viewer.
#pragma once

#include <string>

namespace gui {

// Opens book at a numeric topic (-1: the book's default page). Returns false when the
// book cannot be read or has no such topic. With a test script installed the request
// goes to the script instead.
bool help_display(const std::wstring& book, int topic = -1);
// The page (its location inside the book) a topic opens; empty when there is none.
std::wstring help_page(const std::wstring& book, int topic);
// Closes the viewer (before the toolkit stops).
void help_close();

}  // namespace gui
