// Recognises a workbook by its content, not its file name.
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>

#include "platform/dao/jet_error.h"
#include "platform/dao/workbook.h"
#include "platform/dao/xls_workbook.h"
#include "platform/dao/xlsx_workbook.h"

namespace jet {

namespace {

constexpr unsigned char zip_magic[4] = {'P', 'K', 3, 4};
constexpr unsigned char cfb_magic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// An encrypted OOXML package is a compound file holding an "EncryptedPackage" stream.
bool holds_encrypted_package(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  static const char name[] = "E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0";
  return std::string_view(bytes).find(std::string_view(name, sizeof name - 1)) != std::string_view::npos;
}

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
  if (got == 8 && std::memcmp(head, cfb_magic, 8) == 0) {
    if (holds_encrypted_package(path)) throw_jet(err_encrypted);
    return std::make_unique<xls_workbook>(path);
  }
  throw_bad_format("not a workbook");
}

std::unique_ptr<workbook> open_xlsx_memory(std::string bytes) {
  return std::make_unique<xlsx_workbook>(zip_package::open_memory(std::move(bytes)));
}

}  // namespace jet
