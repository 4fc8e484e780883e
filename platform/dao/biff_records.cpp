#include "platform/dao/biff_records.h"

#include <cstring>

#include "platform/dao/jet_error.h"
#include "platform/dao/le_bytes.h"

namespace jet {

biff_data::biff_data(std::vector<std::string_view> parts) : parts_(std::move(parts)) {
  for (std::size_t p = 1; p < parts_.size(); ++p) after_ += parts_[p].size();
}

void biff_data::need_part() {
  while (part_ < parts_.size() && at_ == parts_[part_].size()) {
    if (!next_part()) break;
  }
  if (part_ >= parts_.size() || at_ == parts_[part_].size()) throw_bad_format("a record is shorter than its contents");
}

std::string_view biff_data::take(std::size_t bytes) {
  if (part_ >= parts_.size()) return {};
  std::string_view out = parts_[part_].substr(at_, bytes);
  at_ += out.size();
  return out;
}

std::uint8_t biff_data::u8() {
  need_part();
  return static_cast<std::uint8_t>(parts_[part_][at_++]);
}

std::uint16_t biff_data::u16() {
  if (left_in_part() >= 2) {
    std::uint16_t v = le16(parts_[part_], at_);
    at_ += 2;
    return v;
  }
  std::uint16_t low = u8();
  return static_cast<std::uint16_t>(low | u8() << 8);
}

std::uint32_t biff_data::u32() {
  std::uint32_t low = u16();
  return low | std::uint32_t{u16()} << 16;
}

double biff_data::f64() {
  unsigned char bytes[8];
  for (auto& b : bytes) b = u8();
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = bits << 8 | bytes[i];
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

void biff_data::skip(std::size_t bytes) {
  while (bytes > 0) {
    need_part();
    std::size_t step = std::min(bytes, parts_[part_].size() - at_);
    at_ += step;
    bytes -= step;
  }
}

bool biff_data::next_part() {
  if (part_ + 1 >= parts_.size()) return false;
  ++part_;
  at_ = 0;
  after_ -= parts_[part_].size();
  return true;
}

biff_record_reader::biff_record_reader(std::string_view stream, std::size_t offset, std::size_t end)
    : stream_(stream), end_(std::min(end, stream.size())), at_(offset) {}

bool biff_record_reader::next() {
  more_.clear();
  if (at_ >= end_) return false;
  if (end_ - at_ < 4) throw_bad_format("a record is cut short at the end of the stream");
  offset_ = at_;
  type_ = le16(stream_, at_);
  std::size_t length = le16(stream_, at_ + 2);
  if (end_ - at_ - 4 < length) throw_bad_format("a record runs past the end of the stream");
  data_ = stream_.substr(at_ + 4, length);
  at_ += 4 + length;
  while (end_ - at_ >= 4 && le16(stream_, at_) == biff::continue_record) {
    std::size_t more = le16(stream_, at_ + 2);
    if (end_ - at_ - 4 < more) throw_bad_format("a record runs past the end of the stream");
    more_.push_back(stream_.substr(at_ + 4, more));
    at_ += 4 + more;
  }
  return true;
}

biff_data biff_record_reader::continued() const {
  std::vector<std::string_view> parts;
  parts.reserve(1 + more_.size());
  parts.push_back(data_);
  parts.insert(parts.end(), more_.begin(), more_.end());
  return biff_data(std::move(parts));
}

}  // namespace jet
