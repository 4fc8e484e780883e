// Read access to the parts of a zip package (an .xlsx file), bounded so that a
// hostile archive cannot make us inflate or allocate without limit. Parts may be
// read from several threads at once: the archive is used under one lock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

struct zip;
struct zip_file;

namespace jet {

class zip_package {
 public:
  // Opens a package from a file or from bytes in memory; 3274 when it is not a zip.
  static zip_package open_file(const std::string& path);
  static zip_package open_memory(std::string bytes);

  zip_package(zip_package&&) noexcept;
  zip_package& operator=(zip_package&&) noexcept;
  ~zip_package();

  // True when the package has a part of that name (leading '/' ignored).
  bool has_part(const std::string& name) const;

  // Reads a part as a stream of chunks. The number of bytes inflated is bounded
  // by the part's compressed size times a ratio, and absolutely.
  class part_stream {
   public:
    part_stream(part_stream&&) noexcept;
    ~part_stream();
    // Reads up to size bytes; 0 at the end. 3274 on a damaged or bomb-like part.
    std::size_t read(char* buffer, std::size_t size);

   private:
    friend class zip_package;
    part_stream(zip_file* file, std::uint64_t limit, std::shared_ptr<std::mutex> lock);
    zip_file* file_;
    std::shared_ptr<std::mutex> lock_;
    std::uint64_t limit_;
    std::uint64_t done_ = 0;
  };
  // Opens a part; nullopt when there is none.
  std::optional<part_stream> open_part(const std::string& name) const;
  // The size the archive gives for a part inflated (not to be trusted beyond a
  // guess); 0 when it gives none or there is no such part.
  std::uint64_t declared_size(const std::string& name) const;

 private:
  explicit zip_package(zip* archive, std::shared_ptr<std::string> bytes, std::uint64_t file_size);
  std::int64_t locate(const std::string& name) const;
  zip* archive_;
  // Entries by their name with '/' for every backslash and letters folded, built on the
  // first part not found under its own name (some writers separate with backslashes).
  mutable std::optional<std::unordered_map<std::string, std::int64_t>> folded_names_;
  std::shared_ptr<std::string> bytes_;  // backing store of an in-memory package
  std::uint64_t file_size_;
  std::shared_ptr<std::mutex> lock_ = std::make_shared<std::mutex>();
};

// Joins a relationship target to the folder of its source part, the way package
// relationships resolve ("worksheets/sheet1.xml" from "xl/workbook.xml" is
// "xl/worksheets/sheet1.xml"; "/xl/x.xml" is absolute; ".." steps up).
std::string resolve_part_name(const std::string& source_part, const std::string& target);

}  // namespace jet
