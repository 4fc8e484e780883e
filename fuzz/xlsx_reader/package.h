// A valid package around a worksheet part and a shared-string part, for the
// targets that mutate those parts.
#pragma once

#include <zip.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

inline std::string package(const std::vector<std::pair<std::string, std::string>>& parts) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_source_keep(buffer);
  zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  if (!archive) std::abort();
  for (const auto& [name, content] : parts) {
    zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
    zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE);
  }
  if (zip_close(archive) != 0) std::abort();
  zip_source_open(buffer);
  zip_source_seek(buffer, 0, SEEK_END);
  zip_int64_t size = zip_source_tell(buffer);
  zip_source_seek(buffer, 0, SEEK_SET);
  std::string out(static_cast<std::size_t>(size), '\0');
  zip_source_read(buffer, out.data(), static_cast<zip_uint64_t>(size));
  zip_source_close(buffer);
  zip_source_free(buffer);
  zip_error_fini(&error);
  return out;
}


// A one-sheet package whose worksheet and shared-string parts are as given.
inline std::string worksheet_package(const std::string& sheet, const std::string& strings) {
  std::string r = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  return package({
      {"_rels/.rels", "<Relationships><Relationship Id=\"rId1\" Type=\"" + r +
                          "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/workbook.xml", "<workbook xmlns:r=\"" + r + "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/>"
                          "</sheets><definedNames><definedName name=\"R\">S!$A$1:$C$4</definedName></definedNames>"
                          "</workbook>"},
      {"xl/_rels/workbook.xml.rels",
       "<Relationships><Relationship Id=\"rId1\" Type=\"" + r + "/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
       "<Relationship Id=\"rId2\" Type=\"" + r + "/sharedStrings\" Target=\"sharedStrings.xml\"/>"
       "<Relationship Id=\"rId3\" Type=\"" + r + "/styles\" Target=\"styles.xml\"/></Relationships>"},
      {"xl/styles.xml", "<styleSheet><numFmts><numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd\"/></numFmts>"
                        "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"164\"/><xf numFmtId=\"7\"/></cellXfs>"
                        "</styleSheet>"},
      {"xl/worksheets/sheet1.xml", sheet},
      {"xl/sharedStrings.xml", strings},
  });
}
