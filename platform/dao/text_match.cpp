#include "platform/dao/text_match.h"

#include "platform/dao/jet_error.h"
#include "platform/kernel/nocase.h"

namespace jet {

namespace {

// The code point at i, moving i past it. A byte that does not start a whole,
// shortest UTF-8 sequence stands for itself as U+DC80 to U+DCFF, which no
// valid text holds.
char32_t next_code_point(std::string_view text, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char b = byte(i);
  if (b < 0x80) {
    ++i;
    return b;
  }
  int length = 0;
  if (b >= 0xC2 && b <= 0xDF) length = 2;
  else if (b >= 0xE0 && b <= 0xEF) length = 3;
  else if (b >= 0xF0 && b <= 0xF4) length = 4;
  if (length == 0 || i + length > text.size()) {
    ++i;
    return 0xDC00 + b;
  }
  char32_t c = b & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    unsigned char next = byte(i + k);
    if ((next & 0xC0) != 0x80) {
      ++i;
      return 0xDC00 + b;
    }
    c = (c << 6) | (next & 0x3F);
  }
  bool shortest = (length == 3 && c >= 0x800) || (length == 4 && c >= 0x10000 && c <= 0x10FFFF) || length == 2;
  if (!shortest || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return 0xDC00 + b;
  }
  i += static_cast<std::size_t>(length);
  return c;
}

std::vector<char32_t> folded_code_points(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) out.push_back(kernel::fold_case(next_code_point(text, i)));
  return out;
}

}  // namespace

int compare_text_nocase(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    char32_t x = kernel::fold_case(next_code_point(a, i));
    char32_t y = kernel::fold_case(next_code_point(b, j));
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

like_pattern::like_pattern(std::string_view pattern, char32_t escape) {
  std::vector<char32_t> p;
  for (std::size_t i = 0; i < pattern.size();) p.push_back(next_code_point(pattern, i));
  for (std::size_t i = 0; i < p.size(); ++i) {
    char32_t c = p[i];
    item it;
    if (escape && c == escape && i + 1 < p.size()) {
      it.c = kernel::fold_case(p[++i]);
    } else if (c == U'*' || c == U'%') {
      // A run of them is one.
      if (!items_.empty() && items_.back().what == item::kind::any_run) continue;
      it.what = item::kind::any_run;
    } else if (c == U'?' || c == U'_') {
      it.what = item::kind::any_one;
    } else if (c == U'#') {
      it.what = item::kind::digit;
    } else if (c == U'[') {
      std::size_t close = i + 1;
      while (close < p.size() && p[close] != U']') ++close;
      if (close >= p.size()) throw_jet(err_query_syntax, "Invalid pattern string: '[' without ']'");
      std::size_t k = i + 1;
      it.what = item::kind::set;
      if (k < close && p[k] == U'!') {
        it.negated = true;
        ++k;
      }
      for (; k < close; ++k) {
        char32_t low = p[k], high = p[k];
        if (k + 2 < close && p[k + 1] == U'-') {
          high = p[k + 2];
          k += 2;
        }
        it.set.push_back({low, high});
      }
      i = close;
      // "[]" matches nothing at all: the empty text at its place.
      if (it.set.empty() && !it.negated) continue;
    } else {
      it.c = kernel::fold_case(c);
    }
    items_.push_back(std::move(it));
  }
}

bool like_pattern::matches_one(const item& it, char32_t c) const {
  switch (it.what) {
    case item::kind::literal: return it.c == c;
    case item::kind::any_one: return true;
    case item::kind::digit: return c >= U'0' && c <= U'9';
    case item::kind::set: {
      bool in = false;
      for (const auto& r : it.set) {
        // Ranges compare as written and as folded, so [A-Z] takes 'q'.
        if ((c >= r.low && c <= r.high) ||
            (c >= kernel::fold_case(r.low) && c <= kernel::fold_case(r.high))) {
          in = true;
          break;
        }
      }
      return in != it.negated;
    }
    case item::kind::any_run: break;
  }
  return false;
}

bool like_pattern::matches(std::string_view text) const {
  std::vector<char32_t> t = folded_code_points(text);
  // One character per item, except the runs: on a mismatch the last run takes
  // one character more (linear in the text for each run).
  std::size_t ti = 0, pi = 0;
  std::size_t run_item = std::string_view::npos, run_text = 0;
  while (ti < t.size()) {
    if (pi < items_.size() && items_[pi].what == item::kind::any_run) {
      run_item = pi++;
      run_text = ti;
    } else if (pi < items_.size() && matches_one(items_[pi], t[ti])) {
      ++pi;
      ++ti;
    } else if (run_item != std::string_view::npos) {
      pi = run_item + 1;
      ti = ++run_text;
    } else {
      return false;
    }
  }
  while (pi < items_.size() && items_[pi].what == item::kind::any_run) ++pi;
  return pi == items_.size();
}

}  // namespace jet
