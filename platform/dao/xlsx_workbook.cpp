#include "platform/dao/xlsx_workbook.h"

#include <map>

#include "platform/dao/cell_ref.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/read_ahead.h"
#include "platform/dao/sheet_segments.h"
#include "platform/dao/xlsx_sheet.h"
#include "platform/dao/xml_stream.h"

namespace jet {

namespace {

constexpr std::size_t max_sheets = 65536;
constexpr std::size_t max_names = 65536;

bool ends_with(std::string_view text, std::string_view tail) { return text.ends_with(tail); }

struct relationship {
  std::string type, target;
  bool external = false;
};

// A part's relationships by id.
class rels_parser : public xml_stream {
 public:
  rels_parser(zip_package::part_stream part, std::map<std::string, relationship>& out)
      : xml_stream(std::move(part)), out_(out) {}

 protected:
  void on_start(std::string_view name, const char** attributes) override {
    if (name != "Relationship") return;
    const char* id = attribute(attributes, "Id");
    const char* type = attribute(attributes, "Type");
    const char* target = attribute(attributes, "Target");
    const char* mode = attribute(attributes, "TargetMode");
    if (!id || !type || !target || out_.size() >= max_sheets * 4) return;
    out_.emplace(id, relationship{type, target, mode && std::string_view(mode) == "External"});
  }
  void on_end(std::string_view) override {}
  void on_text(std::string_view) override {}

 private:
  std::map<std::string, relationship>& out_;
};

std::string rels_part_of(const std::string& part) {
  auto slash = part.rfind('/');
  std::string folder = slash == std::string::npos ? "" : part.substr(0, slash + 1);
  std::string file = slash == std::string::npos ? part : part.substr(slash + 1);
  return folder + "_rels/" + file + ".rels";
}

std::map<std::string, relationship> read_rels(const zip_package& package, const std::string& part) {
  std::map<std::string, relationship> rels;
  if (auto stream = package.open_part(rels_part_of(part))) {
    rels_parser parser(std::move(*stream), rels);
    parser.parse_all();
  }
  return rels;
}

struct sheet_entry {
  std::string name, rel_id;
};
struct name_entry {
  std::string name, formula;
  bool local = false, hidden = false;
};

class workbook_parser : public xml_stream {
 public:
  workbook_parser(zip_package::part_stream part) : xml_stream(std::move(part)) {}
  std::vector<sheet_entry> sheets;
  std::vector<name_entry> names;
  bool date1904 = false;

 protected:
  void on_start(std::string_view name, const char** attributes) override {
    if (name == "workbookPr") {
      const char* flag = attribute(attributes, "date1904");
      date1904 = flag && (std::string_view(flag) == "1" || std::string_view(flag) == "true");
    } else if (name == "sheet") {
      const char* sheet_name = attribute(attributes, "name");
      const char* id = attribute(attributes, "id");
      if (!sheet_name || !id) throw_bad_format("a worksheet without a name");
      if (sheets.size() >= max_sheets) throw_bad_format("too many worksheets");
      sheets.push_back({sheet_name, id});
    } else if (name == "definedName") {
      if (names.size() >= max_names) throw_bad_format("too many defined names");
      const char* defined = attribute(attributes, "name");
      const char* hidden = attribute(attributes, "hidden");
      in_name_ = true;
      names.push_back({defined ? defined : "", "", attribute(attributes, "localSheetId") != nullptr,
                       hidden && (std::string_view(hidden) == "1" || std::string_view(hidden) == "true")});
    }
  }
  void on_end(std::string_view name) override {
    if (name == "definedName") in_name_ = false;
  }
  void on_text(std::string_view text) override {
    if (in_name_ && names.back().formula.size() < 8192) names.back().formula.append(text);
  }

 private:
  bool in_name_ = false;
};

}  // namespace

xlsx_workbook::xlsx_workbook(zip_package package) : package_(std::move(package)) {
  std::string workbook_part = "xl/workbook.xml";
  for (const auto& [id, rel] : read_rels(package_, "")) {
    if (ends_with(rel.type, "/officeDocument") && !rel.external) {
      workbook_part = resolve_part_name("", rel.target);
      break;
    }
  }
  auto stream = package_.open_part(workbook_part);
  if (!stream) throw_bad_format("no workbook part");
  workbook_parser parser(std::move(*stream));
  parser.parse_all();
  date1904_ = parser.date1904;

  auto rels = read_rels(package_, workbook_part);
  for (const auto& [id, rel] : rels) {
    if (rel.external) continue;
    if (ends_with(rel.type, "/sharedStrings")) shared_strings_part_ = resolve_part_name(workbook_part, rel.target);
    if (ends_with(rel.type, "/styles")) styles_part_ = resolve_part_name(workbook_part, rel.target);
  }
  for (const auto& sheet : parser.sheets) {
    auto rel = rels.find(sheet.rel_id);
    if (rel == rels.end() || rel->second.external) continue;
    // Chart sheets and dialog sheets hold no cells.
    if (!ends_with(rel->second.type, "/worksheet")) continue;
    sheet_names_.push_back(sheet.name);
    sheet_parts_.push_back(resolve_part_name(workbook_part, rel->second.target));
  }
  for (const auto& name : parser.names) {
    if (name.local || name.hidden || name.name.empty() || name.name.starts_with("_xlnm.")) continue;
    auto area = parse_area_ref(name.formula);
    if (!area) continue;
    for (std::size_t i = 0; i < sheet_names_.size(); ++i) {
      if (sheet_names_[i] == area->sheet) {
        named_ranges_.push_back({name.name, i, area->area});
        break;
      }
    }
  }
}

void xlsx_workbook::load_shared_parts() const {
  if (shared_loaded_) return;
  if (!shared_strings_part_.empty()) shared_strings_ = xlsx_shared_strings::read(package_, shared_strings_part_);
  if (!styles_part_.empty()) styles_ = xlsx_styles::read(package_, styles_part_);
  shared_loaded_ = true;
}

std::unique_ptr<row_cursor> xlsx_workbook::open_sheet(std::size_t index) const {
  return open_sheet(index, xml_scan::engine::automatic);
}

std::unique_ptr<row_cursor> xlsx_workbook::open_sheet(std::size_t index, xml_scan::engine engine) const {
  return open_sheet(index, engine, std::size_t{1} << 20, segmented_sheet_cursor::helpers_for_this_machine());
}

std::unique_ptr<row_cursor> xlsx_workbook::open_sheet(std::size_t index, xml_scan::engine engine,
                                                      std::size_t segment_bytes, unsigned helpers) const {
  if (index >= sheet_parts_.size()) throw_jet(err_object_not_found, std::to_string(index));
  auto stream = package_.open_part(sheet_parts_[index]);
  if (!stream) throw_bad_format("a worksheet part is missing");
  if (engine == xml_scan::engine::automatic && helpers && package_.declared_size(sheet_parts_[index]) > segment_bytes) {
    // In segments when the part is larger than one and UTF-8; its first bytes,
    // read here to tell, are read again.
    std::string head(256, '\0');
    std::size_t got = 0;
    for (std::size_t n = 1; n && got < head.size(); got += n) n = stream->read(head.data() + got, head.size() - got);
    head.resize(got);
    auto again = package_.open_part(sheet_parts_[index]);
    if (!again) throw_bad_format("a worksheet part is missing");
    stream.reset();
    stream.emplace(std::move(*again));
    if (!xml_scan::declares_other_encoding(head)) {
      // The worksheet is inflated ahead while the shared strings are read; its
      // reading begins after.
      auto cursor = std::make_unique<segmented_sheet_cursor>(std::move(*stream), shared_strings_, styles_, date1904_,
                                                             segment_bytes, helpers);
      load_shared_parts();
      return std::make_unique<read_ahead_cursor>(std::move(cursor));
    }
  }
  load_shared_parts();
  return std::make_unique<read_ahead_cursor>(
      std::make_unique<xlsx_sheet_cursor>(std::move(*stream), shared_strings_, styles_, date1904_, engine));
}

}  // namespace jet
