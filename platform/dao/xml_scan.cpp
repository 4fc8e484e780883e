#include "platform/dao/xml_scan.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "platform/dao/jet_error.h"

namespace jet {

namespace {

constexpr std::size_t chunk_size = 256 * 1024;
// A tag, comment, CDATA section or processing instruction is read whole; none of
// a sound worksheet comes near this.
constexpr std::size_t max_token = 32u << 20;

[[noreturn]] void invalid() { throw_bad_format("not well-formed (invalid token)"); }

// Byte classes of character data: 0 plain, 1 needs a closer look.
constexpr std::array<std::uint8_t, 256> text_classes() {
  std::array<std::uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = c < 0x20 || c >= 0x80 || c == '<' || c == '&' || c == ']';
  t['\t'] = t['\n'] = 0;
  return t;
}
constexpr auto text_class = text_classes();

// Byte classes of attribute values: 0 plain, 1 needs a closer look.
constexpr std::array<std::uint8_t, 256> value_classes() {
  std::array<std::uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = c < 0x20 || c >= 0x80 || c == '<' || c == '&' || c == '"' || c == '\'';
  return t;
}
constexpr auto value_class = value_classes();

// Byte classes of names: 1 may start a name, 2 may follow in one. Bytes from 0x80
// on are parts of non-ASCII characters, taken as name characters.
constexpr std::array<std::uint8_t, 256> name_classes() {
  std::array<std::uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    bool start = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
    t[c] = start ? 3 : (c >= '0' && c <= '9') || c == '.' || c == '-' ? 2 : 0;
  }
  return t;
}
constexpr auto name_class = name_classes();

inline bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The length of the UTF-8 sequence at p that encodes a character XML allows
// (from 0x80 on); 0 when the bytes end first. Anything else is malformed.
std::size_t utf8_length(const unsigned char* p, const unsigned char* end) {
  unsigned char c = p[0];
  std::size_t n = c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
  if (!n) invalid();
  for (std::size_t i = 1; i < n; ++i) {
    if (p + i >= end) return 0;
    if ((p[i] & 0xC0) != 0x80) invalid();
  }
  if (n == 3) {
    if (c == 0xE0 && p[1] < 0xA0) invalid();                       // overlong
    if (c == 0xED && p[1] >= 0xA0) invalid();                      // surrogate
    if (c == 0xEF && p[1] == 0xBF && p[2] >= 0xBE) invalid();      // U+FFFE, U+FFFF
  } else if (n == 4) {
    if (c == 0xF0 && p[1] < 0x90) invalid();  // overlong
    if (c == 0xF4 && p[1] >= 0x90) invalid();  // beyond U+10FFFF
  }
  return n;
}

// A name at p; returns its end, or p when there is none. Non-ASCII characters
// are taken as name characters.
inline const char* scan_name(const char* p, const char* end) {
  auto u = reinterpret_cast<const unsigned char*>(p);
  auto e = reinterpret_cast<const unsigned char*>(end);
  if (u == e || !(name_class[*u] & 1)) return p;
  while (u < e && name_class[*u]) {
    if (*u >= 0x80) [[unlikely]] {
      std::size_t n = utf8_length(u, e);
      if (!n) return end;  // the bytes end inside the name
      u += n;
    } else {
      ++u;
    }
  }
  return reinterpret_cast<const char*>(u);
}

const char* skip_space(const char* p, const char* end) {
  while (p < end && is_space(*p)) ++p;
  return p;
}

std::size_t put_utf8(char* out, std::uint32_t c) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

// A reference at p ('&' ... ';'): its character as UTF-8 into out (at most 4
// bytes). Returns the end of the reference, or null when the bytes end first.
const char* reference(const char* p, const char* end, char* out, std::size_t& length) {
  const char* semi = static_cast<const char*>(std::memchr(p, ';', static_cast<std::size_t>(std::min<std::ptrdiff_t>(end - p, 64))));
  if (!semi) {
    if (end - p >= 64) invalid();
    return nullptr;
  }
  std::string_view body(p + 1, static_cast<std::size_t>(semi - p - 1));
  if (body.empty()) invalid();
  if (body[0] == '#') {
    std::uint32_t c = 0;
    std::string_view digits = body.substr(1);
    bool hex = !digits.empty() && digits[0] == 'x';
    if (hex) digits.remove_prefix(1);
    if (digits.empty()) invalid();
    for (char d : digits) {
      int v = d >= '0' && d <= '9'                ? d - '0'
              : hex && d >= 'a' && d <= 'f'       ? d - 'a' + 10
              : hex && d >= 'A' && d <= 'F'       ? d - 'A' + 10
                                                  : -1;
      if (v < 0) invalid();
      c = c * (hex ? 16 : 10) + static_cast<std::uint32_t>(v);
      if (c > 0x10FFFF) throw_bad_format("reference to invalid character number");
    }
    bool allowed = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
                   c >= 0x10000;
    if (!allowed) throw_bad_format("reference to invalid character number");
    length = put_utf8(out, c);
    return semi + 1;
  }
  if (scan_name(body.data(), semi) != semi) invalid();
  char c = body == "lt" ? '<' : body == "gt" ? '>' : body == "amp" ? '&' : body == "apos" ? '\'' : body == "quot" ? '"' : 0;
  if (!c) throw_bad_format("undefined entity");
  out[0] = c;
  length = 1;
  return semi + 1;
}

// Names compared byte by byte: they are short, and a call to memcmp costs more
// than the comparison.
inline bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return false;
  return true;
}

std::string_view local(std::string_view name) {
  std::size_t from = 0;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (name[i] == ':') from = i + 1;
  return name.substr(from);
}

// Checks that [p, end) holds only characters XML allows, as UTF-8.
void check_chars(const char* p, const char* end) {
  auto u = reinterpret_cast<const unsigned char*>(p);
  auto e = reinterpret_cast<const unsigned char*>(end);
  while (u < e) {
    unsigned char c = *u;
    if (c >= 0x80) {
      std::size_t n = utf8_length(u, e);
      if (!n) invalid();
      u += n;
    } else {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') invalid();
      ++u;
    }
  }
}

}  // namespace

// The expat reader for parts we do not read ourselves; its events go to ours.
class xml_scan::expat_reader final : public xml_stream {
 public:
  expat_reader(zip_package::part_stream part, std::string head, xml_scan& owner)
      : xml_stream(std::move(part), std::move(head)), owner_(owner) {}
  using xml_stream::suspend;

 private:
  void on_start(std::string_view name, const char** attributes) override { owner_.on_start(name, attributes); }
  void on_end(std::string_view name) override { owner_.on_end(name); }
  void on_text(std::string_view text) override { owner_.on_text(text); }
  xml_scan& owner_;
};

xml_scan::xml_scan(zip_package::part_stream part, engine which)
    : part_(std::move(part)), buffer_(chunk_size) {
  if (which != engine::expat) {
    have(256);
    if (!declares_other_encoding(std::string_view(buffer_.data(), end_))) {
      // A part that fits the buffer is read here; a longer one is inflated ahead
      // on a thread of its own from the next read on.
      if (end_ < buffer_.size()) more();
      prefetch_wanted_ = !eof_;
      return;
    }
  }
  std::string head(buffer_.data(), end_);
  expat_ = std::make_unique<expat_reader>(std::move(*part_), std::move(head), *this);
}

// A fed reader starts small: helpers make one for every segment they read.
xml_scan::xml_scan(feed& source) : feed_(&source), buffer_(16 * 1024) {}

xml_scan::~xml_scan() = default;

xml_scan::scan_state xml_scan::state() const {
  return {static_cast<std::uint8_t>(place_), open_names_, open_ends_};
}

void xml_scan::set_state(const scan_state& state) {
  place_ = static_cast<place>(state.place);
  open_names_ = state.open_names;
  open_ends_ = state.open_ends;
  at_start_ = false;
}

void xml_scan::suspend() {
  if (expat_) expat_->suspend();
  else suspended_ = true;
}

// True when the bytes read so far start with a byte-order mark of UTF-16 or an
// XML declaration naming an encoding other than UTF-8.
bool xml_scan::declares_other_encoding(std::string_view head) {
  if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
  if (head.size() >= 2 && (head[0] == '\0' || head[1] == '\0' || static_cast<unsigned char>(head[0]) >= 0xFE))
    return true;
  if (!head.starts_with("<?xml") || head.size() < 6 || !is_space(head[5])) return false;
  auto close = head.find("?>");
  if (close == std::string_view::npos) return false;  // malformed: refused as we read it
  head = head.substr(0, close);
  auto at = head.find("encoding");
  if (at == std::string_view::npos) return false;
  const char* p = skip_space(head.data() + at + 8, head.data() + head.size());
  if (p == head.data() + head.size() || *p != '=') return false;
  p = skip_space(p + 1, head.data() + head.size());
  if (p == head.data() + head.size() || (*p != '"' && *p != '\'')) return false;
  char quote = *p++;
  const char* q = p;
  while (q < head.data() + head.size() && *q != quote) ++q;
  std::string name(p, q);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name != "UTF-8";
}

// Reads more of the part after what is held, keeping everything from pos_ on;
// false at the end of the part.
bool xml_scan::more() {
  if (eof_) return false;
  if (pos_) {
    std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  if (end_ == buffer_.size()) {
    if (buffer_.size() >= max_token) throw_bad_format("markup beyond its bound");
    buffer_.resize(buffer_.size() * 2);
  }
  if (prefetch_wanted_) {
    prefetch_wanted_ = false;
    prefetch_ = std::make_unique<part_prefetch>(std::move(*part_));
  }
  std::size_t room = buffer_.size() - end_;
  std::size_t got = feed_       ? feed_->read(buffer_.data() + end_, room)
                    : prefetch_ ? prefetch_->read(buffer_.data() + end_, room)
                                : part_->read(buffer_.data() + end_, room);
  if (!got) {
    eof_ = true;
    return false;
  }
  end_ += got;
  return true;
}

bool xml_scan::have(std::size_t count) {
  while (end_ - pos_ < count)
    if (!more()) return false;
  return true;
}

bool xml_scan::pump() {
  if (expat_) return expat_->pump();
  paused_ = false;
  while (!done_) {
    if (pos_ == end_ && feed_ && feed_->pause_between()) {
      paused_ = true;
      return false;
    }
    if (pos_ == end_ && !more()) {
      done_ = true;
      if (place_ == place::content) throw_bad_format("unclosed token");
      if (place_ == place::prolog) throw_bad_format("no element found");
      break;
    }
    if (at_start_) {
      at_start_ = false;
      have(3);
      if (std::string_view(buffer_.data() + pos_, std::min<std::size_t>(3, end_ - pos_)) == "\xEF\xBB\xBF") pos_ += 3;
      if (have(6) && std::string_view(buffer_.data() + pos_, 5) == "<?xml" && is_space(buffer_[pos_ + 5])) {
        while (!declaration())
          if (!more()) throw_bad_format("unclosed token");
        continue;
      }
    }
    if (buffer_[pos_] == '<') markup();
    else if (place_ == place::content) text();
    else outside_space();
    if (suspended_) {
      suspended_ = false;
      return true;
    }
  }
  return false;
}

void xml_scan::outside_space() {
  while (pos_ < end_ && is_space(buffer_[pos_])) ++pos_;
  if (pos_ < end_ && buffer_[pos_] != '<')
    throw_bad_format(place_ == place::epilog ? "junk after document element" : "syntax error");
}

void xml_scan::markup() {
  if (end_ - pos_ < 2 && !have(2)) throw_bad_format("unclosed token");
  char second = buffer_[pos_ + 1];
  bool (xml_scan::*token)() = nullptr;
  if (second == '/') {
    if (place_ != place::content) throw_bad_format("syntax error");
    token = &xml_scan::end_tag;
  } else if (second == '?') {
    token = &xml_scan::instruction;
  } else if (second == '!') {
    if (!have(4)) throw_bad_format("unclosed token");
    if (buffer_[pos_ + 2] == '-') {
      token = &xml_scan::comment;
    } else if (buffer_[pos_ + 2] == '[') {
      if (place_ != place::content) throw_bad_format("syntax error");
      token = &xml_scan::cdata;
    } else if (buffer_[pos_ + 2] == 'D' && place_ == place::prolog) {
      throw_bad_format("a package part declares a DTD");
    } else {
      invalid();
    }
  } else {
    if (place_ == place::epilog) throw_bad_format("junk after document element");
    token = &xml_scan::start_tag;
  }
  while (!(this->*token)())
    if (!more()) throw_bad_format("unclosed token");
}

// <?xml version="..." encoding="..." standalone="..."?> at the very start.
bool xml_scan::declaration() {
  const char* p = buffer_.data() + pos_ + 5;
  const char* end = buffer_.data() + end_;
  const char* close = static_cast<const char*>(memmem(p, static_cast<std::size_t>(end - p), "?>", 2));
  if (!close) return false;
  check_chars(p, close);
  int field = 0;  // version, encoding, standalone in that order
  while (p < close) {
    const char* q = skip_space(p, close);
    if (q == close) break;
    if (q == p) throw_bad_format("XML declaration not well-formed");
    const char* name_end = scan_name(q, close);
    std::string_view name(q, static_cast<std::size_t>(name_end - q));
    int which = name == "version" ? 1 : name == "encoding" ? 2 : name == "standalone" ? 3 : 0;
    if (which <= field || (field == 0 && which != 1)) throw_bad_format("XML declaration not well-formed");
    field = which;
    p = skip_space(name_end, close);
    if (p == close || *p != '=') throw_bad_format("XML declaration not well-formed");
    p = skip_space(p + 1, close);
    if (p == close || (*p != '"' && *p != '\'')) throw_bad_format("XML declaration not well-formed");
    char quote = *p++;
    const char* value_end = static_cast<const char*>(std::memchr(p, quote, static_cast<std::size_t>(close - p)));
    if (!value_end) throw_bad_format("XML declaration not well-formed");
    std::string_view value(p, static_cast<std::size_t>(value_end - p));
    bool ok = !value.empty();
    for (char c : value)
      ok = ok && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
                  c == '-' || (which != 2 && c == ':'));
    if (which == 3) ok = value == "yes" || value == "no";
    if (!ok) throw_bad_format("XML declaration not well-formed");
    p = value_end + 1;
  }
  if (field == 0) throw_bad_format("XML declaration not well-formed");
  pos_ = static_cast<std::size_t>(close + 2 - buffer_.data());
  return true;
}

bool xml_scan::instruction() {
  const char* p = buffer_.data() + pos_ + 2;
  const char* end = buffer_.data() + end_;
  const char* close = static_cast<const char*>(memmem(p, static_cast<std::size_t>(end - p), "?>", 2));
  if (!close) return false;
  const char* target_end = scan_name(p, close);
  if (target_end == p) invalid();
  std::string_view target(p, static_cast<std::size_t>(target_end - p));
  if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' && (target[2] | 0x20) == 'l')
    throw_bad_format("XML or text declaration not at start of entity");
  if (target_end != close && !is_space(*target_end)) invalid();
  check_chars(target_end, close);
  pos_ = static_cast<std::size_t>(close + 2 - buffer_.data());
  return true;
}

bool xml_scan::comment() {
  const char* p = buffer_.data() + pos_;
  const char* end = buffer_.data() + end_;
  if (end - p < 4) return false;
  if (p[3] != '-') invalid();
  p += 4;
  const char* dashes = static_cast<const char*>(memmem(p, static_cast<std::size_t>(end - p), "--", 2));
  if (!dashes) return false;
  if (dashes + 2 >= end) return false;
  if (dashes[2] != '>') invalid();
  check_chars(p, dashes);
  pos_ = static_cast<std::size_t>(dashes + 3 - buffer_.data());
  return true;
}

bool xml_scan::cdata() {
  const char* p = buffer_.data() + pos_;
  const char* end = buffer_.data() + end_;
  if (end - p < 9) return false;
  if (std::string_view(p, 9) != "<![CDATA[") invalid();
  p += 9;
  const char* close = static_cast<const char*>(memmem(p, static_cast<std::size_t>(end - p), "]]>", 3));
  if (!close) return false;
  check_chars(p, close);
  pos_ = static_cast<std::size_t>(close + 3 - buffer_.data());
  deliver_text(p, close);
  return true;
}

// Hands text over with its line ends made "\n", as XML reads them.
void xml_scan::deliver_text(const char* begin, const char* end) {
  while (begin < end) {
    const char* cr = static_cast<const char*>(std::memchr(begin, '\r', static_cast<std::size_t>(end - begin)));
    if (!cr) {
      on_text(std::string_view(begin, static_cast<std::size_t>(end - begin)));
      return;
    }
    if (cr > begin) on_text(std::string_view(begin, static_cast<std::size_t>(cr - begin)));
    if (cr + 1 < end && cr[1] == '\n') {
      begin = cr + 1;
    } else {
      on_text("\n");
      begin = cr + 1;
    }
  }
}

void xml_scan::text() {
  const char* base = buffer_.data();
  const char* p = base + pos_;
  const char* end = base + end_;
  const char* run = p;
  auto flush = [&](const char* at) {
    if (at > run) on_text(std::string_view(run, static_cast<std::size_t>(at - run)));
  };
  while (p < end) {
    auto c = static_cast<unsigned char>(*p);
    if (!text_class[c]) {
      ++p;
      continue;
    }
    if (c == '<') break;
    if (c == '&') {
      char out[4];
      std::size_t length = 0;
      const char* after = reference(p, end, out, length);
      if (!after) break;  // read more first
      flush(p);
      on_text(std::string_view(out, length));
      p = run = after;
    } else if (c == ']') {
      if (end - p < 3) break;
      if (p[1] == ']' && p[2] == '>') invalid();
      ++p;
    } else if (c == '\r') {
      if (end - p < 2) break;
      flush(p);
      if (p[1] != '\n') on_text("\n");
      run = ++p;
    } else if (c >= 0x80) {
      std::size_t n = utf8_length(reinterpret_cast<const unsigned char*>(p), reinterpret_cast<const unsigned char*>(end));
      if (!n) break;
      p += n;
    } else {
      invalid();
    }
    if (suspended_) break;
  }
  flush(p);
  pos_ = static_cast<std::size_t>(p - base);
  // Something left undecided at the end of what is held: read on.
  if (pos_ < end_ && buffer_[pos_] != '<' && !suspended_ && !more()) throw_bad_format("unclosed token");
}

bool xml_scan::end_tag() {
  const char* p = buffer_.data() + pos_ + 2;
  const char* end = buffer_.data() + end_;
  const char* name_end = scan_name(p, end);
  if (name_end == end) return false;
  if (name_end == p) invalid();
  const char* q = skip_space(name_end, end);
  if (q == end) return false;
  if (*q != '>') invalid();
  std::string_view name(p, static_cast<std::size_t>(name_end - p));
  std::uint32_t begin = open_ends_.size() > 1 ? open_ends_[open_ends_.size() - 2] : 0;
  if (!same_name(std::string_view(open_names_).substr(begin), name)) throw_bad_format("mismatched tag");
  pos_ = static_cast<std::size_t>(q + 1 - buffer_.data());
  open_ends_.pop_back();
  open_names_.resize(begin);
  if (open_ends_.empty()) place_ = place::epilog;
  // The name stays valid in the buffer through the handler.
  on_end(local(name));
  return true;
}

bool xml_scan::start_tag() {
  char* base = buffer_.data();
  const char* p = base + pos_ + 1;
  const char* end = base + end_;
  const char* name_end = scan_name(p, end);
  if (name_end == end) return false;
  if (name_end == p) invalid();
  spans_.clear();
  const char* q = name_end;
  for (;;) {
    const char* s = skip_space(q, end);
    if (s == end) return false;
    if (*s == '>' || *s == '/') {
      q = s;
      break;
    }
    if (s == q) invalid();  // an attribute needs space before it
    const char* attr_end = scan_name(s, end);
    if (attr_end == end) return false;
    if (attr_end == s) invalid();
    const char* t = skip_space(attr_end, end);
    if (t == end) return false;
    if (*t != '=') invalid();
    t = skip_space(t + 1, end);
    if (t == end) return false;
    if (*t != '"' && *t != '\'') invalid();
    char quote = *t++;
    const char* value = t;
    bool decode = false;
    for (;;) {
      if (t == end) return false;
      auto c = static_cast<unsigned char>(*t);
      if (!value_class[c]) {
        ++t;
      } else if (c == static_cast<unsigned char>(quote)) {
        break;
      } else if (c == '"' || c == '\'') {
        ++t;
      } else if (c == '&') {
        char out[4];
        std::size_t length = 0;
        const char* after = reference(t, end, out, length);
        if (!after) return false;
        decode = true;
        t = after;
      } else if (c >= 0x80) {
        std::size_t n = utf8_length(reinterpret_cast<const unsigned char*>(t), reinterpret_cast<const unsigned char*>(end));
        if (!n) return false;
        t += n;
      } else if (c == '\t' || c == '\n' || c == '\r') {
        decode = true;
        ++t;
      } else {
        invalid();  // '<' or a control character
      }
    }
    auto at = [base](const char* x) { return static_cast<std::uint32_t>(x - base); };
    spans_.push_back({at(s), at(attr_end), at(value), at(t), decode});
    q = t + 1;
  }
  bool empty = *q == '/';
  if (empty) {
    if (q + 1 == end) return false;
    if (q[1] != '>') invalid();
    ++q;
  }
  // The tag is whole: names and values are ended in place.
  check_unique(base);
  attributes_.clear();
  for (const auto& span : spans_) {
    base[span.name_end] = '\0';
    char* w = base + span.value_end;
    if (span.decode) {
      // Attribute values read with references resolved and white space as spaces.
      const char* r = base + span.value_begin;
      const char* e = base + span.value_end;
      w = base + span.value_begin;
      while (r < e) {
        if (*r == '&') {
          std::size_t length = 0;
          r = reference(r, e, w, length);
          w += length;
        } else if (*r == '\r') {
          *w++ = ' ';
          if (++r < e && *r == '\n') ++r;
        } else if (*r == '\t' || *r == '\n') {
          *w++ = ' ';
          ++r;
        } else {
          *w++ = *r++;
        }
      }
    }
    *w = '\0';
    attributes_.push_back(base + span.name_begin);
    attributes_.push_back(base + span.value_begin);
  }
  attributes_.push_back(nullptr);
  std::string_view name(p, static_cast<std::size_t>(name_end - p));
  base[name_end - base] = '\0';
  pos_ = static_cast<std::size_t>(q + 1 - base);
  place_ = place::content;
  if (!empty) {
    open_names_.append(name);
    open_ends_.push_back(static_cast<std::uint32_t>(open_names_.size()));
  } else if (open_ends_.empty()) {
    place_ = place::epilog;
  }
  on_start(local(name), attributes_.data());
  if (empty) on_end(local(name));
  return true;
}

void xml_scan::check_unique(const char* base) {
  auto name = [base](const attribute_span& s) {
    return std::string_view(base + s.name_begin, s.name_end - s.name_begin);
  };
  if (spans_.size() <= 16) {
    for (std::size_t i = 1; i < spans_.size(); ++i)
      for (std::size_t j = 0; j < i; ++j)
        if (same_name(name(spans_[i]), name(spans_[j]))) throw_bad_format("duplicate attribute");
    return;
  }
  std::vector<std::string_view> names;
  names.reserve(spans_.size());
  for (const auto& s : spans_) names.push_back(name(s));
  std::sort(names.begin(), names.end());
  if (std::adjacent_find(names.begin(), names.end()) != names.end()) throw_bad_format("duplicate attribute");
}

}  // namespace jet
