// The console calls on the in-memory screen: handles, buffer information, modes, fills,
// cursor, writes, the title, and what fails when standard output is redirected.
#include "platform/terminal/terminal.h"
#include "platform/terminal/terminal_virtual.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct VirtualConsole : ::testing::Test {
  HANDLE out = 0;
  void SetUp() override {
    terminal_use_virtual(10, 4);
    out = GetStdHandle(STD_OUTPUT_HANDLE);
  }
  void TearDown() override { terminal_use_real(); }
  std::string row(SHORT y) {
    char text[64];
    terminal_virtual_row(y, text, sizeof text);
    return text;
  }
  BOOL write(const std::string& text) {
    DWORD written = 0;
    return WriteConsoleA(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
};

TEST_F(VirtualConsole, StandardHandlesAreDistinctAndOthersInvalid) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  EXPECT_NE(in, out);
  EXPECT_NE(err, out);
  EXPECT_NE(out, 0);
  SetLastError(0);
  EXPECT_EQ(GetStdHandle(7), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(VirtualConsole, ScreenBufferInfoDescribesTheBuffer) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  ASSERT_TRUE(SetConsoleTextAttribute(out, 0x1C));
  ASSERT_TRUE(SetConsoleCursorPosition(out, COORD{3, 2}));
  ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &info));
  EXPECT_EQ(info.dwSize.X, 10);
  EXPECT_EQ(info.dwSize.Y, 4);
  EXPECT_EQ(info.dwCursorPosition.X, 3);
  EXPECT_EQ(info.dwCursorPosition.Y, 2);
  EXPECT_EQ(info.wAttributes, 0x1C);
  EXPECT_EQ(info.srWindow.Left, 0);
  EXPECT_EQ(info.srWindow.Right, 9);
  EXPECT_EQ(info.srWindow.Bottom, 3);
  EXPECT_EQ(info.dwMaximumWindowSize.X, 10);
  EXPECT_FALSE(GetConsoleScreenBufferInfo(out, nullptr));
  EXPECT_FALSE(GetConsoleScreenBufferInfo(GetStdHandle(STD_INPUT_HANDLE), &info));
}

TEST_F(VirtualConsole, NewBufferIsBlankGreyOnBlackWithModesOfAFreshConsole) {
  EXPECT_EQ(terminal_virtual_cell(9, 3).character, ' ');
  EXPECT_EQ(terminal_virtual_cell(9, 3).attributes, 0x07);
  DWORD mode = 99;
  ASSERT_TRUE(GetConsoleMode(out, &mode));
  EXPECT_EQ(mode, ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT);
  ASSERT_TRUE(GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode));
  EXPECT_EQ(mode, ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
}

TEST_F(VirtualConsole, RawWritesStayLineTextUntilGraphicalUse) {
  ASSERT_TRUE(write("hi\r\n"));
  EXPECT_FALSE(terminal_virtual_is_surface());
  size_t length = 0;
  const char* text = terminal_virtual_line_text(&length);
  EXPECT_EQ(std::string(text, length), "hi\r\n");
  EXPECT_EQ(row(0), "hi        ");
  ASSERT_TRUE(SetConsoleMode(out, 0));
  EXPECT_TRUE(terminal_virtual_is_surface());
}

TEST_F(VirtualConsole, EachGraphicalUseMakesASurface) {
  struct Use {
    const char* name;
    BOOL (*call)(HANDLE);
  };
  const Use uses[] = {
      {"mode 0", [](HANDLE h) { return SetConsoleMode(h, 0); }},
      {"mode without wrap", [](HANDLE h) { return SetConsoleMode(h, ENABLE_PROCESSED_OUTPUT); }},
      {"cursor", [](HANDLE h) { return SetConsoleCursorPosition(h, COORD{1, 1}); }},
      {"char fill", [](HANDLE h) { return FillConsoleOutputCharacterA(h, 'x', 1, COORD{0, 0}, nullptr); }},
      {"attr fill", [](HANDLE h) { return FillConsoleOutputAttribute(h, 1, 1, COORD{0, 0}, nullptr); }},
  };
  for (const Use& use : uses) {
    terminal_use_virtual(10, 4);
    ASSERT_TRUE(SetConsoleTextAttribute(out, 0x0A));
    ASSERT_TRUE(SetConsoleMode(out, ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT));
    EXPECT_FALSE(terminal_virtual_is_surface()) << use.name;
    ASSERT_TRUE(use.call(out)) << use.name;
    EXPECT_TRUE(terminal_virtual_is_surface()) << use.name;
  }
}

TEST_F(VirtualConsole, FillsReportCountAndRejectStartsOutside) {
  DWORD written = 0;
  ASSERT_TRUE(FillConsoleOutputCharacterA(out, '#', 100, COORD{5, 3}, &written));
  EXPECT_EQ(written, 5u);
  EXPECT_EQ(row(3), "     #####");
  ASSERT_TRUE(FillConsoleOutputAttribute(out, 0x4E, 12, COORD{8, 0}, &written));
  EXPECT_EQ(written, 12u);
  EXPECT_EQ(terminal_virtual_cell(9, 1).attributes, 0x4E);
  EXPECT_EQ(terminal_virtual_cell(0, 2).attributes, 0x07);
  written = 7;
  SetLastError(0);
  EXPECT_FALSE(FillConsoleOutputCharacterA(out, '#', 1, COORD{10, 0}, &written));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(FillConsoleOutputAttribute(out, 1, 1, COORD{0, -1}, &written));
}

TEST_F(VirtualConsole, CursorOutsideTheBufferIsRefusedAndKept) {
  ASSERT_TRUE(SetConsoleCursorPosition(out, COORD{9, 3}));
  EXPECT_FALSE(SetConsoleCursorPosition(out, COORD{10, 0}));
  EXPECT_FALSE(SetConsoleCursorPosition(out, COORD{0, 4}));
  EXPECT_FALSE(SetConsoleCursorPosition(out, COORD{-1, 0}));
  EXPECT_EQ(terminal_virtual_cursor().X, 9);
  EXPECT_EQ(terminal_virtual_cursor().Y, 3);
}

TEST_F(VirtualConsole, GraphicalWriteAtLastColumnOverwritesAndLineEndInMode3Scrolls) {
  ASSERT_TRUE(SetConsoleMode(out, 0));
  ASSERT_TRUE(SetConsoleCursorPosition(out, COORD{0, 3}));
  ASSERT_TRUE(write("0123456789AB"));
  EXPECT_EQ(row(3), "012345678B");
  EXPECT_EQ(terminal_virtual_cursor().X, 9);
  ASSERT_TRUE(SetConsoleMode(out, 3));
  ASSERT_TRUE(write("\r\n"));
  EXPECT_EQ(row(2), "012345678B");
  EXPECT_EQ(row(3), "          ");
  EXPECT_EQ(terminal_virtual_cursor().X, 0);
  EXPECT_EQ(terminal_virtual_cursor().Y, 3);
}

TEST_F(VirtualConsole, WriteFileToTheConsoleIsAConsoleWrite) {
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(out, "ab", 2, &written, nullptr));
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(row(0), "ab        ");
  size_t captured = 0;
  terminal_virtual_captured(&captured);
  EXPECT_EQ(captured, 0u);
}

TEST_F(VirtualConsole, BellIsHeardInSurfaceMode) {
  ASSERT_TRUE(SetConsoleMode(out, 0));
  ASSERT_TRUE(SetConsoleMode(out, 3));
  ASSERT_TRUE(write("a\a"));
  EXPECT_EQ(terminal_virtual_bells(), 1u);
}

TEST_F(VirtualConsole, BadArgumentsAreRefused) {
  DWORD written = 5;
  EXPECT_FALSE(WriteConsoleA(out, nullptr, 3, &written, nullptr));
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(WriteConsoleA(out, "a", 1, &written, &written));
  EXPECT_FALSE(WriteConsoleA(0, "a", 1, &written, nullptr));
  EXPECT_FALSE(WriteConsoleA(GetStdHandle(STD_INPUT_HANDLE), "a", 1, &written, nullptr));
  EXPECT_TRUE(WriteConsoleA(out, nullptr, 0, &written, nullptr));
  EXPECT_FALSE(GetConsoleMode(out, nullptr));
  EXPECT_FALSE(SetConsoleMode(12345, 0));
  EXPECT_FALSE(FlushFileBuffers(12345));
  EXPECT_TRUE(FlushFileBuffers(out));
}

TEST_F(VirtualConsole, TitleIsKept) {
  EXPECT_EQ(terminal_virtual_title(), nullptr);
  ASSERT_TRUE(SetConsoleTitleA("Ostrelin"));
  EXPECT_STREQ(terminal_virtual_title(), "Ostrelin");
  ASSERT_TRUE(SetConsoleTitleA(nullptr));
  EXPECT_STREQ(terminal_virtual_title(), "");
}

TEST_F(VirtualConsole, ResizeChangesTheBufferAndKeepsItsCells) {
  ASSERT_TRUE(write("abc"));
  terminal_virtual_resize(20, 6);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &info));
  EXPECT_EQ(info.dwSize.X, 20);
  EXPECT_EQ(info.dwSize.Y, 6);
  EXPECT_EQ(row(0), "abc                 ");
  terminal_virtual_resize(2, 1);
  ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &info));
  EXPECT_EQ(info.dwSize.X, 2);
  EXPECT_EQ(info.dwCursorPosition.X, 1);
  EXPECT_EQ(row(0), "ab");
}

struct RedirectedConsole : VirtualConsole {
  void SetUp() override {
    terminal_use_virtual_redirected(10, 4);
    out = GetStdHandle(STD_OUTPUT_HANDLE);
  }
};

TEST_F(RedirectedConsole, ConsoleCallsFailWithInvalidHandle) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  DWORD written = 9;
  struct Call {
    const char* name;
    BOOL result;
  };
  SetLastError(0);
  const Call calls[] = {
      {"info", GetConsoleScreenBufferInfo(out, &info)},
      {"write", WriteConsoleA(out, "x", 1, &written, nullptr)},
      {"mode", SetConsoleMode(out, 0)},
      {"attribute", SetConsoleTextAttribute(out, 0x0C)},
      {"char fill", FillConsoleOutputCharacterA(out, ' ', 4, COORD{0, 0}, &written)},
      {"attr fill", FillConsoleOutputAttribute(out, 7, 4, COORD{0, 0}, &written)},
      {"cursor", SetConsoleCursorPosition(out, COORD{0, 0})},
      {"title", SetConsoleTitleA("t")},
      {"error stream", WriteConsoleA(GetStdHandle(STD_ERROR_HANDLE), "x", 1, &written, nullptr)},
  };
  for (const Call& call : calls) EXPECT_FALSE(call.result) << call.name;
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(terminal_virtual_is_surface());
  EXPECT_EQ(terminal_virtual_title(), nullptr);
  size_t captured = 0;
  terminal_virtual_captured(&captured);
  EXPECT_EQ(captured, 0u);
}

TEST_F(RedirectedConsole, WriteFileWritesTheBytes) {
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(out, "a\r\nb\0c", 6, &written, nullptr));
  EXPECT_EQ(written, 6u);
  size_t length = 0;
  const char* bytes = terminal_virtual_captured(&length);
  EXPECT_EQ(std::string(bytes, length), std::string("a\r\nb\0c", 6));
}

TEST_F(RedirectedConsole, ReadFileGivesTheInputThenTheEnd) {
  terminal_virtual_set_input("line\n", 5);
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  char buffer[3];
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(in, buffer, 3, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "lin");
  ASSERT_TRUE(ReadFile(in, buffer, 3, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "e\n");
  ASSERT_TRUE(ReadFile(in, buffer, 3, &read, nullptr));
  EXPECT_EQ(read, 0u);
  EXPECT_FALSE(ReadFile(out, buffer, 3, &read, nullptr));
  EXPECT_FALSE(ReadFile(in, buffer, 3, &read, buffer));
}

}  // namespace
