// Errors of the workbook engine, numbered as the Jet engine numbers them, so that
// callers and their error tables can tell them apart.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace jet {

enum jet_error_number : int {
  err_query_syntax = 3075,           // syntax error in a query
  err_reserved = 3000,               // generic engine failure
  err_duplicate_key = 3022,          // duplicate value in a unique index
  err_file_not_found = 3024,         // no such file
  err_object_not_found = 3011,       // no such table or object
  err_no_current_record = 3021,      // read or move past either end of a recordset
  err_record_too_large = 3047,       // a value does not fit its field
  err_too_few_parameters = 3061,     // an unknown name in a query
  err_input_table_not_found = 3078,  // a query names an unknown table
  err_item_not_found = 3265,         // a collection has no such item
  err_encrypted = 3161,              // password-protected or encrypted workbook
  err_too_many_fields = 3190,        // more than 255 fields
  err_not_expected_format = 3274,    // not a workbook, or one we cannot read
  err_data_type_conversion = 3421,   // a value cannot be converted to its field's type
  err_read_only = 3027,              // writing to a database or recordset opened read-only
  err_table_exists = 3010,           // creating a table that already exists
};

// An engine error: the Jet number and its English description.
class jet_error : public std::runtime_error {
 public:
  jet_error(int number, const std::string& description) : std::runtime_error(description), number_(number) {}
  int number() const { return number_; }

 private:
  int number_;
};

// The standard description of an error number; "%s" in it takes arg.
std::string jet_description(int number, std::string_view arg = {});

// Throws the error with its standard description.
[[noreturn]] void throw_jet(int number, std::string_view arg = {});

// A workbook whose structure cannot be read: 3274 with a detail for the trace.
[[noreturn]] void throw_bad_format(std::string_view detail);

}  // namespace jet
