// A large worksheet read on several threads. One thread inflates the part and
// cuts it into segments after a "</row>"; helper threads read each segment on
// the guess that it starts between two rows of sheetData, as most do. The rows
// reach the caller in order from a reader that follows the whole part: at each
// cut it takes a segment's rows only when it stands exactly where the guess
// began (between two rows of sheetData, the same elements open) and the segment
// was read to its end without error; otherwise it reads the segment itself. So
// the rows, and any error, are those of reading the part from start to end.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/dao/xlsx_sheet.h"

namespace jet {

class segmented_sheet_cursor : public row_cursor, private xml_scan::feed {
 public:
  // How many helper threads are worth starting on this machine (0: none).
  static unsigned helpers_for_this_machine();

  segmented_sheet_cursor(zip_package::part_stream part, const xlsx_shared_strings& strings,
                         const xlsx_styles& styles, bool date1904, std::size_t segment_bytes, unsigned helpers);
  segmented_sheet_cursor(const segmented_sheet_cursor&) = delete;
  segmented_sheet_cursor& operator=(const segmented_sheet_cursor&) = delete;
  ~segmented_sheet_cursor() override;

  bool next(sheet_row& row) override;

 private:
  struct segment {
    enum class job { waiting, running, done, taken } state = job::waiting;
    std::string bytes;
    // What a helper made of it.
    bool whole = false;  // read to its end between two tokens, without error
    std::vector<sheet_row> rows;
    xlsx_sheet_cursor::position end;
  };
  using position = xlsx_sheet_cursor::position;

  // xml_scan::feed, for the reader that follows the whole part.
  std::size_t read(char* buffer, std::size_t size) override;
  bool pause_between() override;

  void split(zip_package::part_stream part);
  void help();
  void read_ahead_of(segment& s, const position& start);
  // The segment of that number, waiting for the splitter; null past the last.
  segment* segment_at(std::size_t number, std::unique_lock<std::mutex>& guard);
  void decide_cut();
  void release_read_segments(std::unique_lock<std::mutex>& guard);

  const xlsx_shared_strings& strings_;
  const xlsx_styles& styles_;
  bool date1904_;
  std::size_t segment_bytes_;
  unsigned helper_count_;

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<segment>> segments_;  // numbered from first_number_ on
  std::vector<std::string> spare_;                 // buffers of segments read, for the next
  std::size_t first_number_ = 0;
  bool split_done_ = false;
  std::exception_ptr split_error_;
  bool stopping_ = false;
  std::optional<position> guess_;  // where helpers take a segment to start

  // The reader that follows the whole part, and where it reads.
  std::unique_ptr<xlsx_sheet_cursor> reader_;
  std::size_t current_ = 0;  // the segment it reads
  std::size_t current_pos_ = 0;
  bool started_ = false;       // it has taken segment 0
  bool cut_decided_ = false;   // the cut after the current segment was decided: read on
  std::size_t token_read_ = 0;  // read so far past cuts inside one token
  std::vector<sheet_row> taken_rows_;
  std::size_t taken_pos_ = 0;

  std::thread splitter_;
  std::vector<std::thread> helpers_;
};

}  // namespace jet
