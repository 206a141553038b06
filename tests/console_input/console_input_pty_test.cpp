// Key and line input at a real terminal: a pseudo-terminal typed into as a person would,
// with the console layer running in a child process on it.
#include "console/console.h"
#include "console/console_input.h"
#include "platform/terminal/terminal_input.h"
#include "platform/terminal/terminal_virtual.h"
#include "runtime/strings.h"
#include "tests/console_input/input_support.h"
#include "tests/console_input/pty_session.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

// In the child: a result with the key code the poll left.
std::string poll_report() {
  input_test_empty_result_buffer();
  char* q = console_poll_key(0);
  return std::string(q) + "|" + std::to_string(ConsoleState.last_key_code);
}

std::string line_report(char* (*read)(int32_t)) {
  input_test_empty_result_buffer();
  char* q = read(0);
  return std::string(q, static_cast<size_t>(result_buffer_position));
}

void open_console() {
  input_test_runtime();
  console_open();
}

bool ended_cleanly(int status) { return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

TEST(TerminalInput, ConsoleLinesAreEditedByTheTerminalAndEchoed) {
  PtySession session;
  session.start([] {
    open_console();
    for (int i = 0; i < 4; ++i) pty_report(line_report(console_read_line_raw));
  });
  session.type("hello\r");
  EXPECT_EQ(session.next_report(), "hello");
  session.type("\r");
  EXPECT_EQ(session.next_report(), "");
  // The terminal's own erase key edits the line.
  session.type("wrd\x7f\x7f" "ord\r");
  EXPECT_EQ(session.next_report(), "word");
  // Ctrl+D at the start of a line is the end of input.
  session.type("\x04");
  EXPECT_EQ(session.next_report(), END_OF_INPUT);
  EXPECT_TRUE(ended_cleanly(session.wait_end()));
  // The echo may still be on its way from the terminal to the reader of its other end.
  for (int i = 0; i < 200 && session.screen_bytes().find("hello") == std::string::npos; ++i) {
    usleep(10000);
  }
  EXPECT_NE(session.screen_bytes().find("hello"), std::string::npos) << "typed text is echoed";
}

TEST(TerminalInput, KeyPollsNeverWaitAndTakeOneKeyEach) {
  PtySession session;
  session.start([] {
    open_console();
    pty_report(poll_report());  // nothing typed yet
    pty_report("ready");
    pty_wait_typed(3);
    pty_report(poll_report());
    pty_report(poll_report());
    pty_report(poll_report());
    pty_report(poll_report());
    pty_report("ready");
    pty_wait_typed(3);
    pty_report(poll_report());
    pty_report(poll_report());
  });
  EXPECT_EQ(session.next_report(), "|0");
  EXPECT_EQ(session.next_report(), "ready");
  // Keys are read one at a time, without line editing or echo.
  struct termios modes = session.modes();
  EXPECT_EQ(modes.c_lflag & ICANON, 0u);
  EXPECT_EQ(modes.c_lflag & ECHO, 0u);
  session.type("ab\r");
  EXPECT_EQ(session.next_report(), "a|65");
  EXPECT_EQ(session.next_report(), "b|66");
  EXPECT_EQ(session.next_report(), "\r|13");
  EXPECT_EQ(session.next_report(), "|0");
  EXPECT_EQ(session.next_report(), "ready");
  session.type("\x1b[A");
  EXPECT_EQ(session.next_report(), "|" + std::to_string(VK_UP));
  // The arrow's release was left for this poll, which finds no press.
  EXPECT_EQ(session.next_report(), "|0");
  EXPECT_TRUE(ended_cleanly(session.wait_end()));
  EXPECT_EQ(session.screen_bytes().find("ab"), std::string::npos) << "keys are not echoed";
}

TEST(TerminalInput, ALoneEscapeIsTheEscapeKeyOnceNoSequenceFollows) {
  PtySession session;
  session.start([] {
    open_console();
    poll_report();
    pty_report("ready");
    pty_wait_typed(1);
    std::string first = poll_report();  // the Escape may still be waiting for more
    std::string key = first;
    for (int i = 0; i < 400 && key.rfind("|0") == key.size() - 2; ++i) {
      usleep(5000);
      key = poll_report();
    }
    pty_report(key);
  });
  EXPECT_EQ(session.next_report(), "ready");
  session.type("\x1b");
  EXPECT_EQ(session.next_report(), "\x1b|" + std::to_string(VK_ESCAPE));
  EXPECT_TRUE(ended_cleanly(session.wait_end()));
}

TEST(TerminalInput, GraphicalLinesEchoOnTheSurfaceAndHonourBackspace) {
  PtySession session;
  session.start(
      [] {
        open_console();
        console_set_graphical(1);
        console_clear();
        DWORD count = 0;
        GetNumberOfConsoleInputEvents(ConsoleState.input_handle, &count);
        pty_report("ready");
        pty_report(line_report(console_read_line_graphical));
        char row[64];
        terminal_virtual_row(0, row, sizeof row);
        pty_report(row);
        CONSOLE_SCREEN_BUFFER_INFO info;
        GetConsoleScreenBufferInfo(ConsoleState.output_handle, &info);
        pty_report(std::to_string(info.dwCursorPosition.X) + "," +
                   std::to_string(info.dwCursorPosition.Y));
        // Typing on into the last column: the row keeps its last cell free.
        pty_report(line_report(console_read_line_graphical));
        terminal_virtual_row(1, row, sizeof row);
        pty_report(row);
      },
      10, 5);
  EXPECT_EQ(session.next_report(), "ready");
  session.type("\x7f" "ab\x7f" "c\r");
  EXPECT_EQ(session.next_report(), "ac");
  EXPECT_EQ(session.next_report(), "ac        ");
  EXPECT_EQ(session.next_report(), "0,1");
  session.type("0123456789AB\r");
  EXPECT_EQ(session.next_report(), "012345678");
  EXPECT_EQ(session.next_report(), "012345678 ");
  EXPECT_TRUE(ended_cleanly(session.wait_end()));
}

TEST(TerminalInput, AResizeArrivesAsABufferSizeRecord) {
  PtySession session;
  session.start(
      [] {
        open_console();
        DWORD count = 0;
        GetNumberOfConsoleInputEvents(ConsoleState.input_handle, &count);
        pty_report("ready");
        INPUT_RECORD record{};
        DWORD read = 0;
        while (ReadConsoleInputA(ConsoleState.input_handle, &record, 1, &read)) {
          if (record.EventType == WINDOW_BUFFER_SIZE_EVENT) break;
        }
        COORD size = record.Event.WindowBufferSizeEvent.dwSize;
        pty_report(std::to_string(size.X) + "x" + std::to_string(size.Y));
      },
      40, 10);
  EXPECT_EQ(session.next_report(), "ready");
  session.resize(50, 12);
  EXPECT_EQ(session.next_report(), "50x12");
  EXPECT_TRUE(ended_cleanly(session.wait_end()));
}

TEST(TerminalInput, TheTerminalIsPutBackWhenTheProgramEnds) {
  PtySession session;
  session.start([] {
    open_console();
    poll_report();
    pty_report("keys");
    // Typed while keys were read one by one: the line read still takes it as a line.
    pty_wait_typed(2);
    pty_report(line_report(console_read_line_raw));
    poll_report();
    pty_report("keys again");
  });
  struct termios before = session.initial_modes();
  EXPECT_EQ(session.next_report(), "keys");
  EXPECT_EQ(session.modes().c_lflag & ICANON, 0u);
  session.type("x\r");
  EXPECT_EQ(session.next_report(), "x");
  EXPECT_EQ(session.next_report(), "keys again");
  EXPECT_TRUE(ended_cleanly(session.wait_end()));
  struct termios after = session.modes();
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_NE(after.c_lflag & ICANON, 0u);
  EXPECT_NE(after.c_lflag & ECHO, 0u);
}

TEST(TerminalInput, InputOfAnotherTerminalThanTheOutputIsPutBackToo) {
  PtySession session;
  session.start(
      [] {
        open_console();
        poll_report();
        pty_report("keys");
        pty_wait_typed(1);
        pty_report(poll_report());
      },
      40, 10, true);
  struct termios before = session.initial_modes();
  EXPECT_EQ(session.next_report(), "keys");
  EXPECT_EQ(session.modes().c_lflag & (ICANON | ECHO), 0u);
  session.type("k");
  EXPECT_EQ(session.next_report(), "k|75");
  EXPECT_TRUE(ended_cleanly(session.wait_end()));
  EXPECT_EQ(session.modes().c_lflag, before.c_lflag);
  EXPECT_EQ(session.modes().c_iflag, before.c_iflag);
}

}  // namespace
