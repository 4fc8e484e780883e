// The compound-file and BIFF record readers that find the boolean and error cells
// of .xls files: sound files, small streams, and damage that must give nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>

#include "platform/dao/biff_boolerr.h"
#include "platform/dao/cfb_reader.h"
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

std::string record(std::uint16_t type, std::string data = {}) {
  std::string r(4, '\0');
  put16(r, 0, type);
  put16(r, 2, static_cast<std::uint16_t>(data.size()));
  return r + data;
}
std::string bof() { return record(0x0809, std::string(16, '\0')); }
std::string boundsheet(std::uint32_t offset) {
  std::string d(8, '\0');
  put32(d, 0, offset);
  d[6] = 1;  // a one-character name, compressed
  return record(0x0085, d + "S");
}
std::string boolerr(std::uint16_t row, std::uint16_t col, std::uint8_t value, bool error) {
  std::string d(8, '\0');
  put16(d, 0, row);
  put16(d, 2, col);
  d[6] = static_cast<char>(value);
  d[7] = error ? 1 : 0;
  return record(0x0205, d);
}

TEST(BiffRecords, FindsBooleanAndErrorCellsOfAWorkbook) {
  auto stream = read_cfb_stream(fixtures::xls_fixture("boolerr.xls"), workbook_names);
  ASSERT_TRUE(stream);
  ASSERT_GE(stream->size(), 4096u);
  EXPECT_EQ(stream->substr(0, 2), std::string("\x09\x08", 2));
  auto sheets = read_boolerr_cells(*stream);
  ASSERT_EQ(sheets.size(), 1u);
  const auto& cells = sheets[0].cells;
  ASSERT_EQ(cells.size(), 7u);
  EXPECT_EQ(cells[0].row, 1u);
  EXPECT_EQ(cells[0].col, 0u);
  EXPECT_FALSE(cells[0].error);
  EXPECT_EQ(cells[0].value, 1u);
  EXPECT_EQ(cells[2].row, 2u);  // #N/A
  EXPECT_EQ(cells[2].col, 1u);
  EXPECT_TRUE(cells[2].error);
  EXPECT_EQ(cells[2].value, 0x2Au);
  EXPECT_EQ(cells[6].row, 4u);
  EXPECT_EQ(cells[6].col, 2u);

  // Sample.xls holds none; other stream names are not taken for the workbook.
  auto sample = read_cfb_stream(fixtures::xls_fixture("sample.xls"), workbook_names);
  ASSERT_TRUE(sample);
  auto none = read_boolerr_cells(*sample);
  ASSERT_EQ(none.size(), 2u);
  EXPECT_TRUE(none[0].cells.empty() && none[1].cells.empty());
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
  auto entry = [&](int index, std::u16string_view name, int type, std::uint32_t start, std::uint32_t size) {
    std::size_t at = sector(1) + index * 128;
    for (std::size_t i = 0; i < name.size(); ++i) put16(file, at + i * 2, name[i]);
    put16(file, at + 64, static_cast<std::uint16_t>((name.size() + 1) * 2));
    file[at + 66] = static_cast<char>(type);
    put32(file, at + 0x74, start);
    put32(file, at + 0x78, size);
  };
  entry(0, u"Root Entry", 5, 3, 128);
  entry(1, u"BOOK", 2, 0, 100);
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

TEST(BiffRecords, DamagedOrEncryptedStreamGivesNothing) {
  std::string eof = record(0x000A);
  std::string sheet = bof() + boolerr(3, 1, 0x07, true) + boolerr(2, 4, 0, false) + eof;
  std::string head = bof() + boundsheet(0) + eof;
  std::string sound = bof() + boundsheet(static_cast<std::uint32_t>(head.size())) + eof + sheet;
  auto sheets = read_boolerr_cells(sound);
  ASSERT_EQ(sheets.size(), 1u);
  ASSERT_EQ(sheets[0].cells.size(), 2u);
  EXPECT_EQ(sheets[0].cells[0].row, 2u);  // put in row order
  EXPECT_EQ(sheets[0].cells[1].value, 0x07u);

  // A chart embedded in the sheet ends with its own EOF; the sheet goes on.
  std::string nested = bof() + bof() + eof + boolerr(5, 0, 1, false) + eof;
  sheets = read_boolerr_cells(bof() + boundsheet(static_cast<std::uint32_t>(head.size())) + eof + nested);
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0].cells.size(), 1u);

  // Encrypted: the records are not readable.
  std::string filepass = record(0x002F, std::string(6, '\0'));
  EXPECT_TRUE(read_boolerr_cells(bof() + filepass + boundsheet(0) + eof).empty());
  // A sheet offset past the stream, a sheet that does not start with BOF, a record cut short.
  EXPECT_TRUE(read_boolerr_cells(bof() + boundsheet(1u << 30) + eof).empty());
  EXPECT_TRUE(read_boolerr_cells(bof() + boundsheet(static_cast<std::uint32_t>(head.size())) + eof +
                                 boolerr(1, 1, 1, false) + eof)
                  .empty());
  EXPECT_TRUE(read_boolerr_cells(sound.substr(0, sound.size() - 3)).empty());

  // Thousands of sheets all claiming one huge sheet without EOF: the work stays
  // bounded and the answer is nothing rather than a long scan.
  std::string body = bof();
  for (int i = 0; i < 20000; ++i) body += boolerr(1, 1, 1, false);
  std::string many = bof();
  for (int i = 0; i < 5000; ++i) many += boundsheet(0);
  many += eof;
  std::string hostile = many + body;
  std::string again = bof();
  for (int i = 0; i < 5000; ++i) again += boundsheet(static_cast<std::uint32_t>(many.size()));
  hostile = again + eof + body;
  EXPECT_TRUE(read_boolerr_cells(hostile).empty());
}

}  // namespace
