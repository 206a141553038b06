// Holding console output: calls made while held change the buffer at once but reach the
// terminal together at the last release, and nothing is shown for a hold that drew nothing.
#include "platform/terminal/terminal.h"
#include "platform/terminal/terminal_virtual.h"

#include <gtest/gtest.h>

namespace {

struct HeldOutput : ::testing::Test {
  HANDLE out = 0;
  void SetUp() override {
    terminal_use_virtual(10, 4);
    out = GetStdHandle(STD_OUTPUT_HANDLE);
    ASSERT_TRUE(SetConsoleMode(out, 0));  // a surface: every drawing call is shown
  }
  void TearDown() override { terminal_use_real(); }
  void draw_a_line() {
    DWORD written = 0;
    ASSERT_TRUE(FillConsoleOutputCharacterA(out, ' ', 40, COORD{0, 0}, &written));
    ASSERT_TRUE(SetConsoleCursorPosition(out, COORD{0, 1}));
    ASSERT_TRUE(WriteConsoleA(out, "ab", 2, &written, nullptr));
  }
};

TEST_F(HeldOutput, EveryCallIsShownWhenNothingIsHeld) {
  uint32_t before = terminal_virtual_presents();
  draw_a_line();
  EXPECT_EQ(terminal_virtual_presents(), before + 3);
}

TEST_F(HeldOutput, HeldCallsChangeTheBufferAtOnceAndAreShownOnceAtTheLastRelease) {
  uint32_t before = terminal_virtual_presents();
  terminal_hold_output();
  terminal_hold_output();
  draw_a_line();
  EXPECT_EQ(terminal_virtual_cell(1, 1).character, 'b');
  EXPECT_EQ(terminal_virtual_cursor().X, 2);
  EXPECT_EQ(terminal_virtual_presents(), before);
  terminal_release_output();
  EXPECT_EQ(terminal_virtual_presents(), before);
  terminal_release_output();
  EXPECT_EQ(terminal_virtual_presents(), before + 1);
  // Output goes out call by call again, and a release too many changes nothing.
  terminal_release_output();
  draw_a_line();
  EXPECT_EQ(terminal_virtual_presents(), before + 4);
}

TEST_F(HeldOutput, AHoldThatDrewNothingShowsNothing) {
  uint32_t before = terminal_virtual_presents();
  terminal_hold_output();
  CONSOLE_SCREEN_BUFFER_INFO info{};
  EXPECT_TRUE(GetConsoleScreenBufferInfo(out, &info));
  EXPECT_TRUE(SetConsoleTextAttribute(out, 0x0A));
  terminal_release_output();
  EXPECT_EQ(terminal_virtual_presents(), before);
}

TEST_F(HeldOutput, ANewConsoleForgetsAHoldLeftOpen) {
  terminal_hold_output();
  terminal_use_virtual(10, 4);
  ASSERT_TRUE(SetConsoleMode(out, 0));
  uint32_t before = terminal_virtual_presents();
  draw_a_line();
  EXPECT_EQ(terminal_virtual_presents(), before + 3);
}

}  // namespace
