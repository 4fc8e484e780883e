// The compound-file reader under the .xls reader, and the boolean and error cells
// of .xls files: sound files, small streams, and damage that must give nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>

#include "platform/dao/cfb_reader.h"
#include "platform/dao/xls_workbook.h"
#include "workbook_fixtures.h"

namespace {

using namespace jet;

const std::vector<std::u16string_view> workbook_names{u"Workbook", u"Book"};

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void put32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}
void put16(std::string& s, std::size_t at, std::uint16_t v) {
  s[at] = static_cast<char>(v);
  s[at + 1] = static_cast<char>(v >> 8);
}

TEST(BiffRecords, FindsBooleanAndErrorCellsOfAWorkbook) {
  auto stream = read_cfb_stream(fixtures::xls_fixture("boolerr.xls"), workbook_names);
  ASSERT_TRUE(stream);
  ASSERT_GE(stream->size(), 4096u);
  EXPECT_EQ(stream->substr(0, 2), std::string("\x09\x08", 2));
  xls_workbook book(*stream, false);
  ASSERT_EQ(book.sheet_names().size(), 1u);
  std::vector<sheet_row> rows;
  auto cursor = book.open_sheet(0);
  for (sheet_row row; cursor->next(row);) rows.push_back(row);
  ASSERT_EQ(rows.size(), 5u);
  auto at = [&](std::size_t r, std::size_t c) -> const cell& { return rows[r].cells.at(c); };
  EXPECT_EQ(rows[1].index, 1u);
  EXPECT_EQ(at(1, 0).kind, cell_kind::boolean);
  EXPECT_TRUE(at(1, 0).boolean);
  EXPECT_EQ(at(2, 0).kind, cell_kind::boolean);
  EXPECT_FALSE(at(2, 0).boolean);
  EXPECT_EQ(at(2, 1).kind, cell_kind::error);  // #N/A
  EXPECT_EQ(at(2, 1).text, "#N/A");
  EXPECT_EQ(at(3, 1).text, "#DIV/0!");
  EXPECT_EQ(rows[4].index, 4u);
  EXPECT_EQ(at(4, 2).kind, cell_kind::error);

  // Sample.xls holds none; other stream names are not taken for the workbook.
  auto sample = read_cfb_stream(fixtures::xls_fixture("sample.xls"), workbook_names);
  ASSERT_TRUE(sample);
  xls_workbook none(*sample, false);
  ASSERT_EQ(none.sheet_names().size(), 2u);
  for (std::size_t s = 0; s < 2; ++s) {
    auto sheet = none.open_sheet(s);
    for (sheet_row row; sheet->next(row);)
      for (const auto& c : row.cells) EXPECT_TRUE(c.kind != cell_kind::boolean && c.kind != cell_kind::error);
  }
  EXPECT_FALSE(read_cfb_stream(fixtures::xls_fixture("sample.xls"), {u"Workbook2"}));
}

// A stream under 4096 bytes lives in the small-sector area of the root entry.
TEST(BiffRecords, ReadsSmallStreams) {
  std::string file(512 * 5, '\0');
  const std::string magic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  file.replace(0, 8, magic);
  put16(file, 0x1A, 3);
  put16(file, 0x1C, 0xFFFE);
  put16(file, 0x1E, 9);
  put16(file, 0x20, 6);
  put32(file, 0x2C, 1);           // one FAT sector: sector 0
  put32(file, 0x30, 1);           // directory: sector 1
  put32(file, 0x38, 4096);
  put32(file, 0x3C, 2);           // small-sector table: sector 2
  put32(file, 0x40, 1);
  put32(file, 0x44, 0xFFFFFFFE);
  for (int i = 0; i < 109; ++i) put32(file, 0x4C + i * 4, i == 0 ? 0 : 0xFFFFFFFF);
  auto sector = [](int n) { return std::size_t(512 * (n + 1)); };
  for (int i = 0; i < 128; ++i) put32(file, sector(0) + i * 4, 0xFFFFFFFF);
  put32(file, sector(0), 0xFFFFFFFD);
  for (int s = 1; s <= 3; ++s) put32(file, sector(0) + s * 4, 0xFFFFFFFE);
  auto entry = [&](int index, std::u16string_view name, int type, std::uint32_t child, std::uint32_t start,
                   std::uint32_t size) {
    std::size_t at = sector(1) + index * 128;
    for (std::size_t i = 0; i < name.size(); ++i) put16(file, at + i * 2, name[i]);
    put16(file, at + 64, static_cast<std::uint16_t>((name.size() + 1) * 2));
    file[at + 66] = static_cast<char>(type);
    put32(file, at + 0x44, 0xFFFFFFFF);
    put32(file, at + 0x48, 0xFFFFFFFF);
    put32(file, at + 0x4C, child);
    put32(file, at + 0x74, start);
    put32(file, at + 0x78, size);
  };
  entry(0, u"Root Entry", 5, 1, 3, 128);
  entry(1, u"BOOK", 2, 0xFFFFFFFF, 0, 100);
  for (int i = 0; i < 128; ++i) put32(file, sector(2) + i * 4, 0xFFFFFFFF);
  put32(file, sector(2), 1);
  put32(file, sector(2) + 4, 0xFFFFFFFE);
  for (int i = 0; i < 128; ++i) file[sector(3) + i] = static_cast<char>(i);

  auto stream = read_cfb_stream_memory(file, workbook_names);
  ASSERT_TRUE(stream);
  ASSERT_EQ(stream->size(), 100u);
  EXPECT_EQ(static_cast<unsigned char>((*stream)[99]), 99u);

  // The small-sector chain comes back to its first sector.
  put32(file, sector(2), 0);
  EXPECT_FALSE(read_cfb_stream_memory(file, workbook_names));
}

TEST(BiffRecords, DamagedContainerGivesNoStream) {
  const std::string good = file_bytes(fixtures::xls_fixture("boolerr.xls"));
  ASSERT_TRUE(read_cfb_stream_memory(good, workbook_names));
  std::size_t fat = 512 + 11 * 512;  // the fixture's stream sectors, directory, then its FAT sector

  std::string looped = good;
  put32(looped, fat + 3 * 4, 2);  // sector 3 leads back to sector 2
  EXPECT_FALSE(read_cfb_stream_memory(looped, workbook_names));

  std::string outside = good;
  put32(outside, fat + 3 * 4, 0x00FFFFFF);
  EXPECT_FALSE(read_cfb_stream_memory(outside, workbook_names));

  std::string no_directory = good;
  put32(no_directory, 0x30, 5000);
  EXPECT_FALSE(read_cfb_stream_memory(no_directory, workbook_names));

  std::string bad_sectors = good;
  put16(bad_sectors, 0x1E, 30);
  EXPECT_FALSE(read_cfb_stream_memory(bad_sectors, workbook_names));

  std::string huge_fat = good;
  put32(huge_fat, 0x2C, 0x7FFFFFFF);
  EXPECT_FALSE(read_cfb_stream_memory(huge_fat, workbook_names));

  EXPECT_FALSE(read_cfb_stream_memory(good.substr(0, 2000), workbook_names));
  EXPECT_FALSE(read_cfb_stream_memory("", workbook_names));
}

}  // namespace
