#include "platform/dao/zip_package.h"

#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <utility>
#include <vector>

#include "platform/dao/jet_error.h"

namespace jet {

namespace {

// A part may inflate to this many times its compressed size once it passes the
// floor; genuine sheet XML compresses well below this ratio.
constexpr std::uint64_t max_ratio = 1000;
constexpr std::uint64_t ratio_floor = std::uint64_t{64} << 20;
constexpr std::uint64_t max_part_bytes = std::uint64_t{4} << 30;

std::string strip_slash(const std::string& name) { return !name.empty() && name[0] == '/' ? name.substr(1) : name; }

// A part name as it is looked up when not found as it stands: a backslash as '/', no
// leading separator, ASCII letters in lower case.
std::string folded_part_name(std::string name) {
  for (char& c : name) {
    if (c == '\\') c = '/';
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return strip_slash(name);
}

}  // namespace

zip_package::zip_package(zip* archive, std::shared_ptr<std::string> bytes, std::uint64_t file_size)
    : archive_(archive), bytes_(std::move(bytes)), file_size_(file_size) {}

zip_package::zip_package(zip_package&& other) noexcept
    : archive_(std::exchange(other.archive_, nullptr)), folded_names_(std::move(other.folded_names_)),
      bytes_(std::move(other.bytes_)), file_size_(other.file_size_), lock_(other.lock_) {}

zip_package& zip_package::operator=(zip_package&& other) noexcept {
  if (this != &other) {
    if (archive_) zip_discard(archive_);
    archive_ = std::exchange(other.archive_, nullptr);
    folded_names_ = std::move(other.folded_names_);
    bytes_ = std::move(other.bytes_);
    file_size_ = other.file_size_;
    lock_ = other.lock_;
  }
  return *this;
}

zip_package::~zip_package() {
  if (archive_) zip_discard(archive_);
}

zip_package zip_package::open_file(const std::string& path) {
  int error = 0;
  zip* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) throw_bad_format("not a zip package");
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  return zip_package(archive, nullptr, ec ? max_part_bytes : size);
}

zip_package zip_package::open_memory(std::string bytes) {
  auto store = std::make_shared<std::string>(std::move(bytes));
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(store->data(), store->size(), 0, &error);
  if (!source) {
    zip_error_fini(&error);
    throw_bad_format("not a zip package");
  }
  zip* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
  zip_error_fini(&error);
  if (!archive) {
    zip_source_free(source);
    throw_bad_format("not a zip package");
  }
  return zip_package(archive, store, store->size());
}

std::int64_t zip_package::locate(const std::string& name) const {
  std::lock_guard guard(*lock_);
  std::string part = strip_slash(name);
  zip_int64_t index = zip_name_locate(archive_, part.c_str(), 0);
  if (index < 0) index = zip_name_locate(archive_, part.c_str(), ZIP_FL_NOCASE);
  if (index >= 0) return index;
  if (!folded_names_) {
    folded_names_.emplace();
    zip_int64_t entries = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < entries; ++i)
      if (const char* entry = zip_get_name(archive_, static_cast<zip_uint64_t>(i), 0))
        folded_names_->emplace(folded_part_name(entry), i);
  }
  auto found = folded_names_->find(folded_part_name(part));
  return found == folded_names_->end() ? -1 : found->second;
}

bool zip_package::has_part(const std::string& name) const { return locate(name) >= 0; }

std::optional<zip_package::part_stream> zip_package::open_part(const std::string& name) const {
  std::int64_t index = locate(name);
  if (index < 0) return std::nullopt;
  std::lock_guard guard(*lock_);
  zip_stat_t stat;
  zip_stat_init(&stat);
  std::uint64_t compressed = file_size_;
  if (zip_stat_index(archive_, index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_COMP_SIZE))
    compressed = std::min<std::uint64_t>(stat.comp_size, file_size_);
  std::uint64_t limit = std::min(max_part_bytes, std::max(ratio_floor, compressed * max_ratio));
  zip_file* file = zip_fopen_index(archive_, index, 0);
  if (!file) throw_bad_format("unreadable package part");
  return part_stream(file, limit, lock_);
}

std::uint64_t zip_package::declared_size(const std::string& name) const {
  std::int64_t index = locate(name);
  if (index < 0) return 0;
  std::lock_guard guard(*lock_);
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive_, index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE)) return stat.size;
  return 0;
}

zip_package::part_stream::part_stream(zip_file* file, std::uint64_t limit, std::shared_ptr<std::mutex> lock)
    : file_(file), lock_(std::move(lock)), limit_(limit) {}

zip_package::part_stream::part_stream(part_stream&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)), lock_(other.lock_), limit_(other.limit_), done_(other.done_) {}

zip_package::part_stream::~part_stream() {
  if (file_) {
    std::lock_guard guard(*lock_);
    zip_fclose(file_);
  }
}

std::size_t zip_package::part_stream::read(char* buffer, std::size_t size) {
  zip_int64_t got;
  {
    std::lock_guard guard(*lock_);
    got = zip_fread(file_, buffer, size);
  }
  if (got < 0) throw_bad_format("damaged package part");
  done_ += static_cast<std::uint64_t>(got);
  if (done_ > limit_) throw_bad_format("package part inflates beyond its bound");
  return static_cast<std::size_t>(got);
}

std::string resolve_part_name(const std::string& source_part, const std::string& target) {
  std::vector<std::string> parts;
  auto push_path = [&parts](const std::string& path) {
    std::size_t start = 0;
    while (start <= path.size()) {
      std::size_t end = path.find_first_of("/\\", start);
      if (end == std::string::npos) end = path.size();
      std::string piece = path.substr(start, end - start);
      if (piece == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!piece.empty() && piece != ".") {
        parts.push_back(piece);
      }
      start = end + 1;
    }
  };
  if (target.empty() || (target[0] != '/' && target[0] != '\\')) {
    auto slash = source_part.find_last_of("/\\");
    if (slash != std::string::npos) push_path(source_part.substr(0, slash));
  }
  push_path(target);
  std::string out;
  for (const auto& piece : parts) {
    if (!out.empty()) out += '/';
    out += piece;
  }
  return out;
}

}  // namespace jet
