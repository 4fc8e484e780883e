// The languages of the test server (a part of SQL Server's sys.syslanguages).
#include "tests/support/tds_server/tds_languages.h"

#include <vector>

#include "tests/support/tds_server/tds_wire.h"

namespace tds {

namespace {

const language languages[] = {
    {0, "us_english", "English", date_order::mdy,
     "January,February,March,April,May,June,July,August,September,October,November,December",
     "Jan,Feb,Mar,Apr,May,Jun,Jul,Aug,Sep,Oct,Nov,Dec"},
    {1, "Deutsch", "German", date_order::dmy,
     "Januar,Februar,M\xC3\xA4rz,April,Mai,Juni,Juli,August,September,Oktober,November,Dezember",
     "Jan,Feb,M\xC3\xA4r,Apr,Mai,Jun,Jul,Aug,Sep,Okt,Nov,Dez"},
    {2, "Fran\xC3\xA7" "ais", "French", date_order::dmy,
     "janvier,f\xC3\xA9vrier,mars,avril,mai,juin,juillet,ao\xC3\xBBt,septembre,octobre,novembre,d\xC3\xA9" "cembre",
     "janv,f\xC3\xA9vr,mars,avr,mai,juin,juil,ao\xC3\xBBt,sept,oct,nov,d\xC3\xA9" "c"},
    {3, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "Japanese", date_order::ymd, "01,02,03,04,05,06,07,08,09,10,11,12",
     "01,02,03,04,05,06,07,08,09,10,11,12"},
    {4, "Dansk", "Danish", date_order::dmy,
     "januar,februar,marts,april,maj,juni,juli,august,september,oktober,november,december",
     "jan,feb,mar,apr,maj,jun,jul,aug,sep,okt,nov,dec"},
    {5, "Espa\xC3\xB1ol", "Spanish", date_order::dmy,
     "Enero,Febrero,Marzo,Abril,Mayo,Junio,Julio,Agosto,Septiembre,Octubre,Noviembre,Diciembre",
     "Ene,Feb,Mar,Abr,May,Jun,Jul,Ago,Sep,Oct,Nov,Dic"},
    {6, "Italiano", "Italian", date_order::dmy,
     "gennaio,febbraio,marzo,aprile,maggio,giugno,luglio,agosto,settembre,ottobre,novembre,dicembre",
     "gen,feb,mar,apr,mag,giu,lug,ago,set,ott,nov,dic"},
    {7, "Nederlands", "Dutch", date_order::dmy,
     "januari,februari,maart,april,mei,juni,juli,augustus,september,oktober,november,december",
     "jan,feb,mrt,apr,mei,jun,jul,aug,sep,okt,nov,dec"},
    {9, "Portugu\xC3\xAAs", "Portuguese", date_order::dmy,
     "janeiro,fevereiro,mar\xC3\xA7o,abril,maio,junho,julho,agosto,setembro,outubro,novembro,dezembro",
     "jan,fev,mar,abr,mai,jun,jul,ago,set,out,nov,dez"},
    {11, "Svenska", "Swedish", date_order::ymd,
     "januari,februari,mars,april,maj,juni,juli,augusti,september,oktober,november,december",
     "jan,feb,mar,apr,maj,jun,jul,aug,sep,okt,nov,dec"},
    {14, "polski", "Polish", date_order::dmy,
     "stycze\xC5\x84,luty,marzec,kwiecie\xC5\x84,maj,czerwiec,lipiec,sierpie\xC5\x84,wrzesie\xC5\x84,pa\xC5\xBA"
     "dziernik,listopad,grudzie\xC5\x84",
     "I,II,III,IV,V,VI,VII,VIII,IX,X,XI,XII"},
    {21, "\xD1\x80\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9", "Russian", date_order::dmy,
     "\xD0\xAF\xD0\xBD\xD0\xB2\xD0\xB0\xD1\x80\xD1\x8C,\xD0\xA4\xD0\xB5\xD0\xB2\xD1\x80\xD0\xB0\xD0\xBB\xD1\x8C,"
     "\xD0\x9C\xD0\xB0\xD1\x80\xD1\x82,\xD0\x90\xD0\xBF\xD1\x80\xD0\xB5\xD0\xBB\xD1\x8C,\xD0\x9C\xD0\xB0\xD0\xB9,"
     "\xD0\x98\xD1\x8E\xD0\xBD\xD1\x8C,\xD0\x98\xD1\x8E\xD0\xBB\xD1\x8C,\xD0\x90\xD0\xB2\xD0\xB3\xD1\x83\xD1\x81"
     "\xD1\x82,\xD0\xA1\xD0\xB5\xD0\xBD\xD1\x82\xD1\x8F\xD0\xB1\xD1\x80\xD1\x8C,\xD0\x9E\xD0\xBA\xD1\x82\xD1\x8F"
     "\xD0\xB1\xD1\x80\xD1\x8C,\xD0\x9D\xD0\xBE\xD1\x8F\xD0\xB1\xD1\x80\xD1\x8C,\xD0\x94\xD0\xB5\xD0\xBA\xD0\xB0"
     "\xD0\xB1\xD1\x80\xD1\x8C",
     "\xD1\x8F\xD0\xBD\xD0\xB2,\xD1\x84\xD0\xB5\xD0\xB2,\xD0\xBC\xD0\xB0\xD1\x80,\xD0\xB0\xD0\xBF\xD1\x80,\xD0\xBC"
     "\xD0\xB0\xD0\xB9,\xD0\xB8\xD1\x8E\xD0\xBD,\xD0\xB8\xD1\x8E\xD0\xBB,\xD0\xB0\xD0\xB2\xD0\xB3,\xD1\x81\xD0\xB5"
     "\xD0\xBD,\xD0\xBE\xD0\xBA\xD1\x82,\xD0\xBD\xD0\xBE\xD1\x8F,\xD0\xB4\xD0\xB5\xD0\xBA"},
    {23, "British", "British English", date_order::dmy,
     "January,February,March,April,May,June,July,August,September,October,November,December",
     "Jan,Feb,Mar,Apr,May,Jun,Jul,Aug,Sep,Oct,Nov,Dec"},
};

// Lower case of a UTF-16 unit for the scripts the month names use.
char16_t lower(char16_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9) ||
      (c >= 0x410 && c <= 0x42F))
    return static_cast<char16_t>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  if (c >= 0x100 && c <= 0x17F && c % 2 == 0 && c != 0x130) return static_cast<char16_t>(c + 1);
  return c;
}

std::u16string folded(std::string_view utf8) {
  const std::string b = utf8_to_utf16(utf8);
  std::u16string out;
  for (std::size_t i = 0; i + 1 < b.size(); i += 2)
    out.push_back(lower(static_cast<char16_t>(static_cast<unsigned char>(b[i]) | (static_cast<unsigned char>(b[i + 1]) << 8))));
  return out;
}

int month_in(std::string_view list, const std::u16string& word) {
  int n = 1;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    const std::string_view name = list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    if (folded(name) == word) return n;
    if (comma == std::string_view::npos) return 0;
    start = comma + 1;
    ++n;
  }
}

}  // namespace

const language* find_language(std::string_view name) {
  const std::u16string k = folded(name);
  for (const auto& l : languages) {
    if (folded(l.name) == k || folded(l.alias) == k) return &l;
  }
  return nullptr;
}

const language& us_english() { return languages[0]; }

std::optional<date_order> parse_date_order(std::string_view text) {
  static const std::pair<const char*, date_order> orders[] = {{"MDY", date_order::mdy}, {"DMY", date_order::dmy},
                                                               {"YMD", date_order::ymd}, {"YDM", date_order::ydm},
                                                               {"MYD", date_order::myd}, {"DYM", date_order::dym}};
  std::string k(text);
  for (char& c : k) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  for (const auto& [n, o] : orders) {
    if (k == n) return o;
  }
  return std::nullopt;
}

int month_named(const language& lang, std::string_view word) {
  const std::u16string w = folded(word);
  if (w.empty()) return 0;
  if (int m = month_in(lang.months, w)) return m;
  return month_in(lang.short_months, w);
}

std::string language_changed_text(const language& lang) {
  const std::string name = lang.name;
  switch (lang.langid) {
    case 1: return "Die Spracheneinstellung wurde in " + name + " ge\xC3\xA4ndert.";
    case 2: return "Le param\xC3\xA8tre de langue est pass\xC3\xA9 \xC3\xA0 " + name + ".";
    case 5: return "Se cambi\xC3\xB3 la configuraci\xC3\xB3n de idioma a " + name + ".";
    case 6: return "L'impostazione della lingua \xC3\xA8 stata sostituita con " + name + ".";
    case 7: return "De taalinstelling is gewijzigd in " + name + ".";
    default: return "Changed language setting to " + name + ".";
  }
}

}  // namespace tds
