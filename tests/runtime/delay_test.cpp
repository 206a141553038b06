// The delay brackets every sleep with the timer-resolution request.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/thread/thread.h"
#include "runtime/delay.h"

TEST(Delay, BracketsEvenAZeroSleepAndSleepsAtLeastTheTime) {
  int depth = timer_period_depth();
  runtime_delay(0);
  EXPECT_EQ(timer_period_depth(), depth);

  auto start = std::chrono::steady_clock::now();
  runtime_delay(20);
  auto slept = std::chrono::steady_clock::now() - start;
  EXPECT_GE(slept, std::chrono::milliseconds(20));
  EXPECT_EQ(timer_period_depth(), depth);
}
