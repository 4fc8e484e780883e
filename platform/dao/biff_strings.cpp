#include "platform/dao/biff_strings.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "platform/dao/jet_error.h"
#include "platform/dao/le_bytes.h"

namespace jet {

namespace {

void append_code_point(char32_t c, std::string& out) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | c >> 6));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | c >> 12));
    out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | c >> 18));
    out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

const char* iconv_name(std::uint16_t codepage) {
  switch (codepage) {
    case 367: return "ASCII";
    case 437: return "CP437";
    case 737: return "CP737";
    case 775: return "CP775";
    case 850: return "CP850";
    case 852: return "CP852";
    case 855: return "CP855";
    case 857: return "CP857";
    case 860: return "CP860";
    case 861: return "CP861";
    case 862: return "CP862";
    case 863: return "CP863";
    case 864: return "CP864";
    case 865: return "CP865";
    case 866: return "CP866";
    case 869: return "CP869";
    case 874: return "CP874";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    case 1361: return "JOHAB";
    case 10000: case 32768: return "MACINTOSH";
    default: return "CP1252";  // 1252, 32769 and code pages we do not know
  }
}

// Reads count characters that start in the given width. When they go on into the
// next part, that part starts with a flags byte giving the width from there on.
void read_units(biff_data& data, std::size_t count, bool high, std::u16string& out) {
  out.reserve(out.size() + std::min(count, data.left()));
  while (count > 0) {
    std::size_t n = std::min(count, data.left_in_part() / (high ? 2 : 1));
    std::string_view bytes = data.take(high ? n * 2 : n);
    if (high) {
      for (std::size_t i = 0; i < n; ++i) out.push_back(le16(bytes, i * 2));
    } else {
      for (char c : bytes) out.push_back(static_cast<unsigned char>(c));
    }
    count -= n;
    if (count > 0) {
      if (!data.next_part()) throw_bad_format("a string runs past the end of its record");
      high = (data.u8() & 1) != 0;
    }
  }
}

std::string biff8_string(biff_data& data, std::size_t count) {
  std::uint8_t flags = data.u8();
  std::size_t runs = flags & 0x08 ? data.u16() : 0;
  std::size_t phonetic = flags & 0x04 ? data.u32() : 0;
  std::string out;
  if (!(flags & 1) && count <= data.left_in_part()) {
    // 8-bit characters all in this record: Latin-1 straight to UTF-8.
    std::string_view bytes = data.take(count);
    out.reserve(count);
    for (char c : bytes) append_code_point(static_cast<unsigned char>(c), out);
  } else {
    std::u16string units;
    read_units(data, count, (flags & 1) != 0, units);
    append_utf16(units, out);
  }
  data.skip(runs * 4);  // rich-text formatting runs
  data.skip(phonetic);  // phonetic (Far East) block
  return out;
}

}  // namespace

codepage_decoder::codepage_decoder(std::uint16_t codepage) {
  if (codepage == 1200) return;  // a UTF-16 workbook: its 8-bit text is Latin-1
  iconv_t cd = iconv_open("UTF-8", iconv_name(codepage));
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-8", "CP1252");
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_ = cd;
}

codepage_decoder::~codepage_decoder() {
  if (iconv_) iconv_close(static_cast<iconv_t>(iconv_));
}

void codepage_decoder::append(std::string_view bytes, std::string& out) const {
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    out.append(bytes);
    return;
  }
  if (!iconv_) {
    for (char c : bytes) append_code_point(static_cast<unsigned char>(c), out);
    return;
  }
  std::lock_guard hold(busy_);
  auto cd = static_cast<iconv_t>(iconv_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  char buffer[1024];
  while (in_left > 0) {
    char* to = buffer;
    std::size_t to_left = sizeof buffer;
    std::size_t done = iconv(cd, &in, &in_left, &to, &to_left);
    out.append(buffer, static_cast<std::size_t>(to - buffer));
    if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // A byte the code page does not define, or a lead byte without its trail.
      out.append("\xEF\xBF\xBD");
      ++in;
      --in_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

void append_utf16(const std::u16string& units, std::string& out) {
  out.reserve(out.size() + units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    append_code_point(c, out);
  }
}

std::string read_biff_string(biff_data& data, const biff_text& text, int count_bytes) {
  std::size_t count = count_bytes == 1 ? data.u8() : data.u16();
  if (text.biff8) return biff8_string(data, count);
  std::string bytes;
  while (bytes.size() < count) {
    std::string_view piece = data.take(count - bytes.size());
    if (piece.empty() && !data.next_part()) throw_bad_format("a string runs past the end of its record");
    bytes.append(piece);
  }
  std::string out;
  if (text.codepage) {
    text.codepage->append(bytes, out);
  } else {
    for (char c : bytes) append_code_point(static_cast<unsigned char>(c), out);
  }
  return out;
}

std::string read_biff8_chars(biff_data& data, std::size_t count) {
  std::uint8_t flags = data.u8();
  std::u16string units;
  read_units(data, count, (flags & 1) != 0, units);
  std::string out;
  append_utf16(units, out);
  return out;
}

biff_shared_strings biff_shared_strings::read(biff_data data) {
  biff_shared_strings out;
  data.u32();  // references to the table in the whole workbook
  std::size_t unique = data.u32();
  // Each string takes at least 3 bytes: a damaged count reserves nothing beyond that.
  out.pool_.reserve(std::min(unique, data.left() / 3));
  for (std::size_t i = 0; i < unique && !data.at_end(); ++i) {
    std::size_t count = data.u16();
    out.pool_.add(biff8_string(data, count));  // bounded by the record's own bytes
  }
  return out;
}

std::string_view biff_shared_strings::at(std::size_t index) const {
  if (index >= pool_.size()) throw_bad_format("a shared string index beyond the table");
  return pool_[index];
}

}  // namespace jet
