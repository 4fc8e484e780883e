// Reads one stream of a compound file (the container of .xls workbooks): header,
// sector allocation table with its extension, directory, and the small-stream
// area. Only the streams of the root storage are the file's own; those inside
// other storages (embedded objects) are never taken for them. Every size, index
// and chain is checked against the file, so that a damaged or hostile file gives
// no stream rather than a crash or a hang.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

// The bytes of the root storage's stream named by the first of names that one
// goes by (compared without case); nothing when the file is not a sound compound
// file or holds no such stream.
std::optional<std::string> read_cfb_stream(const std::string& path, const std::vector<std::u16string_view>& names);

// The same over a compound file held in memory.
std::optional<std::string> read_cfb_stream_memory(std::string_view file, const std::vector<std::u16string_view>& names);

// A stream of a compound file held in memory: a view into the file where its
// sectors follow one another there (as writers mostly lay them out), else a copy.
struct cfb_stream {
  std::string copy;
  std::optional<std::string_view> in_file;
  std::string_view bytes() const { return in_file ? *in_file : std::string_view(copy); }
};

// What a lookup found: the stream and the index in names of the name it goes by;
// or no stream, damaged telling a file that is not a sound compound file from one
// that holds none of the streams.
struct cfb_found {
  std::optional<cfb_stream> stream;
  std::size_t name = 0;
  bool damaged = false;
};
cfb_found find_cfb_stream(std::string_view file, const std::vector<std::u16string_view>& names);

}  // namespace jet
