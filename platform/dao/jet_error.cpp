#include "platform/dao/jet_error.h"

namespace jet {

namespace {

const char* description_format(int number) {
  switch (number) {
    case err_object_not_found:
      return "The Microsoft Jet database engine could not find the object '%s'. Make sure the object exists "
             "and that you spell its name and the path name correctly.";
    case err_no_current_record: return "No current record.";
    case err_duplicate_key:
      return "The changes you requested to the table were not successful because they would create duplicate "
             "values in the index, primary key, or relationship. Change the data in the field or fields that "
             "contain duplicate data, remove the index, or redefine the index to permit duplicate entries and "
             "try again.";
    case err_file_not_found: return "Could not find file '%s'.";
    case err_read_only: return "Cannot update. Database or object is read-only.";
    case err_table_exists: return "Table '%s' already exists.";
    case err_record_too_large: return "Record is too large.";
    case err_too_few_parameters: return "Too few parameters. Expected 1. (%s)";
    case err_query_syntax: return "Syntax error in query expression '%s'.";
    case err_input_table_not_found:
      return "The Microsoft Jet database engine cannot find the input table or query '%s'. Make sure it exists "
             "and that its name is spelled correctly.";
    case err_encrypted: return "Could not decrypt file.";
    case err_too_many_fields: return "Too many fields defined.";
    case err_item_not_found: return "Item not found in this collection.";
    case err_not_expected_format: return "External table is not in the expected format.";
    case err_data_type_conversion: return "Data type conversion error.";
    default: return "Reserved error (%s); there is no message for this error.";
  }
}

}  // namespace

std::string jet_description(int number, std::string_view arg) {
  std::string format = description_format(number);
  auto at = format.find("%s");
  if (at != std::string::npos) format.replace(at, 2, arg);
  return format;
}

void throw_jet(int number, std::string_view arg) { throw jet_error(number, jet_description(number, arg)); }

void throw_bad_format(std::string_view detail) {
  std::string text = jet_description(err_not_expected_format);
  if (!detail.empty()) text.append(" (").append(detail).append(")");
  throw jet_error(err_not_expected_format, text);
}

}  // namespace jet
