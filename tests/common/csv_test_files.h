// A private temporary folder for one test case, with helpers to write files in it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

class csv_temp_dir {
public:
    csv_temp_dir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("orv-csv-") + (info ? info->test_suite_name() : "x") + "-" +
                           (info ? info->name() : "x") + "-" + std::to_string(::getpid()) + "-XXXXXX";
        std::string tmpl = (std::filesystem::temp_directory_path() / name).string();
        if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~csv_temp_dir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    // Writes `bytes` exactly as given into a file of that name and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const {
        std::string p = (path_ / name).string();
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};
