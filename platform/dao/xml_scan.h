// A streaming XML reader of our own for the large parts of a package (worksheets),
// several times faster than expat on them: it reads the inflated bytes in place,
// hands attribute values over NUL-terminated inside its buffer and copies nothing
// per element. It takes the same events and the same suspension as xml_stream and
// is as strict: well-formed UTF-8 XML only (names, attribute quoting and
// uniqueness, references, comments, CDATA, processing instructions, characters
// XML allows), a DTD refused, every markup token bounded. A part in another
// encoding than UTF-8 is handed to expat whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dao/part_prefetch.h"
#include "platform/dao/xml_stream.h"
#include "platform/dao/zip_package.h"

namespace jet {

class xml_scan {
 public:
  // automatic: our own reader unless the part declares another encoding, large
  // worksheets read in segments on several threads; serial: our own reader on
  // one thread; expat: expat throughout (the last two for comparison).
  enum class engine { automatic, serial, expat };

  // Bytes handed over piece by piece by their owner (a worksheet read in segments).
  class feed {
   public:
    virtual ~feed() = default;
    // Up to size bytes; 0 at the end of what there is to read.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
    // Asked whenever the reader has used up what it holds and stands between two
    // tokens: true stops it there (pump returns false and paused() is true), so
    // that the owner may look at its state, or set another, before it goes on.
    virtual bool pause_between() = 0;
  };

  // Where the reader stands between two tokens: before, inside or after the
  // document element, and the names of the elements open there.
  struct scan_state {
    std::uint8_t place = 0;
    std::string open_names;
    std::vector<std::uint32_t> open_ends;
    bool operator==(const scan_state&) const = default;
  };

  explicit xml_scan(zip_package::part_stream part, engine which = engine::automatic);
  // Reads UTF-8 from a feed.
  explicit xml_scan(feed& source);
  xml_scan(const xml_scan&) = delete;
  xml_scan& operator=(const xml_scan&) = delete;
  virtual ~xml_scan();

  // Parses until a handler suspends (true) or the document ends (false). Malformed
  // XML raises 3274; an exception thrown by a handler travels out of here.
  bool pump();

  static std::string_view local_name(const char* name) { return xml_stream::local_name(name); }
  // True when the first bytes of a part (at least 256, or all of it) show an
  // encoding other than UTF-8: a byte-order mark of UTF-16, or an XML
  // declaration naming another.
  static bool declares_other_encoding(std::string_view head);

  // Fed readers: stopped by the feed between two tokens.
  bool paused() const { return paused_; }
  // Between two tokens only (what the reader holds used up).
  scan_state state() const;
  void set_state(const scan_state& state);

 protected:
  virtual void on_start(std::string_view name, const char** attributes) = 0;
  virtual void on_end(std::string_view name) = 0;
  virtual void on_text(std::string_view text) = 0;
  // From a handler: stop after this event; pump returns true.
  void suspend();

 private:
  class expat_reader;
  enum class place { prolog, content, epilog };
  struct attribute_span {
    std::uint32_t name_begin, name_end, value_begin, value_end;
    bool decode;
  };

  bool more();
  bool have(std::size_t count);
  void markup();
  void text();
  void outside_space();
  bool start_tag();
  bool end_tag();
  bool comment();
  bool cdata();
  bool instruction();
  bool declaration();
  void deliver_text(const char* begin, const char* end);
  void check_unique(const char* base);

  std::optional<zip_package::part_stream> part_;  // read here until the prefetch takes it
  std::unique_ptr<part_prefetch> prefetch_;
  bool prefetch_wanted_ = false;
  std::unique_ptr<expat_reader> expat_;
  feed* feed_ = nullptr;
  bool paused_ = false;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  bool done_ = false;
  bool suspended_ = false;
  bool at_start_ = true;
  place place_ = place::prolog;
  std::string open_names_;                // names of the open elements, one after another
  std::vector<std::uint32_t> open_ends_;  // where each ends in open_names_
  std::vector<attribute_span> spans_;
  std::vector<const char*> attributes_;
};

}  // namespace jet
