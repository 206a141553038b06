// The in-memory console's input: records queued from typed bytes, the count, the read of
// records, buffer-size records, and line editing with echo.
#include "platform/terminal/terminal_input.h"
#include "platform/terminal/terminal_virtual.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct VirtualInput : ::testing::Test {
  void SetUp() override {
    terminal_use_virtual(20, 5);
    terminal_virtual_clear_input();
  }
  void TearDown() override { terminal_use_real(); }
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD pending() {
    DWORD n = 99;
    EXPECT_TRUE(GetNumberOfConsoleInputEvents(input, &n));
    return n;
  }
  INPUT_RECORD next() {
    INPUT_RECORD record{};
    DWORD read = 0;
    EXPECT_TRUE(ReadConsoleInputA(input, &record, 1, &read));
    EXPECT_EQ(read, 1u);
    return record;
  }
  std::string read_line(DWORD count = 64) {
    char bytes[256];
    DWORD read = 0;
    EXPECT_TRUE(ReadConsoleA(input, bytes, count, &read, nullptr));
    return std::string(bytes, read);
  }
  static std::string row(SHORT y) {
    char text[64];
    terminal_virtual_row(y, text, sizeof text);
    std::string s = text;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }
};

TEST_F(VirtualInput, EachKeyIsAPressAndARelease) {
  EXPECT_EQ(pending(), 0u);
  terminal_virtual_type("a\x1b[A", 4);
  EXPECT_EQ(pending(), 4u);
  struct Expect {
    BOOL down;
    WORD code;
    char character;
  } expected[] = {{TRUE, 'A', 'a'}, {FALSE, 'A', 'a'}, {TRUE, VK_UP, 0}, {FALSE, VK_UP, 0}};
  for (const Expect& e : expected) {
    INPUT_RECORD record = next();
    ASSERT_EQ(record.EventType, KEY_EVENT);
    EXPECT_EQ(record.Event.KeyEvent.bKeyDown, e.down);
    EXPECT_EQ(record.Event.KeyEvent.wVirtualKeyCode, e.code);
    EXPECT_EQ(record.Event.KeyEvent.uChar.AsciiChar, e.character);
    EXPECT_EQ(record.Event.KeyEvent.wRepeatCount, 1);
  }
  EXPECT_EQ(pending(), 0u);
}

TEST_F(VirtualInput, ReadingMoreRecordsTakesWhatIsThere) {
  terminal_virtual_type("xy", 2);
  INPUT_RECORD records[8];
  DWORD read = 0;
  ASSERT_TRUE(ReadConsoleInputA(input, records, 8, &read));
  EXPECT_EQ(read, 4u);
  EXPECT_EQ(records[2].Event.KeyEvent.uChar.AsciiChar, 'y');
}

TEST_F(VirtualInput, WithNothingQueuedAReadFailsInsteadOfWaitingForever) {
  INPUT_RECORD record;
  DWORD read = 7;
  EXPECT_FALSE(ReadConsoleInputA(input, &record, 1, &read));
  EXPECT_EQ(GetLastError(), ERROR_HANDLE_EOF);
  EXPECT_EQ(read, 0u);
}

TEST_F(VirtualInput, OnlyStandardInputHasRecords) {
  DWORD n = 0;
  EXPECT_FALSE(GetNumberOfConsoleInputEvents(GetStdHandle(STD_OUTPUT_HANDLE), &n));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  INPUT_RECORD record;
  DWORD read = 0;
  EXPECT_FALSE(ReadConsoleInputA(12345, &record, 1, &read));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(GetNumberOfConsoleInputEvents(input, nullptr));
}

TEST_F(VirtualInput, PushedRecordsQueueBehindTypedKeys) {
  terminal_virtual_type("q", 1);
  INPUT_RECORD focus{};
  focus.EventType = FOCUS_EVENT;
  focus.Event.FocusEvent.bSetFocus = TRUE;
  terminal_virtual_push_event(focus);
  EXPECT_EQ(pending(), 3u);
  next();
  next();
  EXPECT_EQ(next().EventType, FOCUS_EVENT);
}

TEST_F(VirtualInput, AResizeComesAsABufferSizeRecord) {
  EXPECT_EQ(pending(), 0u);
  terminal_virtual_resize(33, 7);
  EXPECT_EQ(pending(), 1u);
  INPUT_RECORD record = next();
  ASSERT_EQ(record.EventType, WINDOW_BUFFER_SIZE_EVENT);
  EXPECT_EQ(record.Event.WindowBufferSizeEvent.dwSize.X, 33);
  EXPECT_EQ(record.Event.WindowBufferSizeEvent.dwSize.Y, 7);
  EXPECT_EQ(pending(), 0u);
}

TEST_F(VirtualInput, ALineIsEditedEchoedAndEndedByCrLf) {
  terminal_virtual_type("abc\x7f" "d\r" "next", 10);
  EXPECT_EQ(read_line(), "abd\r\n");
  EXPECT_EQ(row(0), "abd");
  COORD cursor = terminal_virtual_cursor();
  EXPECT_EQ(cursor.X, 0);
  EXPECT_EQ(cursor.Y, 1);
  // What was typed after the line end stays for the next read; with no line end left
  // it comes without one.
  EXPECT_EQ(read_line(), "next");
}

TEST_F(VirtualInput, EndOfInputAtTheStartOfALineIsTheCtrlZLine) {
  terminal_virtual_type("\x04", 1);
  EXPECT_EQ(read_line(), "\x1a\r\n");
  // Nothing typed at all reads as the end of input too.
  EXPECT_EQ(read_line(), "\x1a\r\n");
}

TEST_F(VirtualInput, ALineThatFillsTheReadComesWithoutItsEnd) {
  terminal_virtual_type("abcdefgh\r", 9);
  EXPECT_EQ(read_line(6), "abcdef");
  terminal_virtual_type("abcd\r", 5);
  EXPECT_EQ(read_line(6), "abcd\r\n");
}

TEST_F(VirtualInput, WithoutLineInputEachKeyComesAsItIs) {
  SetConsoleMode(input, ENABLE_PROCESSED_INPUT);
  terminal_virtual_type("a\r", 2);
  EXPECT_EQ(read_line(), "a\r");
  EXPECT_EQ(row(0), "");
}

TEST_F(VirtualInput, AFreshConsoleStartsWithAnEmptyQueue) {
  terminal_virtual_type("zz", 2);
  terminal_virtual_clear_input();
  EXPECT_EQ(pending(), 0u);
}

}  // namespace
