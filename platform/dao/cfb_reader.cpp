#include "platform/dao/cfb_reader.h"

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/dao/le_bytes.h"

namespace jet {

namespace {

constexpr std::uint32_t end_of_chain = 0xFFFFFFFE;
constexpr std::uint32_t max_regular_sector = 0xFFFFFFFA;
constexpr std::uint32_t no_stream = 0xFFFFFFFF;
constexpr unsigned char magic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};


char16_t fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

cfb_found damaged() { return {std::nullopt, 0, true}; }

class compound_file {
 public:
  explicit compound_file(std::string_view file) : file_(file) {}

  cfb_found stream(const std::vector<std::u16string_view>& names) {
    if (file_.size() < 512 || std::memcmp(file_.data(), magic, 8) != 0) return damaged();
    unsigned shift = le16(file_, 0x1E);
    unsigned mini_shift = le16(file_, 0x20);
    if ((shift != 9 && shift != 12) || mini_shift != 6) return damaged();
    sector_size_ = std::size_t{1} << shift;
    if (file_.size() < sector_size_) return damaged();
    sectors_ = (file_.size() - sector_size_) / sector_size_;  // whole sectors after the header
    if (sectors_ == 0 || !load_fat()) return damaged();

    auto dir = chain(fat_, le32(file_, 0x30), sectors_ * sector_size_, [&](std::uint32_t s) { return sector(s); });
    if (!dir) return damaged();
    std::size_t entries = dir->size() / 128;
    if (entries == 0) return damaged();
    auto entry = [&](std::size_t i) { return std::string_view(*dir).substr(i * 128, 128); };

    // The file's own streams are the children of the root storage: a red-black
    // tree of siblings under the root entry's child. Streams of other storages
    // (embedded objects) are not the file's. Every node is visited once; an index
    // outside the directory or a node met twice is damage.
    std::vector<bool> seen(entries);
    seen[0] = true;
    std::vector<std::uint32_t> pending{le32(entry(0), 0x4C)};
    std::size_t found = 0, rank = names.size();
    while (!pending.empty()) {
      std::uint32_t at = pending.back();
      pending.pop_back();
      if (at == no_stream) continue;
      if (at >= entries || seen[at]) return damaged();
      seen[at] = true;
      std::string_view e = entry(at);
      pending.push_back(le32(e, 0x44));
      pending.push_back(le32(e, 0x48));
      if (e[66] != 2) continue;  // streams only
      for (std::size_t r = 0; r < rank; ++r) {
        if (!named(e, names[r])) continue;
        found = at;
        rank = r;
        break;
      }
    }
    if (rank == names.size()) return {};
    auto stream = read_entry(entry(found), entry(0));
    if (!stream) return damaged();
    return {std::move(stream), rank, false};
  }

 private:
  std::string_view sector(std::uint32_t index) const {
    return file_.substr(sector_size_ + std::size_t{index} * sector_size_, sector_size_);
  }

  // The allocation table: its sectors are listed in the header, then in the
  // chain of extension sectors. Entries past the end of the file are dropped.
  bool load_fat() {
    std::size_t fat_sectors = le32(file_, 0x2C);
    std::size_t needed = (sectors_ * 4 + sector_size_ - 1) / sector_size_;
    if (fat_sectors == 0 || fat_sectors > sectors_) return false;
    std::vector<std::uint32_t> ids;
    for (std::size_t i = 0; i < 109 && ids.size() < fat_sectors; ++i) ids.push_back(le32(file_, 0x4C + i * 4));
    std::uint32_t next = le32(file_, 0x44);
    std::size_t per = sector_size_ / 4 - 1;
    for (std::size_t steps = 0; ids.size() < fat_sectors; ++steps) {
      if (next >= sectors_ || steps > sectors_) return false;
      std::string_view s = sector(next);
      for (std::size_t i = 0; i < per && ids.size() < fat_sectors; ++i) ids.push_back(le32(s, i * 4));
      next = le32(s, per * 4);
    }
    if (ids.size() > needed) ids.resize(needed);
    fat_.reserve(ids.size() * sector_size_ / 4);
    for (auto id : ids) {
      if (id >= sectors_) return false;
      std::string_view s = sector(id);
      for (std::size_t i = 0; i < sector_size_ / 4; ++i) fat_.push_back(le32(s, i * 4));
    }
    if (fat_.size() > sectors_) fat_.resize(sectors_);
    return true;
  }

  // Follows a chain of sectors through table, reading at most limit bytes; a
  // chain that leaves the table or comes back to a sector (a loop) is damage.
  template <class Read>
  static std::optional<std::string> chain(const std::vector<std::uint32_t>& table, std::uint32_t start,
                                          std::size_t limit, Read read, std::size_t expected = 0) {
    std::string out;
    out.reserve(expected);
    std::vector<bool> seen(table.size());
    for (std::uint32_t at = start; at != end_of_chain && out.size() < limit;) {
      if (at > max_regular_sector || at >= table.size() || seen[at]) return std::nullopt;
      seen[at] = true;
      std::string_view s = read(at);
      out.append(s.substr(0, std::min(s.size(), limit - out.size())));
      at = table[at];
    }
    return out;
  }

  static bool named(std::string_view e, std::u16string_view want) {
    std::size_t bytes = le16(e, 64);
    if (bytes < 2 || bytes > 64 || bytes % 2 != 0 || bytes / 2 - 1 != want.size()) return false;
    for (std::size_t i = 0; i < want.size(); ++i)
      if (fold(static_cast<char16_t>(le16(e, i * 2))) != fold(want[i])) return false;
    return true;
  }

  // The sectors of a chain when each follows the one before in the file: the
  // bytes the chain holds, as a view. Anything else (damage too) is left to chain.
  std::optional<std::string_view> contiguous(std::uint32_t start, std::size_t limit) const {
    std::size_t total = 0;
    std::uint32_t previous = 0;
    bool first = true;
    for (std::uint32_t at = start; at != end_of_chain && total < limit; at = fat_[at]) {
      if (at > max_regular_sector || at >= fat_.size() || (!first && at != previous + 1)) return std::nullopt;
      total += std::min(sector(at).size(), limit - total);
      previous = at;
      first = false;
    }
    if (first) return std::string_view();
    return file_.substr(sector_size_ + std::size_t{start} * sector_size_, total);
  }

  std::optional<cfb_stream> read_entry(std::string_view e, std::string_view root) {
    std::uint32_t start = le32(e, 0x74);
    std::size_t size = le32(e, 0x78);  // the high half is not trusted (version 3 files leave it dirty)
    std::size_t cutoff = le32(file_, 0x38);
    if (size > file_.size()) return std::nullopt;
    std::optional<std::string> out;
    if (size >= cutoff) {
      if (auto view = contiguous(start, size)) return cfb_stream{{}, view};
      out = chain(fat_, start, size, [&](std::uint32_t s) { return sector(s); }, size);
    } else {
      // Small streams live in 64-byte sectors of the root entry's own stream.
      std::size_t mini_size = le32(root, 0x78);
      if (mini_size > file_.size()) return std::nullopt;
      auto mini = chain(fat_, le32(root, 0x74), mini_size, [&](std::uint32_t s) { return sector(s); });
      std::uint32_t minifat_start = le32(file_, 0x3C);
      auto minifat_bytes =
          chain(fat_, minifat_start, sectors_ * sector_size_, [&](std::uint32_t s) { return sector(s); });
      if (!mini || !minifat_bytes || minifat_start == no_stream) return std::nullopt;
      std::vector<std::uint32_t> minifat;
      for (std::size_t i = 0; i + 4 <= minifat_bytes->size(); i += 4) minifat.push_back(le32(*minifat_bytes, i));
      std::string_view area(*mini);
      out = chain(minifat, start, size, [&](std::uint32_t s) { return area.substr(std::min(area.size(), std::size_t{s} * 64), 64); });
    }
    // A chain that ends before the size the directory gives is taken as it is
    // (some writers record a larger size): the records in it say whether it is whole.
    if (!out || out->size() > size) return std::nullopt;
    return cfb_stream{std::move(*out), std::nullopt};
  }

  std::string_view file_;
  std::size_t sector_size_ = 512;
  std::size_t sectors_ = 0;
  std::vector<std::uint32_t> fat_;
};

}  // namespace

cfb_found find_cfb_stream(std::string_view file, const std::vector<std::u16string_view>& names) {
  return compound_file(file).stream(names);
}

std::optional<std::string> read_cfb_stream_memory(std::string_view file, const std::vector<std::u16string_view>& names) {
  auto found = find_cfb_stream(file, names).stream;
  if (!found) return std::nullopt;
  if (found->in_file) return std::string(*found->in_file);
  return std::move(found->copy);
}

std::optional<std::string> read_cfb_stream(const std::string& path, const std::vector<std::u16string_view>& names) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return read_cfb_stream_memory(bytes, names);
}

}  // namespace jet
