// The real terminal backend seen from the terminal's side: the bytes a child process
// writes to a pseudo-terminal, its exit status, and the terminal modes it leaves.
#include "platform/terminal/terminal.h"
#include "tests/platform/terminal/pty_child.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string ENTER_SCREEN = "\x1b[?1049h";
const std::string LEAVE_SCREEN = "\x1b[?1049l";
const std::string PUSH_TITLE = "\x1b[22;0t";
const std::string POP_TITLE = "\x1b[23;0t";
const std::string SHOW_CURSOR = "\x1b[?25h";
const std::string RESET_COLOURS = "\x1b[0m";
const std::string BRIGHT_GREEN_ON_BLACK = "\x1b[0;92;40m";
const std::string SMILE = "hi\u263A";  // byte 0x01 drawn as its glyph

void say(const char* text) {
  ssize_t ignored = write(1, text, strlen(text));
  (void)ignored;
}

// What the monitor does once: a title, the surface, a clear and a green status line.
void draw_status() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  SetConsoleTitleA("T1");
  SetConsoleMode(out, 0);
  SetConsoleTextAttribute(out, 0x0A);
  COORD home = {0, 0};
  FillConsoleOutputAttribute(out, 0x0A, 40 * 10, home, nullptr);
  FillConsoleOutputCharacterA(out, ' ', 40 * 10, home, nullptr);
  SetConsoleCursorPosition(out, COORD{0, 1});
  WriteConsoleA(out, "hi\x01", 3, nullptr, nullptr);
}

// Everything put back, after position from: colours, autowrap, cursor, normal screen, title.
void expect_restored_after(const std::string& bytes, size_t from) {
  size_t leave = bytes.find(LEAVE_SCREEN, from);
  ASSERT_NE(leave, std::string::npos);
  EXPECT_NE(bytes.find(RESET_COLOURS, from), std::string::npos);
  EXPECT_NE(bytes.find("\x1b[?7h", from), std::string::npos);
  EXPECT_NE(bytes.find(SHOW_CURSOR, from), std::string::npos);
  EXPECT_NE(bytes.find(POP_TITLE, from), std::string::npos);
}

TEST(TerminalPty, SurfaceUsesAlternateScreenTitleStackAndColours) {
  PtyChild child;
  child.start([] {
    draw_status();
    pause();
  });
  ASSERT_TRUE(child.read_until(SMILE));
  const std::string& b = child.bytes;
  size_t push = b.find(PUSH_TITLE);
  size_t title = b.find("\x1b]0;T1\x07");
  size_t enter = b.find(ENTER_SCREEN);
  size_t green = b.find(BRIGHT_GREEN_ON_BLACK, enter);
  size_t text = b.find(SMILE);
  ASSERT_NE(push, std::string::npos);
  EXPECT_LT(push, title);
  EXPECT_LT(title, enter);
  EXPECT_LT(enter, green);
  EXPECT_LT(green, text);
  EXPECT_EQ(b.find(LEAVE_SCREEN), std::string::npos);
  EXPECT_FALSE(child.echo_on());  // typed keys are not echoed over the drawing
  kill(child.pid(), SIGTERM);
  int status = child.wait_end();
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  expect_restored_after(child.bytes, text);
  EXPECT_TRUE(child.echo_on());
}

TEST(TerminalPty, ContinuedProcessRedrawsEverything) {
  PtyChild child;
  child.start([] {
    draw_status();
    say("<drawn>");
    pause();
  });
  ASSERT_TRUE(child.read_until("<drawn>"));
  size_t drawn = child.bytes.find("<drawn>");
  kill(child.pid(), SIGCONT);  // as after a stop that someone else made
  ASSERT_TRUE(child.read_until(SMILE, drawn));
  std::string redraw = child.bytes.substr(drawn);
  EXPECT_NE(redraw.find("\x1b[1;1H"), std::string::npos);  // from the first cell on
  EXPECT_EQ(redraw.find(LEAVE_SCREEN), std::string::npos);
  kill(child.pid(), SIGKILL);
}

TEST(TerminalPty, StopRequestGivesTheTerminalBackAndTakesItAgain) {
  PtyChild child;
  child.start([] {
    draw_status();
    say("<drawn>");
    pause();
  });
  ASSERT_TRUE(child.read_until("<drawn>"));
  size_t drawn = child.bytes.find("<drawn>");
  // The child leads its own session, so no shell could continue it: the kernel does not
  // stop it, and it must take the terminal over again by itself.
  kill(child.pid(), SIGTSTP);
  ASSERT_TRUE(child.read_until(ENTER_SCREEN, drawn));
  size_t leave = child.bytes.find(LEAVE_SCREEN, drawn);
  size_t enter = child.bytes.find(ENTER_SCREEN, drawn);
  EXPECT_LT(leave, enter);
  EXPECT_NE(child.bytes.find(POP_TITLE, drawn), std::string::npos);
  ASSERT_TRUE(child.read_until(SMILE, enter));
  EXPECT_LT(child.bytes.find(PUSH_TITLE, leave), child.bytes.find(SMILE, enter));
  kill(child.pid(), SIGTERM);
  int status = child.wait_end();
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

TEST(TerminalPty, NormalExitRestores) {
  PtyChild child;
  child.start([] {
    draw_status();
    exit(0);
  });
  int status = child.wait_end();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  size_t text = child.bytes.find(SMILE);
  ASSERT_NE(text, std::string::npos);
  expect_restored_after(child.bytes, text);
  EXPECT_TRUE(child.echo_on());
}

BOOL note_close(DWORD event) {
  if (event == CTRL_CLOSE_EVENT) say("<close handler>");
  return FALSE;
}

struct EventCase {
  int signal_number;
  bool close_handler_works;
};

TEST(TerminalPty, DeclinedEventsRestoreThenEndByTheirSignal) {
  const EventCase cases[] = {{SIGHUP, true}, {SIGINT, false}, {SIGQUIT, false}, {SIGTERM, false}};
  for (const EventCase& c : cases) {
    PtyChild child;
    child.start([] {
      SetConsoleCtrlHandler(note_close, TRUE);
      draw_status();
      pause();
    });
    ASSERT_TRUE(child.read_until(SMILE)) << c.signal_number;
    size_t text = child.bytes.find(SMILE);
    kill(child.pid(), c.signal_number);
    int status = child.wait_end();
    ASSERT_TRUE(WIFSIGNALED(status)) << c.signal_number;
    EXPECT_EQ(WTERMSIG(status), c.signal_number);
    expect_restored_after(child.bytes, text);
    size_t note = child.bytes.find("<close handler>");
    EXPECT_EQ(note != std::string::npos, c.close_handler_works) << c.signal_number;
    if (note != std::string::npos) {
      EXPECT_LT(note, child.bytes.find(LEAVE_SCREEN, text));
    }
    EXPECT_TRUE(child.echo_on());
  }
}

BOOL first_registered(DWORD) {
  say("[first]");
  return FALSE;
}

BOOL second_registered(DWORD) {
  say("[second]");
  SetConsoleCtrlHandler(second_registered, FALSE);  // accepts once, then leaves the chain
  return TRUE;
}

TEST(TerminalPty, HandlersRunNewestFirstUntilOneAccepts) {
  PtyChild child;
  child.start([] {
    SetConsoleCtrlHandler(first_registered, TRUE);
    SetConsoleCtrlHandler(second_registered, TRUE);
    say("<ready>");
    for (;;) pause();
  });
  ASSERT_TRUE(child.read_until("<ready>"));
  kill(child.pid(), SIGINT);
  ASSERT_TRUE(child.read_until("[second]"));
  EXPECT_EQ(child.bytes.find("[first]"), std::string::npos);
  kill(child.pid(), SIGINT);
  int status = child.wait_end();
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  EXPECT_NE(child.bytes.find("[first]"), std::string::npos);
}

TEST(TerminalPty, IgnoredCtrlCReachesNoHandler) {
  PtyChild child;
  child.start([] {
    SetConsoleCtrlHandler(first_registered, TRUE);
    SetConsoleCtrlHandler(nullptr, TRUE);
    say("<ready>");
    for (;;) pause();
  });
  ASSERT_TRUE(child.read_until("<ready>"));
  kill(child.pid(), SIGINT);
  kill(child.pid(), SIGTERM);  // handled in order after the interrupt
  int status = child.wait_end();
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_EQ(child.bytes.find("[first]"), child.bytes.rfind("[first]"));  // once: for SIGTERM only
}

TEST(TerminalPty, CrashRestoresBeforeTheSignalGoesOn) {
  const int signals[] = {SIGABRT, SIGSEGV, SIGFPE};
  for (int signal_number : signals) {
    PtyChild child;
    child.start([signal_number] {
      draw_status();
      raise(signal_number);
      say("<survived>");
    });
    int status = child.wait_end();
    // Under the address sanitizer its own report ends the process instead (by an exit
    // status, or by abort when it is told to).
    EXPECT_TRUE((WIFSIGNALED(status) &&
                 (WTERMSIG(status) == signal_number || WTERMSIG(status) == SIGABRT)) ||
                (WIFEXITED(status) && WEXITSTATUS(status) != 0))
        << signal_number;
    size_t text = child.bytes.find(SMILE);
    ASSERT_NE(text, std::string::npos) << signal_number;
    expect_restored_after(child.bytes, text);
    EXPECT_EQ(child.bytes.find("<survived>"), std::string::npos);
    EXPECT_TRUE(child.echo_on());
  }
}

// Deeper and deeper until the stack runs out.
int (*volatile descend)(int) = nullptr;
int descend_once(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  return descend(depth + 1) + frame[0];
}

TEST(TerminalPty, StackOverflowStillRestores) {
  PtyChild child;
  child.start([] {
    draw_status();
    descend = descend_once;
    descend(0);
  });
  int status = child.wait_end();
  EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  size_t text = child.bytes.find(SMILE);
  ASSERT_NE(text, std::string::npos);
  expect_restored_after(child.bytes, text);
  EXPECT_TRUE(child.echo_on());
}

TEST(TerminalPty, RawLinesStayOnTheNormalScreen) {
  PtyChild child;
  child.start([] {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    SetConsoleTextAttribute(out, 0x0A);
    WriteConsoleA(out, "green\r\n", 7, nullptr, nullptr);
    SetConsoleTextAttribute(out, 0x07);
    WriteConsoleA(out, "plain\n\x01\x80", 8, nullptr, nullptr);
    // The colour is reset at exit; a sanitizer's notes at exit stay off the terminal.
    dup2(open("/dev/null", O_WRONLY), 2);
    exit(0);
  });
  int status = child.wait_end();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(child.bytes, BRIGHT_GREEN_ON_BLACK + "green\r\n" + RESET_COLOURS +
                             "plain\r\n\u263A\u00C7" + RESET_COLOURS);
}

TEST(TerminalPty, ColourBitsMapToAnsiColours) {
  struct Case {
    WORD attributes;
    const char* sequence;
  };
  const Case cases[] = {
      {0x07, "\x1b[0;37;40m"},  {0x0C, "\x1b[0;91;40m"},  {0x01, "\x1b[0;34;40m"},
      {0x06, "\x1b[0;33;40m"},  {0xC0, "\x1b[0;30;101m"}, {0x1F, "\x1b[0;97;44m"},
      {0x5E, "\x1b[0;93;45m"},  {0x83, "\x1b[0;36;100m"},
  };
  for (const Case& c : cases) {
    PtyChild child;
    WORD attributes = c.attributes;
    child.start([attributes] {
      HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
      SetConsoleMode(out, 0);
      FillConsoleOutputAttribute(out, 0x00, 40 * 10, COORD{0, 0}, nullptr);
      SetConsoleTextAttribute(out, attributes);
      WriteConsoleA(out, "Q", 1, nullptr, nullptr);
    });
    child.wait_end();
    EXPECT_NE(child.bytes.find(std::string(c.sequence) + "Q"), std::string::npos)
        << std::hex << c.attributes;
  }
}

TEST(TerminalPty, BellOnTheSurfaceRingsAndDrawsNothing) {
  PtyChild child;
  child.start([] {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    SetConsoleMode(out, 0);
    SetConsoleMode(out, 3);
    say("<write>");
    WriteConsoleA(out, "x\ay", 3, nullptr, nullptr);
  });
  child.wait_end();
  std::string written = child.bytes.substr(child.bytes.find("<write>"));
  EXPECT_NE(written.find('\a'), std::string::npos) << ::testing::PrintToString(written);
  EXPECT_NE(written.find("xy"), std::string::npos);
}

TEST(TerminalPty, OnlyChangedCellsAreDrawnAgain) {
  PtyChild child;
  child.start([] {
    draw_status();
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    say("<again>");
    // The same attribute and the same text over themselves change no cell.
    FillConsoleOutputAttribute(out, 0x0A, 40 * 10, COORD{0, 0}, nullptr);
    SetConsoleCursorPosition(out, COORD{0, 1});
    WriteConsoleA(out, "hi\x01", 3, nullptr, nullptr);
    say("<change>");
    SetConsoleCursorPosition(out, COORD{5, 4});
    WriteConsoleA(out, "Z", 1, nullptr, nullptr);
    say("<end>");
    pause();
  });
  ASSERT_TRUE(child.read_until("<end>"));
  const std::string& b = child.bytes;
  size_t again = b.find("<again>");
  size_t change = b.find("<change>");
  std::string second = b.substr(again, change - again);
  EXPECT_EQ(second.find("hi"), std::string::npos) << ::testing::PrintToString(second);
  EXPECT_EQ(second.find(' '), std::string::npos);
  EXPECT_EQ(second.find("\x1b[0;"), std::string::npos);
  std::string third = b.substr(change, b.find("<end>") - change);
  EXPECT_NE(third.find("\x1b[5;6HZ"), std::string::npos) << ::testing::PrintToString(third);
  EXPECT_EQ(third.find("hi"), std::string::npos);
}

TEST(TerminalPty, NothingReachesAnOutputFileInGraphicalUse) {
  char path[] = "/tmp/ostrelin-terminal-XXXXXX";
  int file = mkstemp(path);
  ASSERT_GE(file, 0);
  PtyChild child;
  child.start(
      [] {
        draw_status();
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        DWORD written = 0;
        if (WriteConsoleA(out, "x", 1, &written, nullptr)) _exit(10);
        if (GetLastError() != ERROR_INVALID_HANDLE) _exit(11);
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (GetConsoleScreenBufferInfo(out, &info)) _exit(12);
        if (SetConsoleCursorPosition(out, COORD{0, 0})) _exit(13);
        if (!WriteFile(out, "raw\r\n", 5, &written, nullptr) || written != 5) _exit(14);
      },
      40, 10, file);
  int status = child.wait_end();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  char content[64] = {};
  ssize_t n = pread(file, content, sizeof content - 1, 0);
  close(file);
  unlink(path);
  EXPECT_EQ(std::string(content, n > 0 ? static_cast<size_t>(n) : 0), "raw\r\n");
  EXPECT_EQ(child.bytes, "");  // and nothing on the terminal either
}

TEST(TerminalPty, WriteToAClosedPipeFailsWithoutASignal) {
  PtyChild child;
  child.start([] {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) _exit(20);
    close(pipe_ends[0]);
    dup2(pipe_ends[1], 1);
    DWORD written = 0;
    BOOL ok = WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "x", 1, &written, nullptr);
    _exit(!ok && GetLastError() == ERROR_BROKEN_PIPE ? 0 : 21);
  });
  int status = child.wait_end();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(TerminalPty, TerminalSizeIsTheBufferSizeAndFollowsAResize) {
  PtyChild child;
  child.start(
      [] {
        CONSOLE_SCREEN_BUFFER_INFO info;
        GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info);
        char text[32];
        snprintf(text, sizeof text, "<%dx%d>", info.dwSize.X, info.dwSize.Y);
        say(text);
        // A tight loop on the console must not keep the resize out.
        for (;;) {
          GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info);
          if (info.dwSize.X != 33) continue;
          snprintf(text, sizeof text, "<%dx%d>", info.dwSize.X, info.dwSize.Y);
          say(text);
          pause();
        }
      },
      37, 9);
  ASSERT_TRUE(child.read_until("<37x9>"));
  child.resize(33, 7);
  EXPECT_TRUE(child.read_until("<33x7>"));
  kill(child.pid(), SIGKILL);
}

}  // namespace
