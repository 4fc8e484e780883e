#include "platform/kernel/codepage.h"
#include "platform/kernel/locale_env.h"

#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <vector>

namespace kernel {
namespace {

constexpr wchar_t replacement_char = 0xFFFD;
constexpr UINT private_code_page_base = 0xF001;

struct known_page {
  UINT cp;
  const char* codeset;
};

// Code page numbers and the codeset names iconv gives them.
constexpr known_page known_pages[] = {
    {CP_UTF8, "UTF-8"},        {1250, "CP1250"},         {1251, "CP1251"},
    {1252, "CP1252"},          {1253, "CP1253"},         {1254, "CP1254"},
    {1255, "CP1255"},          {1256, "CP1256"},         {1257, "CP1257"},
    {1258, "CP1258"},          {874, "CP874"},           {932, "CP932"},
    {936, "GBK"},              {949, "CP949"},           {950, "BIG5"},
    {437, "CP437"},            {850, "CP850"},           {866, "CP866"},
    {20127, "ASCII"},          {20866, "KOI8-R"},        {21866, "KOI8-U"},
    {20932, "EUC-JP"},         {51949, "EUC-KR"},        {54936, "GB18030"},
    {28591, "ISO-8859-1"},     {28592, "ISO-8859-2"},    {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},     {28595, "ISO-8859-5"},    {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},     {28598, "ISO-8859-8"},    {28599, "ISO-8859-9"},
    {28603, "ISO-8859-13"},    {28605, "ISO-8859-15"},   {1200, "UTF-16LE"},
    {1201, "UTF-16BE"},        {12000, "UTF-32LE"},      {12001, "UTF-32BE"},
};

std::string normalized(std::string_view name) {
  std::string out;
  for (char c : name)
    if (std::isalnum(static_cast<unsigned char>(c))) out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Other spellings of the codesets above that locales report.
UINT code_page_of_codeset(const std::string& codeset) {
  std::string n = normalized(codeset);
  if (n == "UTF8") return CP_UTF8;
  if (n == "WINDOWS1252") return 1252;
  if (n == "SJIS" || n == "SHIFTJIS") return 932;
  if (n == "GB2312" || n == "EUCCN") return 936;
  if (n == "BIG5HKSCS") return 950;
  if (n == "ANSIX341968" || n == "USASCII") return 20127;
  for (const auto& k : known_pages)
    if (normalized(k.codeset) == n) return k.cp;
  if (n.rfind("WINDOWS", 0) == 0 && n.size() == 11) return static_cast<UINT>(std::atoi(n.c_str() + 7));
  return 0;
}

struct code_page_state {
  std::mutex lock;
  std::vector<std::string> private_pages;  // codesets without a number, from 0xF001 on
  UINT locale_cp = 0;                      // 0 until read
  UINT override_cp = 0;
};

code_page_state& state() {
  static code_page_state s;
  return s;
}

thread_local UINT t_thread_cp = 0;

std::string known_codeset(UINT cp) {
  for (const auto& k : known_pages)
    if (k.cp == cp) return k.codeset;
  if (cp >= private_code_page_base) {
    auto& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    std::size_t i = cp - private_code_page_base;
    if (i < s.private_pages.size()) return s.private_pages[i];
  }
  return {};
}

// The codeset of the user's locale, as the environment gives it.
std::string locale_codeset() {
  std::string name = user_locale_name("LC_CTYPE");
  if (name.empty() || name == "C" || name == "POSIX") return "UTF-8";
  std::string codeset;
  if (locale_t loc = newlocale(LC_CTYPE_MASK, name.c_str(), static_cast<locale_t>(0))) {
    codeset = nl_langinfo_l(CODESET, loc);
    freelocale(loc);
  } else {
    // A locale that is not installed: its name still tells the codeset.
    auto dot = name.find('.');
    if (dot != std::string::npos) codeset = name.substr(dot + 1, name.find('@', dot) - dot - 1);
  }
  if (codeset.empty() || code_page_of_codeset(codeset) == 20127) return "UTF-8";
  return codeset;
}

std::atomic<UINT> g_system_cp{0};  // the system's code page once known

UINT locale_code_page() {
  if (UINT cp = g_system_cp.load(std::memory_order_acquire)) return cp;
  auto& s = state();
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (s.override_cp) return s.override_cp;
    if (s.locale_cp) return s.locale_cp;
  }
  std::string codeset = locale_codeset();
  UINT cp = code_page_of_codeset(codeset);
  std::lock_guard<std::mutex> g(s.lock);
  if (!cp) {
    iconv_t probe = iconv_open(codeset.c_str(), "WCHAR_T");
    if (probe == reinterpret_cast<iconv_t>(-1)) {
      cp = CP_UTF8;
    } else {
      iconv_close(probe);
      s.private_pages.push_back(codeset);
      cp = private_code_page_base + static_cast<UINT>(s.private_pages.size() - 1);
    }
  }
  if (!s.locale_cp) s.locale_cp = cp;
  UINT effective = s.override_cp ? s.override_cp : s.locale_cp;
  g_system_cp.store(effective, std::memory_order_release);
  return effective;
}

UINT resolve(UINT cp) {
  if (cp == CP_ACP || cp == CP_OEMCP) return system_code_page();
  if (cp == CP_THREAD_ACP) return thread_code_page();
  return cp;
}

const iconv_t no_descriptor = reinterpret_cast<iconv_t>(-1);

// Open conversion descriptors of this thread, by code page and direction.
class iconv_cache {
 public:
  ~iconv_cache() {
    for (auto& e : entries_)
      if (e.cd != no_descriptor) iconv_close(e.cd);
  }
  iconv_t get(UINT cp, bool to_wide) {
    for (auto& e : entries_)
      if (e.cp == cp && e.to_wide == to_wide) {
        if (e.cd != no_descriptor) iconv(e.cd, nullptr, nullptr, nullptr, nullptr);  // initial shift state
        return e.cd;
      }
    std::string name = known_codeset(cp);
    iconv_t cd = name.empty() ? no_descriptor
                              : to_wide ? iconv_open("WCHAR_T", name.c_str()) : iconv_open(name.c_str(), "WCHAR_T");
    entries_.push_back({cp, to_wide, cd});
    return cd;
  }

 private:
  struct entry {
    UINT cp;
    bool to_wide;
    iconv_t cd;
  };
  std::vector<entry> entries_;
};

iconv_t descriptor(UINT cp, bool to_wide) {
  thread_local iconv_cache cache;
  return cache.get(cp, to_wide);
}

// Code pages whose bytes below 0x80 are always ASCII characters on their own.
bool ascii_compatible(UINT cp) {
  if (cp == 1200 || cp == 1201 || cp == 12000 || cp == 12001 || cp >= private_code_page_base) return false;
  return !known_codeset(cp).empty();
}

bool valid_scalar(wchar_t c) {
  auto u = static_cast<std::uint32_t>(c);
  return u <= 0x10FFFF && (u < 0xD800 || u > 0xDFFF);
}

// Runs iconv over the whole input. On a character it cannot convert it writes
// the replacement and skips one input unit of unit_size bytes.
template <class Out>
void run_iconv(iconv_t cd, const char* in, std::size_t in_left, std::size_t unit_size, Out& out,
               const typename Out::value_type replacement) {
  using unit = typename Out::value_type;
  thread_local std::vector<char> buf;
  std::size_t want = std::min<std::size_t>(std::max<std::size_t>(64, in_left * 4 + 16), 1 << 20);
  if (buf.size() < want) buf.resize(want);
  char* src = const_cast<char*>(in);
  for (;;) {
    char* dst = buf.data();
    std::size_t dst_left = buf.size();
    std::size_t r = iconv(cd, in_left ? &src : nullptr, in_left ? &in_left : nullptr, &dst, &dst_left);
    int err = errno;
    std::size_t produced = buf.size() - dst_left;
    out.append(reinterpret_cast<const unit*>(buf.data()), produced / sizeof(unit));
    if (r != static_cast<std::size_t>(-1)) {
      if (in_left == 0) {
        // Flush a stateful encoding's shift sequence.
        dst = buf.data();
        dst_left = buf.size();
        iconv(cd, nullptr, nullptr, &dst, &dst_left);
        out.append(reinterpret_cast<const unit*>(buf.data()), (buf.size() - dst_left) / sizeof(unit));
        return;
      }
      continue;
    }
    if (err == E2BIG) continue;
    // EILSEQ: not representable or invalid; EINVAL: incomplete at the end.
    out.push_back(replacement);
    if (err == EINVAL || in_left <= unit_size) {
      if (err == EINVAL) return;
      src += in_left;
      in_left = 0;
    } else {
      src += unit_size;
      in_left -= unit_size;
    }
    if (in_left == 0) return;
  }
}

}  // namespace

UINT system_code_page() { return locale_code_page(); }

UINT thread_code_page() { return t_thread_cp ? t_thread_cp : system_code_page(); }

bool set_thread_code_page(UINT cp) {
  if (cp != 0 && !is_valid_code_page(cp)) return false;
  t_thread_cp = cp == 0 ? 0 : resolve(cp);
  return true;
}

bool set_system_code_page(UINT cp) {
  if (cp != CP_ACP && (cp == CP_THREAD_ACP || cp == CP_OEMCP || !is_valid_code_page(cp))) return false;
  std::lock_guard<std::mutex> g(state().lock);
  state().override_cp = cp;
  g_system_cp.store(0, std::memory_order_release);  // found again on the next use
  return true;
}

std::string codeset_name(UINT cp) { return known_codeset(resolve(cp)); }

bool is_valid_code_page(UINT cp) {
  UINT real = resolve(cp);
  return real == CP_UTF8 || descriptor(real, false) != no_descriptor;
}

std::optional<std::string> wide_to_multibyte(UINT cp, std::wstring_view text) {
  UINT real = resolve(cp);
  if (real == CP_UTF8) return wide_to_utf8(text);
  iconv_t cd = descriptor(real, false);
  if (cd == no_descriptor) return std::nullopt;
  std::string out;
  if (text.empty()) return out;
  if (ascii_compatible(real) && std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0 && c < 0x80; }))
    return std::string(text.begin(), text.end());
  out.reserve(text.size());
  // Values that are not Unicode scalars cannot be converted: they become '?'.
  std::wstring clean;
  if (!std::all_of(text.begin(), text.end(), valid_scalar)) {
    clean.assign(text);
    for (auto& c : clean)
      if (!valid_scalar(c)) c = L'?';
    text = clean;
  }
  run_iconv(cd, reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t), sizeof(wchar_t),
            out, '?');
  return out;
}

std::optional<std::wstring> multibyte_to_wide(UINT cp, std::string_view text) {
  UINT real = resolve(cp);
  if (real == CP_UTF8) return utf8_to_wide(text);
  iconv_t cd = descriptor(real, true);
  if (cd == no_descriptor) return std::nullopt;
  std::wstring out;
  if (text.empty()) return out;
  if (ascii_compatible(real) && std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; }))
    return std::wstring(text.begin(), text.end());
  out.reserve(text.size());
  run_iconv(cd, text.data(), text.size(), 1, out, replacement_char);
  return out;
}

namespace {

// The kept byte of a wide name, or -1.
int kept_byte(wchar_t c) { return c >= 0xDC80 && c <= 0xDCFF ? static_cast<int>(c - 0xDC00) : -1; }

// The length of the UTF-8 character at the start of text, 0 when none is.
std::size_t utf8_char_length(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || length > text.size()) return 0;
  const std::string_view one = text.substr(0, length);
  const std::wstring wide = utf8_to_wide(one);
  return wide.size() == 1 && valid_scalar(wide[0]) && wide_to_utf8(wide) == one ? length : 0;
}

}  // namespace

std::wstring path_to_wide(UINT cp, std::string_view bytes) {
  if (resolve(cp) != CP_UTF8) return multibyte_to_wide(cp, bytes).value_or(std::wstring());
  std::wstring out;
  out.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = utf8_char_length(bytes.substr(at));
    if (length == 0) {
      out += static_cast<wchar_t>(0xDC00 + static_cast<unsigned char>(bytes[at]));
      ++at;
      continue;
    }
    out += utf8_to_wide(bytes.substr(at, length));
    at += length;
  }
  return out;
}

std::string wide_to_path(UINT cp, std::wstring_view name) {
  std::string out;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= name.size(); ++at) {
    const int byte = at < name.size() ? kept_byte(name[at]) : -1;
    if (at < name.size() && byte < 0) continue;
    if (at > start) out += wide_to_multibyte(cp, name.substr(start, at - start)).value_or(std::string());
    if (byte >= 0) out += static_cast<char>(byte);
    start = at + 1;
  }
  return out;
}

std::string wide_to_utf8(std::wstring_view text) {
  std::size_t size = 0;
  for (wchar_t wc : text) {
    auto c = valid_scalar(wc) ? static_cast<std::uint32_t>(wc) : 0xFFFDu;
    size += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  }
  std::string out;
  out.reserve(size);
  for (wchar_t wc : text) {
    auto c = valid_scalar(wc) ? static_cast<std::uint32_t>(wc) : 0xFFFDu;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::wstring utf8_to_wide(std::string_view text) {
  // At most one character per byte: written in place, the string cut to its
  // length at the end; runs of ASCII are widened in one loop the compiler can
  // vectorise.
  std::wstring out(text.size(), L'\0');
  wchar_t* w = out.data();
  std::size_t i = 0, n = text.size();
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  while (i < n) {
    std::size_t run = i;
    while (run < n && byte(run) < 0x80) ++run;
    for (; i < run; ++i) *w++ = static_cast<wchar_t>(byte(i));
    if (i == n) break;
    unsigned char b = byte(i);
    int len;
    std::uint32_t c, min;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4, c = b & 0x07, min = 0x10000;
    } else {
      *w++ = replacement_char;
      ++i;
      continue;
    }
    int k = 1;
    for (; k < len && i + k < n && (byte(i + k) & 0xC0) == 0x80; ++k) c = (c << 6) | (byte(i + k) & 0x3F);
    if (k < len || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      // The lead byte and the continuation bytes read so far form one bad sequence.
      *w++ = replacement_char;
      i += std::max(1, k);
      continue;
    }
    *w++ = static_cast<wchar_t>(c);
    i += len;
  }
  out.resize(static_cast<std::size_t>(w - out.data()));
  return out;
}

std::u16string wide_to_utf16(std::wstring_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    auto c = valid_scalar(wc) ? static_cast<std::uint32_t>(wc) : 0xFFFDu;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::wstring utf16_to_wide(std::u16string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      out += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      out += replacement_char;
    } else {
      out += static_cast<wchar_t>(u);
    }
  }
  return out;
}

}  // namespace kernel
