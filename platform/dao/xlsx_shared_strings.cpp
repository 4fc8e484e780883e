#include "platform/dao/xlsx_shared_strings.h"

#include "platform/dao/jet_error.h"
#include "platform/dao/xml_scan.h"

namespace jet {

namespace {

constexpr std::uint64_t max_pool_bytes = std::uint64_t{1} << 30;
constexpr std::size_t max_strings = std::size_t{1} << 26;

class sst_parser : public xml_scan {
 public:
  sst_parser(zip_package::part_stream part, xlsx_shared_strings& out) : xml_scan(std::move(part)), out_(out) {}

 protected:
  void on_start(std::string_view name, const char**) override {
    if (name == "si") {
      in_si_ = true;
      text_.clear();
    } else if (name == "rPh") {
      ++phonetic_;
    } else if (name == "t" && in_si_ && !phonetic_) {
      in_t_ = true;
    }
  }
  void on_end(std::string_view name) override {
    if (name == "si" && in_si_) {
      in_si_ = false;
      if (out_.size() >= max_strings) throw_bad_format("too many shared strings");
      decode_ooxml_escapes(text_);
      out_.add(text_);
    } else if (name == "rPh") {
      if (phonetic_) --phonetic_;
    } else if (name == "t") {
      in_t_ = false;
    }
  }
  void on_text(std::string_view text) override {
    if (in_t_) {
      total_ += text.size();
      if (total_ > max_pool_bytes) throw_bad_format("shared strings beyond their bound");
      text_.append(text);
    }
  }

 private:
  xlsx_shared_strings& out_;
  std::string text_;
  std::uint64_t total_ = 0;
  int phonetic_ = 0;
  bool in_si_ = false;
  bool in_t_ = false;
};

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

xlsx_shared_strings xlsx_shared_strings::read(const zip_package& package, const std::string& part) {
  xlsx_shared_strings table;
  auto stream = package.open_part(part);
  if (!stream) return table;
  sst_parser parser(std::move(*stream), table);
  while (parser.pump()) {
  }
  return table;
}

void xlsx_shared_strings::add(std::string_view text) { strings_.add(text); }

std::string_view xlsx_shared_strings::at(std::size_t index) const {
  if (index >= strings_.size()) throw_bad_format("shared string index out of range");
  return strings_[index];
}

void decode_ooxml_escapes(std::string& text) {
  std::size_t at = text.find("_x");
  if (at == std::string::npos) return;
  std::string out = text.substr(0, at);
  std::size_t i = at;
  while (i < text.size()) {
    if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
      int a = hex_value(text[i + 2]), b = hex_value(text[i + 3]), c = hex_value(text[i + 4]),
          d = hex_value(text[i + 5]);
      if (a >= 0 && b >= 0 && c >= 0 && d >= 0) {
        std::uint32_t unit = static_cast<std::uint32_t>((a << 12) | (b << 8) | (c << 4) | d);
        // A surrogate pair arrives as two escapes.
        if (unit >= 0xD800 && unit < 0xDC00 && i + 13 < text.size() && text[i + 7] == '_' && text[i + 8] == 'x' &&
            text[i + 13] == '_') {
          int e = hex_value(text[i + 9]), f = hex_value(text[i + 10]), g = hex_value(text[i + 11]),
              h = hex_value(text[i + 12]);
          std::uint32_t low = static_cast<std::uint32_t>((e << 12) | (f << 8) | (g << 4) | h);
          if (e >= 0 && f >= 0 && g >= 0 && h >= 0 && low >= 0xDC00 && low < 0xE000) {
            append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            i += 14;
            continue;
          }
        }
        if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;
        append_utf8(out, unit);
        i += 7;
        continue;
      }
    }
    out += text[i++];
  }
  text.swap(out);
}

}  // namespace jet
