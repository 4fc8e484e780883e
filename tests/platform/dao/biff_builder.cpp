#include "biff_builder.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fixtures {

std::string le16(std::uint16_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string le32(std::uint32_t v) { return le16(static_cast<std::uint16_t>(v)) + le16(static_cast<std::uint16_t>(v >> 16)); }
std::string le64(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof v);
  return le32(static_cast<std::uint32_t>(bits)) + le32(static_cast<std::uint32_t>(bits >> 32));
}

std::string biff_record(std::uint16_t type, std::string_view data) {
  return le16(type) + le16(static_cast<std::uint16_t>(data.size())) + std::string(data);
}

std::string biff_bof(std::uint16_t substream, bool biff8) {
  if (biff8) return biff_record(0x0809, le16(0x0600) + le16(substream) + le16(0x0DBB) + le16(0x07CC) + le32(0x41) + le32(6));
  return biff_record(0x0809, le16(0x0500) + le16(substream) + le16(0x0DBB) + le16(0x07CC));
}
std::string biff_eof() { return biff_record(0x000A); }

std::string biff8_string(std::u16string_view text, int count_bytes) {
  std::string out = count_bytes == 1 ? std::string(1, static_cast<char>(text.size())) : le16(static_cast<std::uint16_t>(text.size()));
  out += '\x01';
  for (char16_t c : text) out += le16(c);
  return out;
}

std::string biff5_string(std::string_view bytes, int count_bytes) {
  std::string out = count_bytes == 1 ? std::string(1, static_cast<char>(bytes.size())) : le16(static_cast<std::uint16_t>(bytes.size()));
  return out + std::string(bytes);
}

namespace {
std::string cell_head(std::uint16_t row, std::uint16_t col, std::uint16_t style) { return le16(row) + le16(col) + le16(style); }

std::u16string utf16(std::string_view utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    char32_t cp;
    int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (int k = 1; k < n; ++k) cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}
}  // namespace

std::string biff_number(std::uint16_t row, std::uint16_t col, double v, std::uint16_t style) {
  return biff_record(0x0203, cell_head(row, col, style) + le64(v));
}
std::string biff_label(std::uint16_t row, std::uint16_t col, const std::string& encoded, std::uint16_t style) {
  return biff_record(0x0204, cell_head(row, col, style) + encoded);
}
std::string biff_labelsst(std::uint16_t row, std::uint16_t col, std::uint32_t index, std::uint16_t style) {
  return biff_record(0x00FD, cell_head(row, col, style) + le32(index));
}
std::string biff_boolerr(std::uint16_t row, std::uint16_t col, std::uint8_t value, bool error) {
  return biff_record(0x0205, cell_head(row, col, 15) + std::string{static_cast<char>(value), static_cast<char>(error)});
}
std::string biff_rk(std::uint16_t row, std::uint16_t col, std::uint32_t rk, std::uint16_t style) {
  return biff_record(0x027E, cell_head(row, col, style) + le32(rk));
}
std::string biff_formula_number(std::uint16_t row, std::uint16_t col, double v, std::uint16_t style) {
  // result, flags, cache id, then the formula: one ptgInt 1
  return biff_record(0x0006, cell_head(row, col, style) + le64(v) + le16(0) + le32(0) + le16(3) + "\x1E" + le16(1));
}
std::string biff_formula_special(std::uint16_t row, std::uint16_t col, std::uint8_t kind, std::uint8_t value) {
  std::string result{static_cast<char>(kind), 0, static_cast<char>(value), 0, 0, 0, '\xFF', '\xFF'};
  return biff_record(0x0006, cell_head(row, col, 15) + result + le16(0) + le32(0) + le16(3) + "\x1E" + le16(1));
}

std::string biff_styles(bool biff8) {
  std::string out;
  std::string code = "\"$\"#,##0.00";
  out += biff_record(0x041E, le16(164) + (biff8 ? biff8_string(utf16(code)) : biff5_string(code, 1)));
  auto xf = [&](std::uint16_t format, bool style) {
    std::string d = le16(0) + le16(format) + le16(style ? 0xFFF5 : 0x0001);
    d.resize(biff8 ? 20 : 16, '\0');
    return biff_record(0x00E0, d);
  };
  for (int i = 0; i < 15; ++i) out += xf(0, true);
  for (std::uint16_t f : {0, 14, 22, 21, 164}) out += xf(f, false);
  return out;
}

std::string biff_workbook(const std::string& globals, const std::vector<biff_sheet>& sheets, bool biff8) {
  auto boundsheets = [&](const std::vector<std::uint32_t>& offsets) {
    std::string out;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
      std::string name = biff8 ? biff8_string(utf16(sheets[i].name), 1) : biff5_string(sheets[i].name, 1);
      out += biff_record(0x0085, le32(offsets[i]) + '\0' + static_cast<char>(sheets[i].type) + name);
    }
    return out;
  };
  std::string head = biff_bof(0x0005, biff8) + globals;
  std::uint32_t at = static_cast<std::uint32_t>(head.size() + boundsheets(std::vector<std::uint32_t>(sheets.size())).size() +
                                                biff_eof().size());
  std::vector<std::uint32_t> offsets;
  std::string bodies;
  for (const auto& s : sheets) {
    offsets.push_back(at + static_cast<std::uint32_t>(bodies.size()));
    bodies += biff_bof(s.substream, biff8) + s.records + biff_eof();
  }
  return head + boundsheets(offsets) + biff_eof() + bodies;
}

std::string compound_file(const std::vector<cfb_entry>& entries) {
  // 4096-byte sectors: the header sector, each stream's sectors, the directory,
  // the allocation table. The mini-stream cutoff is 0, so that even a small
  // stream lives in regular sectors.
  constexpr std::size_t sector = 4096;
  constexpr std::uint32_t end_of_chain = 0xFFFFFFFE, free_sector = 0xFFFFFFFF, fat_sector = 0xFFFFFFFD;
  auto sectors_of = [&](std::size_t bytes) { return (bytes + sector - 1) / sector; };
  std::string body, dir;
  std::vector<std::uint32_t> next;  // the allocation table's entries
  for (const auto& e : entries) {
    std::size_t first = next.size(), count = sectors_of(e.stream.size());
    for (std::size_t i = 0; i < count; ++i)
      next.push_back(i + 1 == count ? end_of_chain : static_cast<std::uint32_t>(first + i + 1));
    body += e.stream;
    body.resize(next.size() * sector, '\0');
    std::string d;
    for (char16_t c : e.name) d += le16(c);
    d += le16(0);
    d.resize(64, '\0');
    d += le16(static_cast<std::uint16_t>((e.name.size() + 1) * 2));
    d += static_cast<char>(e.type);
    d += '\x01';
    d += le32(e.left) + le32(e.right) + le32(e.child) + std::string(36, '\0') +
         le32(count ? static_cast<std::uint32_t>(first) : end_of_chain) +
         le32(static_cast<std::uint32_t>(e.stream.size())) + le32(0);
    dir += d;
  }
  std::size_t dir_first = next.size(), dir_sectors = sectors_of(dir.size());
  for (std::size_t i = 0; i < dir_sectors; ++i)
    next.push_back(i + 1 == dir_sectors ? end_of_chain : static_cast<std::uint32_t>(dir_first + i + 1));
  dir.resize(dir_sectors * sector, '\0');
  std::size_t fat = 1;
  while ((next.size() + fat) * 4 > fat * sector) ++fat;
  if (fat > 109) throw std::runtime_error("streams too large for the test container");
  std::size_t fat_first = next.size();
  next.resize(next.size() + fat, fat_sector);
  next.resize(fat * sector / 4, free_sector);
  std::string header = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + std::string(16, '\0') + le16(0x3E) + le16(4) + le16(0xFFFE) +
                       le16(12) + le16(6) + std::string(6, '\0') + le32(0) + le32(static_cast<std::uint32_t>(fat)) +
                       le32(static_cast<std::uint32_t>(dir_first)) + le32(0) + le32(0) + le32(end_of_chain) + le32(0) +
                       le32(end_of_chain) + le32(0);
  for (std::size_t i = 0; i < 109; ++i)
    header += le32(i < fat ? static_cast<std::uint32_t>(fat_first + i) : free_sector);
  header.resize(sector, '\0');
  std::string table;
  for (auto v : next) table += le32(v);
  return header + body + dir + table;
}

std::string compound_file(std::string_view stream, std::u16string_view name) {
  return compound_file({{u"Root Entry", 5, cfb_entry::none, cfb_entry::none, 1, ""},
                        {std::u16string(name), 2, cfb_entry::none, cfb_entry::none, cfb_entry::none, std::string(stream)}});
}

void write_file(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace fixtures
