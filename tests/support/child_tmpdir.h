// A fresh temporary folder for a program a test starts: the environment that
// names it (TMPDIR), and what the program left in it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

class child_tmpdir {
 public:
  explicit child_tmpdir(std::filesystem::path folder) : folder_(std::move(folder)) {
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    for (char** e = environ; *e; ++e)
      if (std::string(*e).rfind("TMPDIR=", 0) != 0) env_.emplace_back(*e);
    env_.push_back("TMPDIR=" + folder_.string());
    for (auto& e : env_) envp_.push_back(e.data());
    envp_.push_back(nullptr);
  }
  child_tmpdir(const child_tmpdir&) = delete;
  child_tmpdir& operator=(const child_tmpdir&) = delete;

  // For posix_spawn: this process's environment with TMPDIR naming the folder.
  char** environment() { return envp_.data(); }
  // The names in the folder that begin with prefix.
  std::vector<std::string> left(const std::string& prefix) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
      if (entry.path().filename().string().rfind(prefix, 0) == 0) names.push_back(entry.path().filename().string());
    return names;
  }

 private:
  std::filesystem::path folder_;
  std::vector<std::string> env_;
  std::vector<char*> envp_;
};
