// Text of a BIFF workbook: the strings of Excel 97 and later (UTF-16 or 8-bit
// Latin-1 characters, continued across records, with rich-text runs and phonetic
// blocks passed over), the 8-bit strings of Excel 5 and 95 in the workbook's code
// page, and the shared-string table (SST).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dao/biff_records.h"
#include "platform/dao/string_pool.h"

namespace jet {

// 8-bit text of a code page (CODEPAGE record) to UTF-8; bytes that the code page
// does not define become U+FFFD.
class codepage_decoder {
 public:
  explicit codepage_decoder(std::uint16_t codepage = 1252);
  ~codepage_decoder();
  codepage_decoder(const codepage_decoder&) = delete;
  codepage_decoder& operator=(const codepage_decoder&) = delete;

  void append(std::string_view bytes, std::string& out) const;

 private:
  void* iconv_ = nullptr;  // iconv_t; null when the code page is Latin-1 or unknown
  mutable std::mutex busy_;  // the conversion has a state: one text at a time
};

// UTF-16 code units to UTF-8; a lone surrogate becomes U+FFFD.
void append_utf16(const std::u16string& units, std::string& out);

// How a BIFF version stores text.
struct biff_text {
  bool biff8 = true;
  const codepage_decoder* codepage = nullptr;  // BIFF5
};

// A string whose character count takes count_bytes (1 or 2) bytes, as cells,
// formats, sheet names and formula results hold them.
std::string read_biff_string(biff_data& data, const biff_text& text, int count_bytes);

// count characters whose flags byte is next (Excel 97 and later; no count before
// them), as defined names hold them.
std::string read_biff8_chars(biff_data& data, std::size_t count);

// The shared-string table, held compactly in one buffer.
class biff_shared_strings {
 public:
  // Reads the SST record with its continuations; 3274 when it is malformed.
  static biff_shared_strings read(biff_data data);
  std::size_t size() const { return pool_.size(); }
  // The string at index; 3274 when the index is out of range.
  std::string_view at(std::size_t index) const;

 private:
  string_pool pool_;
};

}  // namespace jet
