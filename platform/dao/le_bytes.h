// Little-endian integers read from bytes of a binary file (compound files, BIFF
// records). The caller has checked that the bytes are there.
#pragma once

#include <cstdint>
#include <string_view>

namespace jet {

inline std::uint16_t le16(std::string_view s, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8);
}

inline std::uint32_t le32(std::string_view s, std::size_t at) { return le16(s, at) | std::uint32_t{le16(s, at + 2)} << 16; }

}  // namespace jet
