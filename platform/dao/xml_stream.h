// A streaming XML reader over one package part (expat underneath). Derived readers
// handle elements by their local name (any namespace prefix dropped) and may
// suspend the parse from a handler, so that a caller can take one unit (a row) at
// a time. Documents with a DTD are refused: package parts never carry one.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dao/zip_package.h"

struct XML_ParserStruct;

namespace jet {

class xml_stream {
 public:
  // head: bytes of the part already read from it, parsed before the rest.
  explicit xml_stream(zip_package::part_stream part, std::string head = {});
  xml_stream(const xml_stream&) = delete;
  xml_stream& operator=(const xml_stream&) = delete;
  virtual ~xml_stream();

  // Parses until a handler suspends (true) or the document ends (false). Malformed
  // XML raises 3274; an exception thrown by a handler travels out of here.
  bool pump();
  // Parses the whole document.
  void parse_all() {
    while (pump()) {
    }
  }

  // The attribute of that local name, or null.
  static const char* attribute(const char** attributes, std::string_view local);
  static std::string_view local_name(const char* name);

 protected:
  virtual void on_start(std::string_view name, const char** attributes) = 0;
  virtual void on_end(std::string_view name) = 0;
  virtual void on_text(std::string_view text) = 0;
  // From a handler: stop after this event; pump returns true.
  void suspend();

 private:
  static void start_thunk(void* self, const char* name, const char** attributes);
  static void end_thunk(void* self, const char* name);
  static void text_thunk(void* self, const char* text, int length);
  static void doctype_thunk(void* self, const char*, const char*, const char*, int);
  void fail(std::exception_ptr error);

  zip_package::part_stream part_;
  XML_ParserStruct* parser_;
  std::vector<char> buffer_;
  std::string head_;
  bool head_parsed_ = false;
  std::exception_ptr error_;
  bool suspended_ = false;
  bool final_ = false;
  bool done_ = false;
};

}  // namespace jet
