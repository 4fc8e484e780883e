#include "platform/dao/sheet_segments.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace jet {

namespace {

constexpr std::size_t read_chunk = 256 * 1024;
constexpr std::string_view row_end = "</row>";

// A segment's bytes, to a helper's reader: it pauses at their end.
class bytes_feed final : public xml_scan::feed {
 public:
  explicit bytes_feed(const std::string& bytes) : bytes_(bytes) {}
  std::size_t read(char* buffer, std::size_t size) override {
    std::size_t count = std::min(size, bytes_.size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, count);
    pos_ += count;
    return count;
  }
  bool pause_between() override { return pos_ == bytes_.size(); }

 private:
  const std::string& bytes_;
  std::size_t pos_ = 0;
};

// Nothing of a row or cell open: what the reader carries from there on is all
// in its position.
bool no_row_open(const xlsx_sheet_cursor::position& at) {
  return !at.in_row && !at.in_cell && !at.in_value && !at.in_inline && !at.in_text && at.phonetic == 0;
}

// Between two rows of sheetData.
bool between_rows(const xlsx_sheet_cursor::position& at) { return at.in_sheet_data && no_row_open(at); }

bool same_but_row(xlsx_sheet_cursor::position a, const xlsx_sheet_cursor::position& b) {
  a.last_row = b.last_row;
  return a == b;
}

}  // namespace

unsigned segmented_sheet_cursor::helpers_for_this_machine() {
  unsigned cores = std::thread::hardware_concurrency();
  return cores >= 8 ? 3 : cores >= 6 ? 2 : cores >= 4 ? 1 : 0;
}

segmented_sheet_cursor::segmented_sheet_cursor(zip_package::part_stream part, const xlsx_shared_strings& strings,
                                               const xlsx_styles& styles, bool date1904, std::size_t segment_bytes,
                                               unsigned helpers)
    : strings_(strings),
      styles_(styles),
      date1904_(date1904),
      segment_bytes_(std::max<std::size_t>(segment_bytes, row_end.size())),
      helper_count_(helpers) {
  reader_ = std::make_unique<xlsx_sheet_cursor>(static_cast<xml_scan::feed&>(*this), strings_, styles_, date1904_);
  splitter_ = std::thread([this, p = std::make_shared<zip_package::part_stream>(std::move(part))]() mutable {
    split(std::move(*p));
  });
}

segmented_sheet_cursor::~segmented_sheet_cursor() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  splitter_.join();
  for (auto& helper : helpers_) helper.join();
}

// Inflates the part and cuts it after the last "</row>" of every segment_bytes_
// or so; a stretch without one is cut when it is four times as long.
void segmented_sheet_cursor::split(zip_package::part_stream part) {
  try {
    // Segments wait for the helpers a few at a time; before the reading begins
    // (while the shared strings are read) more of them.
    const std::size_t waiting_at_most = helper_count_ + 2;
    const std::size_t waiting_before_start = 16;
    std::string carry;
    bool end = false;
    while (!end) {
      std::string bytes;
      {
        std::lock_guard guard(lock_);
        if (!spare_.empty()) {
          bytes = std::move(spare_.back());
          spare_.pop_back();
        }
      }
      // Room for a whole segment from the start: growing it would copy it.
      bytes.reserve(carry.size() + segment_bytes_ + read_chunk);
      bytes.assign(carry);
      carry.clear();
      std::size_t target = segment_bytes_;
      for (;;) {
        while (bytes.size() < target && !end) {
          std::size_t had = bytes.size();
          std::size_t want = std::min(read_chunk, target - had);
          bytes.resize(had + want);
          std::size_t got = part.read(bytes.data() + had, want);
          bytes.resize(had + got);
          end = got == 0;
        }
        if (end) break;
        auto cut = bytes.rfind(row_end);
        if (cut != std::string::npos) {
          carry.assign(bytes, cut + row_end.size());
          bytes.resize(cut + row_end.size());
          break;
        }
        if (bytes.size() >= 4 * segment_bytes_) break;
        target = bytes.size() + segment_bytes_;
      }
      if (bytes.empty()) break;
      std::unique_lock guard(lock_);
      changed_.wait(guard, [&] {
        return stopping_ || segments_.size() < (started_ ? waiting_at_most : waiting_before_start);
      });
      if (stopping_) return;
      auto added = std::make_unique<segment>();
      added->bytes = std::move(bytes);
      segments_.push_back(std::move(added));
      guard.unlock();
      changed_.notify_all();
    }
    std::lock_guard guard(lock_);
    split_done_ = true;
  } catch (...) {
    std::lock_guard guard(lock_);
    split_error_ = std::current_exception();
    split_done_ = true;
  }
  changed_.notify_all();
}

// A helper: reads the first waiting segment ahead of the reader from the guess.
void segmented_sheet_cursor::help() {
  std::unique_lock guard(lock_);
  for (;;) {
    segment* job = nullptr;
    changed_.wait(guard, [&] {
      if (stopping_) return true;
      for (std::size_t i = 0; i < segments_.size() && !job; ++i)
        if (first_number_ + i > current_ && segments_[i]->state == segment::job::waiting) job = segments_[i].get();
      return job != nullptr;
    });
    if (stopping_) return;
    job->state = segment::job::running;
    position start = *guess_;
    guard.unlock();
    read_ahead_of(*job, start);
    guard.lock();
    job->state = segment::job::done;
    release_read_segments(guard);
    changed_.notify_all();
  }
}

void segmented_sheet_cursor::read_ahead_of(segment& s, const position& start) {
  try {
    bytes_feed bytes(s.bytes);
    xlsx_sheet_cursor reader(bytes, strings_, styles_, date1904_);
    position from = start;
    from.last_row = -1;
    reader.move_to(from);
    sheet_row row;
    while (reader.next(row)) {
      s.rows.push_back(std::move(row));
      row = sheet_row{};
    }
    s.whole = reader.paused();
    s.end = reader.where();
  } catch (...) {
    // Read again, and judged, by the reader of the whole part.
    s.whole = false;
    s.rows.clear();
  }
}

segmented_sheet_cursor::segment* segmented_sheet_cursor::segment_at(std::size_t number,
                                                                    std::unique_lock<std::mutex>& guard) {
  changed_.wait(guard, [&] { return number < first_number_ + segments_.size() || split_done_; });
  if (number < first_number_ + segments_.size()) return segments_[number - first_number_].get();
  if (split_error_) std::rethrow_exception(split_error_);
  return nullptr;
}

void segmented_sheet_cursor::release_read_segments(std::unique_lock<std::mutex>&) {
  bool released = false;
  while (!segments_.empty() && first_number_ < current_ && segments_.front()->state != segment::job::running) {
    std::string& bytes = segments_.front()->bytes;
    bytes.clear();
    spare_.push_back(std::move(bytes));
    segments_.pop_front();
    ++first_number_;
    released = true;
  }
  if (released) changed_.notify_all();
}

std::size_t segmented_sheet_cursor::read(char* buffer, std::size_t size) {
  std::unique_lock guard(lock_);
  started_ = true;
  std::size_t copied = 0;
  // Reading on past the end of the segment: after a cut that was decided, into
  // the next one only, up to its own cut; in the middle of a token (the cut was
  // never looked at) to the end of a segment past twice what this token took
  // before, so that a long token is not read again and again for a few bytes
  // more, nor many cuts passed for a short one.
  bool crossing = false;
  bool in_token = false;
  for (;;) {
    if (copied) {
      // What was read goes first; an error of the part comes with the next read.
      changed_.wait(guard, [&] { return current_ < first_number_ + segments_.size() || split_done_; });
      if (current_ >= first_number_ + segments_.size()) return copied;
    }
    segment* s = segment_at(current_, guard);
    if (!s) return copied;
    if (s->state == segment::job::waiting) s->state = segment::job::taken;
    std::size_t count = std::min(size - copied, s->bytes.size() - current_pos_);
    std::memcpy(buffer + copied, s->bytes.data() + current_pos_, count);
    current_pos_ += count;
    copied += count;
    if (copied == size || (copied && !in_token) || (in_token && copied >= std::max<std::size_t>(64, token_read_))) {
      if (in_token) token_read_ += copied;
      else if (crossing) token_read_ = 0;
      return copied;
    }
    if (!crossing) in_token = !cut_decided_;
    crossing = true;
    ++current_;
    current_pos_ = 0;
    cut_decided_ = false;
    release_read_segments(guard);
  }
}

bool segmented_sheet_cursor::pause_between() {
  if (!started_) return false;
  std::unique_lock guard(lock_);
  segment* s = segment_at(current_, guard);
  if (!s || current_pos_ < s->bytes.size() || cut_decided_) return false;
  if (!segment_at(current_ + 1, guard)) {
    cut_decided_ = true;  // the last segment: read to the end
    return false;
  }
  token_read_ = 0;
  return true;
}

// The reader stands at the cut after the current segment: take the next
// segment's rows as a helper read them, or read it.
void segmented_sheet_cursor::decide_cut() {
  position here = reader_->where();
  std::unique_lock guard(lock_);
  segment* next = segment_at(current_ + 1, guard);
  if (!guess_ && helper_count_ && between_rows(here)) {
    guess_ = here;
    try {
      for (unsigned i = 0; i < helper_count_; ++i) helpers_.emplace_back([this] { help(); });
    } catch (const std::system_error&) {
      if (helpers_.empty()) guess_.reset();  // no helper to wait for: read everything here
    }
    changed_.notify_all();
  }
  bool take = false;
  if (guess_ && same_but_row(here, *guess_)) {
    // Where the helpers begin: theirs is the reading, done or about to be.
    changed_.wait(guard, [&] { return next->state == segment::job::done; });
    take = next->whole &&
           (next->rows.empty() || next->rows.front().index > here.last_row) && no_row_open(next->end);
  } else if (next->state == segment::job::waiting) {
    next->state = segment::job::taken;  // read here
  }
  if (!take) {
    cut_decided_ = true;
    return;
  }
  next->state = segment::job::taken;
  taken_rows_ = std::move(next->rows);
  taken_pos_ = 0;
  position end = next->end;
  if (taken_rows_.empty()) end.last_row = here.last_row;
  ++current_;
  current_pos_ = next->bytes.size();
  cut_decided_ = false;
  release_read_segments(guard);
  guard.unlock();
  reader_->move_to(end);
}

bool segmented_sheet_cursor::next(sheet_row& row) {
  for (;;) {
    if (taken_pos_ < taken_rows_.size()) {
      row = std::move(taken_rows_[taken_pos_++]);
      return true;
    }
    if (reader_->next(row)) return true;
    if (!reader_->paused()) return false;
    decide_cut();
  }
}

}  // namespace jet
