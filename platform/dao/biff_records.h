// The records of a BIFF workbook stream (.xls): each record with the CONTINUE
// records that carry on its data, read from any offset of the stream. Every
// length is checked against the stream; reading past a record's data is damage
// (3274), never a read outside the stream.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

namespace biff {

constexpr std::uint16_t bof = 0x0809, eof = 0x000A, continue_record = 0x003C, filepass = 0x002F,
                        codepage = 0x0042, datemode = 0x0022, format = 0x041E, format_biff4 = 0x001E,
                        xf = 0x00E0, boundsheet = 0x0085, sst = 0x00FC, name = 0x0018, externsheet = 0x0017,
                        supbook = 0x01AE, number = 0x0203, rk = 0x027E, mulrk = 0x00BD, labelsst = 0x00FD,
                        label = 0x0204, rstring = 0x00D6, boolerr = 0x0205, blank = 0x0201, mulblank = 0x00BE,
                        formula = 0x0006, string = 0x0207, shrfmla = 0x04BC, array = 0x0221, table = 0x0236,
                        wsbool = 0x0081;

// The BOF records of the versions before Excel 5 (BIFF2, BIFF3, BIFF4).
constexpr std::uint16_t bof_biff2 = 0x0009, bof_biff3 = 0x0209, bof_biff4 = 0x0409;

// Substream types of a BOF record.
constexpr std::uint16_t substream_globals = 0x0005, substream_worksheet = 0x0010;

}  // namespace biff

// The data of one record and its CONTINUE records, read front to back.
class biff_data {
 public:
  biff_data() = default;
  explicit biff_data(std::vector<std::string_view> parts);

  std::uint8_t u8();
  std::uint16_t u16();
  std::uint32_t u32();
  double f64();
  void skip(std::size_t bytes);
  // Up to bytes bytes from the current part (fewer at its end).
  std::string_view take(std::size_t bytes);
  // Bytes left in the current part and in all parts.
  std::size_t left_in_part() const { return part_ < parts_.size() ? parts_[part_].size() - at_ : 0; }
  std::size_t left() const { return left_in_part() + after_; }
  // Moves to the start of the next part; false when there is none.
  bool next_part();
  bool at_end() const { return left() == 0; }

 private:
  void need_part();

  std::vector<std::string_view> parts_;
  std::size_t part_ = 0;
  std::size_t at_ = 0;
  std::size_t after_ = 0;  // bytes in the parts after the current one
};

// Walks the records of a stream from an offset. A record that runs past the end
// of the stream is damage (3274).
class biff_record_reader {
 public:
  biff_record_reader(std::string_view stream, std::size_t offset, std::size_t end = std::string_view::npos);

  // Reads the next record with its CONTINUE records; false at the end of the range.
  bool next();
  std::uint16_t type() const { return type_; }
  // The first part only: for records of a fixed size.
  std::string_view data() const { return data_; }
  // The whole data with its continuations.
  biff_data continued() const;
  // Where the current record starts, and where the next one does.
  std::size_t offset() const { return offset_; }
  std::size_t next_offset() const { return at_; }

 private:
  std::string_view stream_;
  std::size_t end_;
  std::size_t at_;
  std::size_t offset_ = 0;
  std::uint16_t type_ = 0;
  std::string_view data_;
  std::vector<std::string_view> more_;  // the CONTINUE records' data
};

}  // namespace jet
