#include "platform/dao/xml_stream.h"

#include <expat.h>

#include <cstring>

#include "platform/dao/jet_error.h"

namespace jet {

namespace {
constexpr std::size_t chunk_size = 256 * 1024;
}

xml_stream::xml_stream(zip_package::part_stream part, std::string head)
    : part_(std::move(part)), parser_(XML_ParserCreate(nullptr)), buffer_(chunk_size), head_(std::move(head)) {
  if (!parser_) throw std::bad_alloc();
  XML_SetUserData(parser_, this);
  XML_SetElementHandler(parser_, &start_thunk, &end_thunk);
  XML_SetCharacterDataHandler(parser_, &text_thunk);
  XML_SetStartDoctypeDeclHandler(parser_, &doctype_thunk);
}

xml_stream::~xml_stream() { XML_ParserFree(parser_); }

std::string_view xml_stream::local_name(const char* name) {
  // One pass for the end and the last colon: names are short.
  const char* after_colon = name;
  const char* p = name;
  for (; *p; ++p)
    if (*p == ':') after_colon = p + 1;
  return std::string_view(after_colon, static_cast<std::size_t>(p - after_colon));
}

const char* xml_stream::attribute(const char** attributes, std::string_view local) {
  for (; attributes && attributes[0]; attributes += 2)
    if (local_name(attributes[0]) == local) return attributes[1];
  return nullptr;
}

void xml_stream::suspend() {
  XML_StopParser(parser_, XML_TRUE);
}

void xml_stream::fail(std::exception_ptr error) {
  if (!error_) error_ = std::move(error);
  XML_StopParser(parser_, XML_FALSE);
}

void xml_stream::start_thunk(void* self, const char* name, const char** attributes) {
  auto* me = static_cast<xml_stream*>(self);
  try {
    me->on_start(local_name(name), attributes);
  } catch (...) {
    me->fail(std::current_exception());
  }
}

void xml_stream::end_thunk(void* self, const char* name) {
  auto* me = static_cast<xml_stream*>(self);
  try {
    me->on_end(local_name(name));
  } catch (...) {
    me->fail(std::current_exception());
  }
}

void xml_stream::text_thunk(void* self, const char* text, int length) {
  auto* me = static_cast<xml_stream*>(self);
  try {
    me->on_text(std::string_view(text, static_cast<std::size_t>(length)));
  } catch (...) {
    me->fail(std::current_exception());
  }
}

void xml_stream::doctype_thunk(void* self, const char*, const char*, const char*, int) {
  auto* me = static_cast<xml_stream*>(self);
  try {
    throw_bad_format("a package part declares a DTD");
  } catch (...) {
    me->fail(std::current_exception());
  }
}

bool xml_stream::pump() {
  while (!done_) {
    XML_Status status;
    if (suspended_) {
      suspended_ = false;
      status = XML_ResumeParser(parser_);
    } else if (!head_parsed_) {
      head_parsed_ = true;
      status = XML_Parse(parser_, head_.data(), static_cast<int>(head_.size()), XML_FALSE);
    } else {
      std::size_t got = part_.read(buffer_.data(), buffer_.size());
      final_ = got == 0;
      status = XML_Parse(parser_, buffer_.data(), static_cast<int>(got), final_ ? XML_TRUE : XML_FALSE);
    }
    if (error_) std::rethrow_exception(error_);
    if (status == XML_STATUS_ERROR) throw_bad_format(XML_ErrorString(XML_GetErrorCode(parser_)));
    if (status == XML_STATUS_SUSPENDED) {
      suspended_ = true;
      return true;
    }
    if (final_) done_ = true;
  }
  return false;
}

}  // namespace jet
