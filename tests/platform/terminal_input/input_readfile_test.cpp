// ReadFile of standard input at the end of a pipe and of a file: a pipe whose writer has
// gone fails with ERROR_BROKEN_PIPE, a file's end is an empty read, and both stay so.
#include "platform/terminal/terminal.h"
#include "platform/terminal/terminal_virtual.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Standard input replaced by fd for the life of the object.
struct StandardInputFrom {
  explicit StandardInputFrom(int fd) : saved(dup(0)) {
    dup2(fd, 0);
    close(fd);
  }
  ~StandardInputFrom() {
    dup2(saved, 0);
    close(saved);
  }
  int saved;
};

TEST(ReadFileEnd, APipeWhoseWriterHasGoneIsABrokenPipe) {
  terminal_use_real();
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(write(ends[1], "hi", 2), 2);
  close(ends[1]);
  StandardInputFrom in(ends[0]);
  char bytes[8];
  DWORD read = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  ASSERT_TRUE(ReadFile(input, bytes, sizeof bytes, &read, nullptr));
  EXPECT_EQ(read, 2u);
  for (int i = 0; i < 2; ++i) {
    read = 5;
    SetLastError(0);
    EXPECT_FALSE(ReadFile(input, bytes, sizeof bytes, &read, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_BROKEN_PIPE);
    EXPECT_EQ(read, 0u);
  }
  // Asking for nothing is no end.
  EXPECT_TRUE(ReadFile(input, bytes, 0, &read, nullptr));
}

TEST(ReadFileEnd, AFilesEndIsAnEmptyRead) {
  terminal_use_real();
  char path[] = "/tmp/ostrelin-readfile-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  unlink(path);
  ASSERT_EQ(write(fd, "abc", 3), 3);
  lseek(fd, 0, SEEK_SET);
  StandardInputFrom in(fd);
  char bytes[8];
  DWORD read = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  ASSERT_TRUE(ReadFile(input, bytes, sizeof bytes, &read, nullptr));
  EXPECT_EQ(read, 3u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(ReadFile(input, bytes, sizeof bytes, &read, nullptr));
    EXPECT_EQ(read, 0u);
  }
}

TEST(ReadFileEnd, ConsoleReadsOfAPipeFail) {
  terminal_use_real();
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[1]);
  StandardInputFrom in(ends[0]);
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char bytes[8];
  DWORD read = 0;
  EXPECT_FALSE(ReadConsoleA(input, bytes, sizeof bytes, &read, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  DWORD count = 0;
  EXPECT_FALSE(GetNumberOfConsoleInputEvents(input, &count));
}

TEST(ReadFileEnd, TheInMemoryConsolesInputEndsAsAFileDoes) {
  terminal_use_virtual(10, 3);
  terminal_virtual_set_input("z", 1);
  char bytes[4];
  DWORD read = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  EXPECT_TRUE(ReadFile(input, bytes, sizeof bytes, &read, nullptr));
  EXPECT_EQ(read, 1u);
  EXPECT_TRUE(ReadFile(input, bytes, sizeof bytes, &read, nullptr));
  EXPECT_EQ(read, 0u);
  terminal_use_real();
}

}  // namespace
