// A TDS test server in the test process, with db-lib connections to it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "tests/support/tds_server/tds_server.h"
#include "tests/support/tds_server/tests/dblib_client.h"

// Runs a shell command; its standard output and error.
inline std::string run_command(const std::string& cmd) {
  FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
  std::string out;
  if (!p) return out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  ::pclose(p);
  return out;
}

class tds_server_test : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<tds::server>();
    tds_test::clear_messages();
  }
  void TearDown() override { server_.reset(); }

  std::unique_ptr<tds_test::connection> connect(const std::string& database = "", bool bulk = false,
                                                const std::string& password = "orv-Test-1") {
    return std::make_unique<tds_test::connection>("127.0.0.1", server_->port(), "sa", password, database, bulk);
  }
  // A connection to a fresh database "t".
  std::unique_ptr<tds_test::connection> fresh(bool bulk = false) {
    if (!server_->has_database("t")) server_->execute("CREATE DATABASE t");
    return connect("t", bulk);
  }
  tds::server& srv() { return *server_; }

 private:
  std::unique_ptr<tds::server> server_;
};
