// The ordered list behind the index and foreign-key lists.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "TK/tk_utils.h"

template <class T>
class udb_list {
public:
  using container = std::vector<T>;

  void push_back(T item) { items_.push_back(std::move(item)); }
  void clear() { items_.clear(); }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  T& operator[](std::size_t i) { return items_[i]; }
  const T& operator[](std::size_t i) const { return items_[i]; }
  T& back() { return items_.back(); }
  typename container::iterator begin() { return items_.begin(); }
  typename container::iterator end() { return items_.end(); }
  typename container::const_iterator begin() const { return items_.begin(); }
  typename container::const_iterator end() const { return items_.end(); }

protected:
  // The first item whose name equals the given one without regard to case;
  // null when there is none.
  const T* find_name(const std::wstring& name) const {
    for (const T& item : items_)
      if (tk_wcompare_nocase(item.name, name) == 0) return &item;
    return nullptr;
  }

  container items_;
};
