// The system's value type: an OLE Automation VARIANT with 64-bit integers and
// date parts kept beside it, byte arrays as binary values, and fixed text forms
// for every type. Every field value read from a source and written to a
// destination is one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TK/tk_singl.h"
#include "platform/oleaut/oleaut.h"

class ole_variant {
 public:
  ole_variant();
  ole_variant(const SYSTEMTIME& parts);
  ole_variant(const CY& value);
  ole_variant(const DECIMAL& value);
  // A copy of the BSTR (null is the empty text). The pointer must be a BSTR.
  explicit ole_variant(BSTR text);
  ole_variant(bool value);
  ole_variant(char value);
  ole_variant(signed char value);
  ole_variant(unsigned char value);
  ole_variant(short value);
  ole_variant(unsigned short value);
  ole_variant(int value);
  ole_variant(unsigned int value);
  ole_variant(long value);
  ole_variant(unsigned long value);
  ole_variant(long long value);
  ole_variant(unsigned long long value);
  ole_variant(float value);
  ole_variant(double value);
  // Text in the calling thread's ANSI code page.
  ole_variant(const std::string& text);
  ole_variant(const char* text);
  ole_variant(const std::wstring& text);
  ole_variant(const wchar_t* text);
  // A binary value.
  ole_variant(const std::vector<BYTE>& bytes);
  // A copy of a VARIANT; VT_I8 / VT_UI8 and VT_DATE fill their caches.
  explicit ole_variant(const VARIANT& value);
  ole_variant(const ole_variant& other);
  ole_variant(ole_variant&& other) noexcept;
  virtual ~ole_variant();

  ole_variant& operator=(const ole_variant& other);
  ole_variant& operator=(ole_variant&& other) noexcept;

  // The value's text: numbers in the C locale ("%.15e" for a double, with a
  // three-digit exponent), dates as their date text, booleans "1" / "0",
  // binary values as "0x" and hexadecimal digits (at most 0x50000 bytes).
  virtual std::string to_string() const;
  // The text itself for VT_BSTR, else to_string in wide text.
  virtual std::wstring to_wstring() const;

  // Builds a value of type vt from text; see the source for the rules by type.
  // Text that the type cannot take throws ole_type_exception; a whole number
  // beyond an integer type's range throws ole_cast_exception, as change_type
  // does; currency, decimal, date and binary text that does not read gives
  // VT_EMPTY.
  void from_string(const std::string& text, VARTYPE vt);
  void from_wstring(const std::wstring& text, VARTYPE vt);
  // Changes the value's type in place; throws ole_cast_exception when the
  // value cannot be changed (out of range included).
  void change_type(VARTYPE vt);

  void clear();
  void attach_string(const std::string& text);
  void attach_wstring(const std::wstring& text);
  void attach_binary(const std::vector<BYTE>& bytes);
  void attach_binary(std::size_t length, const BYTE* bytes);
  // Copies a VARIANT in, filling the caches (VT_I8 / VT_UI8 from the union,
  // VT_DATE's parts from its date number).
  void attach_variant(const VARIANT& value);
  // Makes the value a byte array of size bytes (resizing one it holds, keeping
  // its leading bytes).
  void allocate_safe_array(int size);

  VARTYPE get_vt() const { return value_.vt; }
  const VARIANT& get_variant() const { return value_; }
  std::int64_t get_i8() const { return i8_; }
  std::uint64_t get_ui8() const { return ui8_; }
  // The date parts of a VT_DATE value; zeros for any other type.
  SYSTEMTIME get_systemtime() const { return value_.vt == VT_DATE ? date_ : SYSTEMTIME{}; }
  // The value as a number or a truth value, for binding: integers, reals,
  // booleans, decimals and currency (to_double); any other type is an internal error.
  long to_long() const;
  double to_double() const;
  bool to_bool() const;
  // A binary value's bytes: the address in data and the byte count; 0 (data
  // untouched) for VT_EMPTY / VT_NULL; any other type is an internal error.
  int get_bytes(const BYTE** data) const;
  void get_systemtime(SYSTEMTIME& out) const { out = get_systemtime(); }
  // The bytes of a binary value; empty for any other type.
  std::vector<BYTE> get_binary() const;
  bool is_binary() const;

 private:
  void copy_from(const ole_variant& other);
  // A BSTR that cannot be allocated is the internal error at check_line.
  void attach_text(const std::wstring& text, int check_line);
  void set_i8(std::int64_t value);
  void set_ui8(std::uint64_t value);
  void set_date(const SYSTEMTIME& parts);
  // Refreshes the caches after the VARIANT was set by a platform conversion.
  void sync_caches();
  // The bytes of the value as it is stored (step to a binary type).
  std::vector<BYTE> own_bytes() const;

  std::int64_t i8_ = 0;
  std::uint64_t ui8_ = 0;
  SYSTEMTIME date_{};
  VARIANT value_;
};

// The optional mapping of booleans to text: no program creates it, so booleans
// print as "1" / "0". With mode 1 they print as "-1" / "0".
class ole_bool_mapping : public tk_singleton<ole_bool_mapping> {
 public:
  explicit ole_bool_mapping(int mode) : mode_(mode) {}
  int get_mode() const { return mode_; }

 private:
  int mode_;
};

// Elements of a one-dimensional array: upper - lower + 1, 0 when empty.
int get_safe_array_size(const SAFEARRAY* array);

// Binary types: VT_BLOB, VT_BLOB_OBJECT and a byte array (VT_ARRAY | VT_UI1).
bool ole_is_binary_type(VARTYPE vt);
