// Name validators: the rules a destination puts on the names of its databases,
// tables, fields and indexes, and the map from source names to generated names.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

// Source names and the names generated for them, in plain code-unit order.
// A source name keeps the first name generated for it.
class t_names_map {
public:
  void add(const std::wstring& src_name, const std::wstring& gen_name);

  // The generated name of the first entry (in key order) whose source name equals
  // name: exactly when exact is set, else without regard to case. The name itself
  // when there is no such entry.
  std::wstring get_mapped_name(const std::wstring& name, bool exact) const;

  const std::map<std::wstring, std::wstring>& entries() const { return map_; }
  bool empty() const { return map_.empty(); }
  void clear() { map_.clear(); }

private:
  std::map<std::wstring, std::wstring> map_;
};

// Base of every validator. The rules are data that the back end's validator fills
// in its constructor; the three operations apply them and may be replaced.
class udb_validator {
public:
  // max_length 0: no limit.
  explicit udb_validator(int max_length);
  virtual ~udb_validator() = default;

  udb_validator(const udb_validator&) = default;
  udb_validator& operator=(const udb_validator&) = default;

  // Not too long, not a reserved word (case ignored), no illegal character.
  virtual bool is_acceptable(const std::wstring& name) const;
  // The used names hold the name (case ignored).
  virtual bool is_duplicated(const std::wstring& name) const;
  // An acceptable name that is not used: the name itself cut to length with every
  // illegal character turned into '_', else that text cut shorter and followed by
  // a five-digit counter. Does not add the result to the used names.
  virtual std::wstring get_safe_name(const std::wstring& name) const;

  void add_mapped_pair(const std::wstring& src_name, const std::wstring& gen_name);

  int get_max_length() const { return max_length_; }
  const t_names_map& mapped_names() const { return mapped_names_; }
  std::vector<wchar_t>& illegal_chars() { return illegal_chars_; }
  const std::vector<wchar_t>& illegal_chars() const { return illegal_chars_; }
  std::vector<std::wstring>& reserved_words() { return reserved_words_; }
  const std::vector<std::wstring>& reserved_words() const { return reserved_words_; }
  std::vector<std::wstring>& used_names() { return used_names_; }
  const std::vector<std::wstring>& used_names() const { return used_names_; }

protected:
  // The length of a name as the server counts it against the maximum
  // (characters, unless the server counts otherwise).
  virtual std::size_t name_length(const std::wstring& name) const;
  // Drops characters from the end until the name's length is at most length.
  void cut_name(std::wstring& name, std::size_t length) const;
  // The name cut to the maximum when longer, if acceptable takes it and it is
  // not used; else that text cut shorter and followed by a five-digit counter.
  std::wstring fit_name(const std::wstring& name, const std::function<bool(const std::wstring&)>& acceptable) const;

  int max_length_;
  t_names_map mapped_names_;
  std::vector<wchar_t> illegal_chars_;
  std::vector<std::wstring> reserved_words_;
  std::vector<std::wstring> used_names_;
};
