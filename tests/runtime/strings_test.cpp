// String copies and ResultBuffer growth.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "runtime/strings.h"

namespace {

class Strings : public ::testing::Test {
 protected:
  void SetUp() override { string_manager_init(); }
  void TearDown() override { string_manager_shutdown(); }
  size_t block_size(const void* block) { return HeapSize(StringHeap, 0, block); }
};

TEST_F(Strings, LengthOfNullAndTexts) {
  EXPECT_EQ(string_len(nullptr), 0);
  EXPECT_EQ(string_len(""), 0);
  EXPECT_EQ(string_len("Echo This."), 10);
}

TEST_F(Strings, CopyNewSizesTheBlockToTheTextPlusSlack) {
  char* slot = nullptr;
  string_copy_new(&slot, nullptr);
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(heap_stats(StringHeap).live_blocks, 1u);  // only ResultBuffer

  string_copy_new(&slot, "9.9.9.9");
  ASSERT_NE(slot, nullptr);
  EXPECT_STREQ(slot, "9.9.9.9");
  EXPECT_EQ(block_size(slot), 7u + 5u);
  string_free(slot);
  string_free(nullptr);
  EXPECT_EQ(heap_stats(StringHeap).live_blocks, 1u);
}

TEST_F(Strings, AssignFillsResizesAndEmptiesASlot) {
  char* slot = nullptr;
  EXPECT_EQ(string_assign(&slot, ""), 1);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(block_size(slot), 5u);
  EXPECT_STREQ(slot, "");

  EXPECT_EQ(string_assign(&slot, "0123456789"), 11);
  EXPECT_STREQ(slot, "0123456789");
  EXPECT_EQ(block_size(slot), 15u);

  EXPECT_EQ(string_assign(&slot, nullptr), 1);
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(string_assign(&slot, nullptr), 1);
  EXPECT_EQ(heap_stats(StringHeap).live_blocks, 1u);
}

TEST_F(Strings, AssignThatCannotGrowKeepsTheOldText) {
  char* slot = nullptr;
  string_assign(&slot, "old");
  heap_fail_request(1);
  string_assign(&slot, "a much longer text");
  EXPECT_STREQ(slot, "old");
  string_assign(&slot, nullptr);
}

TEST_F(Strings, CopyBytesWritesItsOwnTerminator) {
  char out[8];
  std::memset(out, 'x', sizeof out);
  string_copy_bytes(out, "abcdef", 3);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(out[4], 'x');
}

TEST_F(Strings, ReserveGrowsOnlyWhenPositionPlusSizeReachesCapacityLessFour) {
  char* first = result_buffer_reserve(11, 0);
  EXPECT_EQ(first, ResultBuffer);
  EXPECT_EQ(result_buffer_capacity, 16);
  EXPECT_EQ(result_buffer_position, 11);
  EXPECT_EQ(block_size(ResultBuffer), 16u);

  result_buffer_release(11);
  EXPECT_EQ(result_buffer_position, 0);
  result_buffer_reserve(12, 0);
  EXPECT_EQ(result_buffer_capacity, 16396);
  EXPECT_EQ(block_size(ResultBuffer), 16401u);
  EXPECT_EQ(result_buffer_position, 12);
}

TEST_F(Strings, ReserveKeepsContentsAcrossGrowthAndReturnsTheOffsetAddress) {
  char* q = result_buffer_reserve(5, 0);
  std::memcpy(q, "hello", 5);
  result_buffer_release(0);
  char* r = result_buffer_reserve(40000, 5);
  EXPECT_EQ(r, ResultBuffer + 5);
  EXPECT_EQ(std::memcmp(ResultBuffer, "hello", 5), 0);
  EXPECT_EQ(result_buffer_position, 40005);

  EXPECT_EQ(result_buffer_reserve(0, 7), ResultBuffer + 7);
  EXPECT_EQ(result_buffer_position, 7);
}

TEST_F(Strings, ReserveBeyondThePositionStillFits) {
  // An offset past the position must not be sized from the position alone.
  char* q = result_buffer_reserve(100, 10);
  ASSERT_NE(q, nullptr);
  std::memset(q, 'z', 101);  // the result and its terminator
  EXPECT_GE(result_buffer_capacity, 110 + 4);
  EXPECT_GE(block_size(ResultBuffer), 111u);
}

TEST_F(Strings, ReserveThatCannotGrowChangesNothing) {
  char* before = ResultBuffer;
  heap_fail_request(1);
  EXPECT_EQ(result_buffer_reserve(100, 0), nullptr);
  EXPECT_EQ(ResultBuffer, before);
  EXPECT_EQ(result_buffer_capacity, 16);
  EXPECT_EQ(result_buffer_position, 0);
}

}  // namespace
