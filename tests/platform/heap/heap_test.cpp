// Private heaps: contents, zero-fill, counters, failure injection and serialisation.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/heap/heap.h"

namespace {

class Heap : public ::testing::Test {
 protected:
  void SetUp() override { heap = HeapCreate(0, 4096, 0); ASSERT_NE(heap, 0); }
  void TearDown() override { HeapDestroy(heap); }
  HANDLE heap = 0;
};

TEST_F(Heap, CountsLiveBlocksAndBytes) {
  void* a = HeapAlloc(heap, 0, 10);
  void* b = HeapAlloc(heap, HEAP_ZERO_MEMORY, 30);
  EXPECT_EQ(heap_stats(heap).live_blocks, 2u);
  EXPECT_EQ(heap_stats(heap).live_bytes, 40u);
  EXPECT_TRUE(HeapFree(heap, 0, a));
  EXPECT_TRUE(HeapFree(heap, 0, b));
  EXPECT_EQ(heap_stats(heap).live_blocks, 0u);
  EXPECT_EQ(heap_stats(heap).live_bytes, 0u);
}

TEST_F(Heap, ZeroFlagZeroesNewBlocksAndGrowth) {
  auto* a = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 64));
  for (int i = 0; i < 64; i++) ASSERT_EQ(a[i], 0);
  std::memset(a, 0xAB, 64);
  a = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, a, 128));
  for (int i = 0; i < 64; i++) ASSERT_EQ(a[i], 0xAB);
  for (int i = 64; i < 128; i++) ASSERT_EQ(a[i], 0);
  a = static_cast<unsigned char*>(HeapReAlloc(heap, 0, a, 8));
  EXPECT_EQ(a[7], 0xAB);
  EXPECT_EQ(HeapSize(heap, 0, a), 8u);
  EXPECT_EQ(heap_stats(heap).live_bytes, 8u);
}

TEST_F(Heap, InjectedFailureHitsExactlyTheNthRequestAndLeavesTheBlock) {
  void* a = HeapAlloc(heap, 0, 16);
  std::memcpy(a, "keep", 5);
  heap_fail_request(2);
  void* b = HeapAlloc(heap, 0, 16);
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(HeapReAlloc(heap, 0, a, 1000), nullptr);
  EXPECT_STREQ(static_cast<char*>(a), "keep");
  EXPECT_EQ(heap_stats(heap).live_blocks, 2u);
  void* c = HeapAlloc(heap, 0, 16);  // disarmed after one failure
  EXPECT_NE(c, nullptr);
}

TEST_F(Heap, RefusesForeignBlocksAndHonoursTheMaximum) {
  HANDLE other = HeapCreate(0, 0, 100);
  void* mine = HeapAlloc(heap, 0, 8);
  EXPECT_FALSE(HeapFree(other, 0, mine));
  EXPECT_FALSE(HeapFree(heap, 0, nullptr));
  EXPECT_EQ(HeapAlloc(other, 0, 101), nullptr);
  void* fits = HeapAlloc(other, 0, 100);
  EXPECT_NE(fits, nullptr);
  EXPECT_EQ(HeapAlloc(other, 0, 1), nullptr);
  EXPECT_TRUE(HeapDestroy(other));  // frees what it still holds
  EXPECT_FALSE(HeapDestroy(0));
}

TEST_F(Heap, ConcurrentCallsAreSerialised) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++) {
    threads.emplace_back([this] {
      for (int i = 0; i < 2000; i++) {
        void* p = HeapAlloc(heap, 0, 24);
        p = HeapReAlloc(heap, 0, p, 48);
        HeapFree(heap, 0, p);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(heap_stats(heap).live_blocks, 0u);
}

}  // namespace
