#include "platform/oledb/memory_stream.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(MemoryStream, ReadsInPiecesThenReportsTheEnd) {
  auto* stream = new memory_stream;
  const char bytes[] = "0123456789";
  ULONG n = 99;
  ASSERT_EQ(stream->Write(bytes, 10, &n), S_OK);
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(stream->size(), 10u);
  EXPECT_TRUE(stream->equals(bytes));
  char out[4];
  EXPECT_EQ(stream->Read(out, 4, &n), S_OK);
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(std::memcmp(out, "0123", 4), 0);
  EXPECT_EQ(stream->Read(out, 4, &n), S_OK);
  EXPECT_EQ(stream->Read(out, 4, &n), S_FALSE);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(std::memcmp(out, "89", 2), 0);
  EXPECT_EQ(stream->Read(out, 4, &n), S_FALSE);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(stream->Release(), 0u);
}

TEST(MemoryStream, EdgeCallsAndInterfaces) {
  auto* stream = new memory_stream;
  ULONG n = 7;
  EXPECT_EQ(stream->Write("x", 0, &n), S_OK);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(stream->size(), 0u);
  EXPECT_EQ(stream->Write(nullptr, 3, &n), STG_E_INVALIDPOINTER);
  EXPECT_EQ(stream->Read(nullptr, 3, &n), STG_E_INVALIDPOINTER);
  char c;
  EXPECT_EQ(stream->Read(&c, 0, &n), S_OK);

  void* out = nullptr;
  EXPECT_EQ(stream->QueryInterface(IID_ISequentialStream, &out), S_OK);
  EXPECT_EQ(out, static_cast<ISequentialStream*>(stream));
  EXPECT_EQ(stream->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(stream->QueryInterface(IID_IRowset, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(stream->Release(), 2u);
  EXPECT_EQ(stream->Release(), 1u);

  // A second write appends; clear empties.
  stream->Write("ab", 2, nullptr);
  stream->Write("cd", 2, nullptr);
  EXPECT_TRUE(stream->equals("abcd"));
  stream->set_position(3);
  EXPECT_EQ(stream->Read(&c, 1, &n), S_OK);
  EXPECT_EQ(c, 'd');
  stream->clear();
  EXPECT_EQ(stream->size(), 0u);
  EXPECT_EQ(stream->Release(), 0u);
}

}  // namespace
