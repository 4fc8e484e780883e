#include "platform/kernel/last_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace {

TEST(LastError, ErrnoMapsToKnownNumbersWithTexts) {
  EXPECT_EQ(kernel::error_from_errno(ENOENT), 2u);
  EXPECT_EQ(kernel::error_from_errno(ENOTDIR), 3u);
  EXPECT_EQ(kernel::error_from_errno(EACCES), 5u);
  EXPECT_EQ(kernel::error_from_errno(EEXIST), 80u);
  EXPECT_EQ(kernel::error_from_errno(ENOSPC), 112u);
  EXPECT_EQ(kernel::system_message(2), "The system cannot find the file specified.\r\n");
  EXPECT_EQ(kernel::system_message(112), "There is not enough space on the disk.\r\n");
  EXPECT_FALSE(kernel::system_message(0x12345));
  // An errno without a number of its own keeps the C library's English text.
  DWORD other = kernel::error_from_errno(ENOLINK);
  EXPECT_EQ(other, kernel::errno_error_flag | ENOLINK);
  auto text = kernel::system_message(other);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->substr(text->size() - 2), "\r\n");
}

TEST(LastError, BelongsToTheCallingThread) {
  kernel::set_last_error_from_errno(EACCES);
  std::thread([] {
    EXPECT_EQ(kernel::get_last_error(), 0u);
    kernel::set_last_error(2);
  }).join();
  EXPECT_EQ(kernel::get_last_error(), 5u);
}

}  // namespace
