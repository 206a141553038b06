// Threads, critical sections and the timer-period counter.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/thread/thread.h"

namespace {

std::atomic<int> ran{0};
size_t stack_seen = 0;

DWORD count_and_measure(void*) {
  pthread_attr_t attr;
  pthread_getattr_np(pthread_self(), &attr);
  pthread_attr_getstacksize(&attr, &stack_seen);
  pthread_attr_destroy(&attr);
  ran.fetch_add(1);
  return 0;
}

TEST(Thread, RunsTheRoutineWithAtLeastTheMinimumStack) {
  ran = 0;
  HANDLE h = CreateThread(nullptr, 8192, count_and_measure, nullptr, 0, nullptr);
  ASSERT_NE(h, 0);
  EXPECT_TRUE(CloseHandle(h));
  while (ran.load() == 0) Sleep(1);
  EXPECT_GE(stack_seen, THREAD_MIN_STACK_BYTES);
  EXPECT_FALSE(CloseHandle(0));
}

TEST(Thread, CriticalSectionIsRecursiveAndExcludesOthers) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  static int counter;
  counter = 0;
  static CRITICAL_SECTION* shared;
  shared = &cs;
  auto bump = [](void*) -> DWORD {
    for (int i = 0; i < 10000; i++) {
      EnterCriticalSection(shared);
      EnterCriticalSection(shared);
      counter++;
      LeaveCriticalSection(shared);
      LeaveCriticalSection(shared);
    }
    ran.fetch_add(1);
    return 0;
  };
  ran = 0;
  CloseHandle(CreateThread(nullptr, 0, bump, nullptr, 0, nullptr));
  CloseHandle(CreateThread(nullptr, 0, bump, nullptr, 0, nullptr));
  while (ran.load() < 2) Sleep(1);
  EXPECT_EQ(counter, 20000);
  DeleteCriticalSection(&cs);
}

TEST(Thread, TimerPeriodCallsBalance) {
  int depth = timer_period_depth();
  EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
  EXPECT_EQ(timer_period_depth(), depth + 1);
  EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
  EXPECT_EQ(timer_period_depth(), depth);
  EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
}

}  // namespace
