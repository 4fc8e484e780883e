#include "platform/dao/xlsx_styles.h"

#include <charconv>
#include <cstring>
#include <map>

#include "platform/dao/xml_stream.h"

namespace jet {

namespace {

constexpr std::size_t max_styles = 1 << 20;

int to_int(const char* text, int fallback) {
  if (!text) return fallback;
  int value = fallback;
  auto [end, ec] = std::from_chars(text, text + std::strlen(text), value);
  return ec == std::errc() ? value : fallback;
}

class styles_parser : public xml_stream {
 public:
  styles_parser(zip_package::part_stream part, xlsx_styles& out) : xml_stream(std::move(part)), out_(out) {}

 protected:
  void on_start(std::string_view name, const char** attributes) override {
    if (name == "numFmt") {
      const char* code = attribute(attributes, "formatCode");
      int id = to_int(attribute(attributes, "numFmtId"), -1);
      if (code && id >= 0) custom_[id] = custom_format_class(code);
    } else if (name == "cellXfs") {
      in_xfs_ = true;
    } else if (name == "xf" && in_xfs_) {
      if (out_.classes().size() >= max_styles) return;
      int id = to_int(attribute(attributes, "numFmtId"), 0);
      auto found = custom_.find(id);
      out_.classes().push_back(found != custom_.end() ? found->second : builtin_format_class(id));
    }
  }
  void on_end(std::string_view name) override {
    if (name == "cellXfs") in_xfs_ = false;
  }
  void on_text(std::string_view) override {}

 private:
  xlsx_styles& out_;
  std::map<int, format_class> custom_;
  bool in_xfs_ = false;
};

}  // namespace

xlsx_styles xlsx_styles::read(const zip_package& package, const std::string& part) {
  xlsx_styles styles;
  auto stream = package.open_part(part);
  if (!stream) return styles;
  styles_parser parser(std::move(*stream), styles);
  parser.parse_all();
  return styles;
}

}  // namespace jet
