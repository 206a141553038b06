// Key polls, console line input and graphical line input on the in-memory console, with
// keys queued as a terminal would send them.
#include "console/console.h"
#include "console/console_input.h"
#include "platform/terminal/terminal_input.h"
#include "platform/terminal/terminal_virtual.h"
#include "runtime/strings.h"
#include "tests/console_input/input_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr SHORT WIDTH = 12;
constexpr SHORT HEIGHT = 4;

struct ConsoleKeys : ::testing::Test {
  void SetUp() override {
    input_test_runtime();
    open_on(false);
  }
  void TearDown() override { terminal_use_real(); }
  void open_on(bool redirected) {
    memset(static_cast<void*>(&ConsoleState), 0, sizeof ConsoleState);
    if (redirected) {
      terminal_use_virtual_redirected(WIDTH, HEIGHT);
    } else {
      terminal_use_virtual(WIDTH, HEIGHT);
    }
    terminal_virtual_clear_input();
    console_open();
    console_set_graphical(0);
    input_test_empty_result_buffer();
  }
  static void type(const std::string& keys) { terminal_virtual_type(keys.data(), keys.size()); }
  static std::string through(char* (*read)(int32_t)) {
    int32_t offset = result_buffer_position;
    char* q = read(offset);
    EXPECT_EQ(q, ResultBuffer + offset);
    std::string result(q, static_cast<size_t>(result_buffer_position - offset));
    EXPECT_EQ(q[result.size()], '\0');
    result_buffer_release(result_buffer_position - offset);
    return result;
  }
  static std::string poll() { return through(ConsoleOps.poll_key); }
  static std::string read_line() { return through(ConsoleOps.read_line); }
  static DWORD pending() {
    DWORD n = 0;
    GetNumberOfConsoleInputEvents(ConsoleState.input_handle, &n);
    return n;
  }
  static std::string row(SHORT y) {
    char text[64];
    terminal_virtual_row(y, text, sizeof text);
    std::string s = text;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }
};

TEST_F(ConsoleKeys, BothModesPollWithTheSameFunction) {
  EXPECT_EQ(ConsoleOps.poll_key, &console_poll_key);
  EXPECT_EQ(ConsoleOps.read_line, &console_read_line_raw);
  console_set_graphical(1);
  EXPECT_EQ(ConsoleOps.poll_key, &console_poll_key);
  EXPECT_EQ(ConsoleOps.read_line, &console_read_line_graphical);
}

TEST_F(ConsoleKeys, APollWithNothingPendingGivesNothing) {
  ConsoleState.last_key_code = 77;
  EXPECT_EQ(poll(), "");
  EXPECT_EQ(ConsoleState.last_key_code, 0u);
}

TEST_F(ConsoleKeys, AKeyReleaseAloneIsConsumed) {
  INPUT_RECORD release{};
  release.EventType = KEY_EVENT;
  release.Event.KeyEvent.bKeyDown = FALSE;
  release.Event.KeyEvent.wVirtualKeyCode = 'K';
  release.Event.KeyEvent.uChar.AsciiChar = 'k';
  terminal_virtual_push_event(release);
  EXPECT_EQ(poll(), "");
  EXPECT_EQ(ConsoleState.last_key_code, 0u);
  EXPECT_EQ(pending(), 0u);
}

TEST_F(ConsoleKeys, OfSeveralKeysThePollTakesTheFirstAndLeavesTheRest) {
  type("ab");
  EXPECT_EQ(poll(), "a");
  EXPECT_EQ(ConsoleState.last_key_code, static_cast<uint32_t>('A'));
  // a's release, then b's press and release
  EXPECT_EQ(pending(), 3u);
  EXPECT_EQ(poll(), "b");
  EXPECT_EQ(poll(), "");
  EXPECT_EQ(pending(), 0u);
}

TEST_F(ConsoleKeys, AKeyWithoutACharacterGivesNothingButItsCode) {
  type("\x1b[D\x1b[21~");
  EXPECT_EQ(poll(), "");
  EXPECT_EQ(ConsoleState.last_key_code, VK_LEFT);
  EXPECT_EQ(poll(), "");
  EXPECT_EQ(ConsoleState.last_key_code, VK_F1 + 9u);
}

TEST_F(ConsoleKeys, OtherEventsBeforeAKeyAreDropped) {
  terminal_virtual_resize(20, 6);
  type("z");
  EXPECT_EQ(poll(), "z");
  EXPECT_EQ(pending(), 1u);
}

TEST_F(ConsoleKeys, RedirectedOutputDoesNotStopThePoll) {
  open_on(true);
  type("\t");
  EXPECT_EQ(poll(), "\t");
  EXPECT_EQ(ConsoleState.last_key_code, VK_TAB);
}

TEST_F(ConsoleKeys, ConsoleLinesComeWithoutTheirEnd) {
  type("word\r\rCtrl\x1a\r\x1a\r\x04");
  EXPECT_EQ(read_line(), "word");
  EXPECT_EQ(read_line(), "");
  EXPECT_EQ(read_line(), "Ctrl\x1a");
  // Ctrl+Z alone on a line, and end of input at the start of a line.
  EXPECT_EQ(read_line(), END_OF_INPUT);
  EXPECT_EQ(read_line(), END_OF_INPUT);
  DWORD mode = 0;
  GetConsoleMode(ConsoleState.input_handle, &mode);
  EXPECT_EQ(mode, 7u);
}

TEST_F(ConsoleKeys, AFullConsoleReadIsTheResultUnshortened) {
  type(std::string(4100, 'k') + "\r");
  std::string line = read_line();
  EXPECT_EQ(line.size(), 4096u);
  EXPECT_EQ(line, std::string(4096, 'k'));
}

struct GraphicalLine : ConsoleKeys {
  void SetUp() override {
    ConsoleKeys::SetUp();
    console_set_graphical(1);
    console_clear();
  }
};

TEST_F(GraphicalLine, EnterAloneGivesNothingAndMovesToTheNextRow) {
  type("\r");
  EXPECT_EQ(read_line(), "");
  COORD cursor = terminal_virtual_cursor();
  EXPECT_EQ(cursor.X, 0);
  EXPECT_EQ(cursor.Y, 1);
}

TEST_F(GraphicalLine, BackspaceErasesTheLastCharacterAndNothingBeforeTheStart) {
  type("\x7f\bab\x7f" "c\r");
  EXPECT_EQ(read_line(), "ac");
  EXPECT_EQ(row(0), "ac");
  EXPECT_EQ(terminal_virtual_cursor().Y, 1);
}

TEST_F(GraphicalLine, TheLastColumnIsNeverTyped) {
  type("abcdefghijklmnop\r");
  EXPECT_EQ(read_line(), "abcdefghijk");
  EXPECT_EQ(row(0), "abcdefghijk");
  EXPECT_EQ(terminal_virtual_cell(WIDTH - 1, 0).character, ' ');
}

TEST_F(GraphicalLine, InputStartingInsideTheRowHasLessRoom) {
  console_print("abc");
  type("0123456789\r");
  EXPECT_EQ(read_line(), "01234567");
  EXPECT_EQ(row(0), "abc01234567");
}

TEST_F(GraphicalLine, ControlCharactersAreKeptAndDrawnLikeLetters) {
  type("\tx\x1b\r");
  EXPECT_EQ(read_line(), "\tx\x1b");
  EXPECT_EQ(terminal_virtual_cell(0, 0).character, '\t');
  EXPECT_EQ(terminal_virtual_cell(2, 0).character, 0x1b);
}

TEST_F(GraphicalLine, KeysWithoutCharactersAreDropped) {
  type("a\x1b[A\x1b[3~b\r");
  EXPECT_EQ(read_line(), "ab");
}

TEST_F(GraphicalLine, AFailedEventReadEndsTheLineWithWhatWasTyped) {
  type("half");
  EXPECT_EQ(read_line(), "half");
  EXPECT_EQ(terminal_virtual_cursor().Y, 0);
}

TEST_F(GraphicalLine, WithOutputRedirectedNothingIsKept) {
  open_on(true);
  console_set_graphical(1);
  type("abc\r");
  EXPECT_EQ(read_line(), "");
}

}  // namespace
