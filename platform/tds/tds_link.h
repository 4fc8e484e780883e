// One db-lib connection: the login with every setting that decides how we
// talk made here (a user's freetds.conf may still give the session's
// language, which nothing we send depends on), batches with their results
// read whole, and the bulk-copy calls.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/oledb/oledb_types.h"

struct tds_dbprocess;

// Where and how to log in. server: "host", "host:port" or "host\instance".
struct tds_login {
  std::string server;
  std::string user;
  std::string password;
  std::string database;
  bool integrated = false;  // Kerberos (the network login) instead of user and password
  int login_timeout = 15;
};

// A column of a result: its OLE DB type and size, as the rowsets report them.
struct tds_column {
  std::wstring name;
  DBTYPE type = DBTYPE_WSTR;
  DBLENGTH size = 0;  // characters of text, bytes of binary, else the fixed size
  BYTE precision = 0;
  BYTE scale = 0;
  bool nullable = true;
  bool identity = false;
  bool is_long = false;     // (n)varchar(max), (n)text, varbinary(max), image
  bool unicode = true;      // for text: nchar, nvarchar, ntext
  unsigned code_page = 0;   // for char, varchar and text: the code page of its collation (0: not known)
  int server_type = 0;      // the server's type code
};

// A value in its OLE DB form (see tds_cells.h); null when absent.
struct tds_cell {
  bool null = true;
  std::vector<BYTE> bytes;
};
using tds_row = std::vector<tds_cell>;

struct tds_result {
  std::vector<tds_column> columns;
  std::vector<tds_row> rows;
  long long rows_affected = -1;
};

class tds_link {
 public:
  // Logs in; a failure leaves the link closed with the error collected
  // (tds_fail gives the result).
  explicit tds_link(const tds_login& login);
  ~tds_link();
  tds_link(const tds_link&) = delete;
  tds_link& operator=(const tds_link&) = delete;

  bool is_open() const;
  // The connection died (a dropped link, a timeout).
  bool is_dead() const;
  const tds_login& login() const { return login_; }

  // Runs a batch and reads every result; false on any error (collected).
  bool run(const std::wstring& sql, std::vector<tds_result>* results = nullptr);

  // Bulk copy into a table (its T-SQL name): init, bind every column,
  // per row set lengths and pointers, send; batch and done.
  bool bcp_init(const std::wstring& table);
  bool bcp_bind(int column, int host_type, int max_length);
  bool bcp_row(const std::vector<const BYTE*>& values, const std::vector<int>& lengths);
  bool bcp_batch();
  bool bcp_done();
  bool bcp_keep_identity();
  // A NULL of a row stays NULL where the column has a default (KEEP_NULLS),
  // as an INSERT of NULL does.
  bool bcp_keep_nulls();

 private:
  tds_login login_;
  std::unique_ptr<tds_dbprocess> process_;
};
