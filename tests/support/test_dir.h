// A private temporary folder for one test case, removed when the case ends.
// Its name holds the process id and the test's name, so cases running in
// parallel never share it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class test_dir {
 public:
  test_dir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "orv-" + std::to_string(::getpid());
    if (info) name += std::string("-") + info->test_suite_name() + "-" + info->name();
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~test_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  test_dir(const test_dir&) = delete;
  test_dir& operator=(const test_dir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  // The whole content of a file, as bytes.
  static std::string read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::filesystem::path path_;
};
