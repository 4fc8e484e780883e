// The languages of the test server, as sys.syslanguages lists them: each
// with its name, alias, date order and month names. A session's language
// decides how text is read as a date (SET LANGUAGE sets the date order; SET
// DATEFORMAT overrides it) and which month names a date may spell out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tds {

enum class date_order : uint8_t { mdy, dmy, ymd, ydm, myd, dym };

struct language {
  int langid;
  const char* name;         // UTF-8, as @@LANGUAGE reports it
  const char* alias;
  date_order order;
  const char* months;       // comma-separated, January first
  const char* short_months;
};

// By name or alias, without regard to case; null when there is none.
const language* find_language(std::string_view name_or_alias);
const language& us_english();

// "mdy" ... "dym" (any case); nullopt for anything else.
std::optional<date_order> parse_date_order(std::string_view text);

// The month (1-12) a word names in the language (full or short form, any
// case); 0 when none.
int month_named(const language& lang, std::string_view word_utf8);

// Message 5703 for a change to this language, in its own words where SQL
// Server has them.
std::string language_changed_text(const language& lang);

}  // namespace tds
