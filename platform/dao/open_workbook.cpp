// Recognises a workbook by its content, not its file name.
#include <cstring>
#include <fstream>

#include "platform/dao/jet_error.h"
#include "platform/dao/workbook.h"
#include "platform/dao/xls_workbook.h"
#include "platform/dao/xlsx_workbook.h"

namespace jet {

namespace {

constexpr unsigned char zip_magic[4] = {'P', 'K', 3, 4};
constexpr unsigned char cfb_magic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

}  // namespace

std::unique_ptr<workbook> open_workbook(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw_jet(err_file_not_found, path);
  unsigned char head[8] = {};
  in.read(reinterpret_cast<char*>(head), sizeof head);
  auto got = in.gcount();
  in.close();
  if (got >= 4 && std::memcmp(head, zip_magic, 4) == 0)
    return std::make_unique<xlsx_workbook>(zip_package::open_file(path));
  // A compound file: an .xls workbook, or an encrypted .xlsx package (3161).
  if (got == 8 && std::memcmp(head, cfb_magic, 8) == 0) return std::make_unique<xls_workbook>(path);
  // A bare BIFF stream: Excel 2.x to 4.0 wrote their workbooks without a compound file.
  if (got >= 4 && head[0] == 0x09 && (head[1] == 0x00 || head[1] == 0x02 || head[1] == 0x04))
    return std::make_unique<xls_workbook>(std::string(reinterpret_cast<const char*>(head), static_cast<std::size_t>(got)), false);
  throw_bad_format("not a workbook");
}

std::unique_ptr<workbook> open_xlsx_memory(std::string bytes) {
  return std::make_unique<xlsx_workbook>(zip_package::open_memory(std::move(bytes)));
}

}  // namespace jet
