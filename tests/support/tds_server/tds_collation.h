// The collations of the test server, named as SQL Server names them: each
// with its Windows locale, comparison flags, version, SQL sort id and code
// page, and its five bytes in TDS (COLMETADATA, ENVCHANGE, bulk metadata).
// The server's default is SQL_Latin1_General_CP1_CI_AS.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tds {

struct collation_info {
  const char* name;
  uint32_t lcid;
  bool ignore_case, ignore_accent, ignore_kana, ignore_width, binary;
  uint8_t version;  // COLLATIONPROPERTY's Version: 0, 1 (90), 2 (100), 3 (140)
  uint8_t sort_id;  // SQL collations only; 0 for Windows collations
  int code_page;
};

// Collations are numbered; 0 is the server's default.
constexpr uint16_t default_collation = 0;

// By name, without regard to case; nullopt for a name SQL Server does not have here.
std::optional<uint16_t> find_collation(std::string_view name);
const collation_info& collation(uint16_t id);
// COLLATIONPROPERTY's ComparisonStyle.
int comparison_style(uint16_t id);
// The five TDS bytes: LCID and flags (4 bytes, little-endian), then the sort id.
std::string collation_bytes(uint16_t id);
// The collation five TDS bytes describe (the default when none here matches).
uint16_t collation_of_bytes(std::string_view five);

}  // namespace tds
