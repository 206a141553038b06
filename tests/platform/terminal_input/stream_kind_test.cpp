// What a standard stream is (the console or a file/pipe) is found once and kept: a program
// that points standard input elsewhere sees it after GetStdHandle, and a console read of
// a stream that stopped being a terminal fails without taking its bytes.
#include "platform/terminal/terminal.h"
#include "platform/terminal/terminal_virtual.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Standard input replaced by fd (taken) while the object lives.
struct StandardInputFrom {
  explicit StandardInputFrom(int fd) : saved(dup(0)) { point_at(fd); }
  ~StandardInputFrom() {
    dup2(saved, 0);
    close(saved);
  }
  void point_at(int fd) {
    dup2(fd, 0);
    close(fd);
  }
  int saved;
};

int pty_terminal() {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
  int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  // The master stays open for the life of the test process, so the terminal never hangs up.
  return terminal;
}

int file_with(const char* text) {
  char path[] = "/tmp/ostrelin-stream-kind-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) abort();
  unlink(path);
  if (write(fd, text, strlen(text)) != static_cast<ssize_t>(strlen(text))) abort();
  lseek(fd, 0, SEEK_SET);
  return fd;
}

TEST(StreamKind, ATerminalPutOnStandardInputIsSeenAfterGetStdHandle) {
  terminal_use_real();
  int terminal = pty_terminal();
  ASSERT_GE(terminal, 0);
  StandardInputFrom in(file_with("x"));
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD count = 0;
  EXPECT_FALSE(GetNumberOfConsoleInputEvents(input, &count));
  in.point_at(terminal);
  input = GetStdHandle(STD_INPUT_HANDLE);
  EXPECT_TRUE(GetNumberOfConsoleInputEvents(input, &count));
  EXPECT_EQ(count, 0u);
  terminal_use_real();
}

TEST(StreamKind, AConsoleReadOfAStreamThatIsNoLongerATerminalFailsAndTakesNothing) {
  terminal_use_real();
  int terminal = pty_terminal();
  ASSERT_GE(terminal, 0);
  StandardInputFrom in(terminal);
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD count = 0;
  ASSERT_TRUE(GetNumberOfConsoleInputEvents(input, &count));
  // Redirected behind the console layer's back: no GetStdHandle.
  in.point_at(file_with("abc"));
  char bytes[8];
  DWORD read = 0;
  SetLastError(0);
  EXPECT_FALSE(ReadConsoleA(input, bytes, sizeof bytes, &read, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(GetNumberOfConsoleInputEvents(input, &count));
  ASSERT_TRUE(ReadFile(input, bytes, sizeof bytes, &read, nullptr));
  EXPECT_EQ(std::string(bytes, read), "abc");
  terminal_use_real();
}

TEST(StreamKind, EachNewConsoleLooksAtTheStreamsAgain) {
  terminal_use_virtual_redirected(10, 3);
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  EXPECT_FALSE(GetConsoleMode(output, &mode));
  terminal_use_virtual(10, 3);
  EXPECT_TRUE(GetConsoleMode(output, &mode));
  terminal_use_real();
}

}  // namespace
