// The console session on the in-memory screen: modes through ConsoleOps, colour,
// clearing, clipping, line ends, redirected output, and the control handler.
#include "console/console.h"
#include "platform/heap/heap.h"
#include "platform/terminal/terminal_virtual.h"
#include "runtime/heaps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
int end_libraries_calls = 0;
}

void monitor_end_libraries() { end_libraries_calls++; }

namespace {

constexpr SHORT WIDTH = 12;
constexpr SHORT HEIGHT = 4;

struct ConsoleFixture : ::testing::Test {
  void SetUp() override {
    if (MainHeap == 0) MainHeap = HeapCreate(0, 4096, 0);
    ConsoleOps = ConsoleOpsTable{console_print_line_raw, nullptr, nullptr, console_print_raw};
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
    console_open();
  }
  static std::string row(SHORT y) {
    char text[64];
    terminal_virtual_row(y, text, sizeof text);
    std::string s = text;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }
  static COORD cursor() { return terminal_virtual_cursor(); }
  static std::string line_text() {
    size_t length = 0;
    const char* text = terminal_virtual_line_text(&length);
    return std::string(text, length);
  }
  static std::string captured() {
    size_t length = 0;
    const char* bytes = terminal_virtual_captured(&length);
    return std::string(bytes, length);
  }
  // Paints the whole buffer so that a clear can be seen.
  static void scribble() {
    for (SHORT y = 0; y < HEIGHT; ++y) {
      FillConsoleOutputCharacterA(ConsoleState.output_handle, '#', WIDTH, COORD{0, y}, nullptr);
      FillConsoleOutputAttribute(ConsoleState.output_handle, 0x5E, WIDTH, COORD{0, y}, nullptr);
    }
  }
};

TEST_F(ConsoleFixture, OpenTakesHandlesAndTheBufferSnapshot) {
  EXPECT_EQ(ConsoleState.output_handle, GetStdHandle(STD_OUTPUT_HANDLE));
  EXPECT_EQ(ConsoleState.input_handle, GetStdHandle(STD_INPUT_HANDLE));
  EXPECT_EQ(ConsoleState.saved_info.dwSize.X, WIDTH);
  EXPECT_EQ(ConsoleState.saved_info.dwSize.Y, HEIGHT);
  EXPECT_EQ(ConsoleState.saved_info.wAttributes, 0x07);
  EXPECT_EQ(ConsoleState.graphical, 0);
}

TEST_F(ConsoleFixture, PrintingBeforeChoosingAModeIsRawLineOutput) {
  console_print("a");
  console_print_line("bc");
  console_print_line(nullptr);
  console_print(nullptr);
  EXPECT_EQ(line_text(), "abc\r\n\r\n");
  EXPECT_FALSE(terminal_virtual_is_surface());
  EXPECT_EQ(row(0), "abc");
  EXPECT_EQ(cursor().Y, 2);
}

TEST_F(ConsoleFixture, ClearInRawModeLeavesScreenAndCursor) {
  console_print("xyz");
  console_clear();
  EXPECT_EQ(row(0), "xyz");
  EXPECT_EQ(cursor().X, 3);
  EXPECT_FALSE(terminal_virtual_is_surface());
}

TEST_F(ConsoleFixture, SetGraphicalInstallsTheModeSetAndOutputMode) {
  DWORD mode = 99;
  console_set_graphical(5);
  EXPECT_EQ(ConsoleState.graphical, 5);
  EXPECT_EQ(ConsoleOps.print, console_print_graphical);
  EXPECT_EQ(ConsoleOps.print_line, console_print_line_graphical);
  ASSERT_TRUE(GetConsoleMode(ConsoleState.output_handle, &mode));
  EXPECT_EQ(mode, 0u);
  console_set_graphical(0);
  EXPECT_EQ(ConsoleState.graphical, 0);
  EXPECT_EQ(ConsoleOps.print, console_print_raw);
  EXPECT_EQ(ConsoleOps.print_line, console_print_line_raw);
  ASSERT_TRUE(GetConsoleMode(ConsoleState.output_handle, &mode));
  EXPECT_EQ(mode, 3u);
}

struct ColourCase {
  int32_t foreground;
  int32_t background;
  WORD stored;  // after 0x07 at open
};

TEST_F(ConsoleFixture, SetColourStoresTheAttributeOrChangesNothing) {
  const ColourCase cases[] = {
      {12, 0, 12}, {0, 12, 192}, {10, 0, 10}, {15, 15, 0xFF}, {16, 0, 0x07}, {3, 16, 0x07},
  };
  for (const ColourCase& c : cases) {
    open_on(false);
    console_set_color(c.foreground, c.background);
    EXPECT_EQ(ConsoleState.saved_info.wAttributes, c.stored) << c.foreground << "," << c.background;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(ConsoleState.output_handle, &info);
    EXPECT_EQ(info.wAttributes, c.stored);
  }
}

TEST_F(ConsoleFixture, RejectedColourKeepsThePreviousForTheNextClear) {
  console_set_graphical(1);
  console_set_color(12, 0);
  console_set_color(16, 0);
  console_set_color(3, 16);
  scribble();
  console_clear();
  for (SHORT y = 0; y < HEIGHT; ++y) {
    EXPECT_EQ(row(y), "");
    EXPECT_EQ(terminal_virtual_cell(WIDTH - 1, y).attributes, 12);
  }
}

TEST_F(ConsoleFixture, FirstClearUsesTheColoursFoundAtOpen) {
  console_set_graphical(1);
  scribble();
  console_clear();
  EXPECT_EQ(terminal_virtual_cell(0, 0).attributes, 0x07);
  EXPECT_EQ(terminal_virtual_cell(WIDTH - 1, HEIGHT - 1).character, ' ');
  EXPECT_EQ(cursor().X, 0);
  EXPECT_EQ(cursor().Y, 0);
}

TEST_F(ConsoleFixture, MonitorPassLeavesRowZeroBlankAndTheStatusOnRowOne) {
  console_set_graphical(1);
  for (int pass = 0; pass < 3; ++pass) {
    bool alarm = pass == 1;
    console_clear();
    console_set_color(alarm ? 12 : 10, 0);
    console_print_line("");
    console_print_line(alarm ? "    (((((((( Drellomar )))))))" : "    =:)");
    EXPECT_EQ(row(0), "");
    EXPECT_EQ(row(1), alarm ? "    ((((((((" : "    =:)");  // clipped to 12 columns
    EXPECT_EQ(terminal_virtual_cell(4, 1).attributes, alarm ? 12 : 10);
    EXPECT_EQ(row(2), "");
    EXPECT_EQ(cursor().X, 0);
    EXPECT_EQ(cursor().Y, 2);
  }
  EXPECT_EQ(line_text(), "");
}

TEST_F(ConsoleFixture, GraphicalNullTextPrintLineStillEndsTheLinePrintDoesNothing) {
  console_set_graphical(1);
  console_clear();
  console_print(nullptr);
  EXPECT_EQ(cursor().X, 0);
  EXPECT_EQ(cursor().Y, 0);
  console_print_line(nullptr);
  EXPECT_EQ(cursor().X, 0);
  EXPECT_EQ(cursor().Y, 1);
}

TEST_F(ConsoleFixture, GraphicalTextIsCutToTheWidthNotWrapped) {
  console_set_graphical(1);
  console_clear();
  console_print("abcdefghijklmnopq");
  EXPECT_EQ(row(0), "abcdefghijkl");
  EXPECT_EQ(row(1), "");
  EXPECT_EQ(cursor().X, WIDTH - 1);  // the last column: nothing wraps
  console_print_line("0123456789ABCDEF");
  // From the cursor, the whole width is allowed: each of the 12 lands in the last cell.
  EXPECT_EQ(row(0), "abcdefghijkB");
  EXPECT_EQ(row(1), "");
  EXPECT_EQ(cursor().Y, 1);
}

TEST_F(ConsoleFixture, GraphicalTextIsDrawnUnprocessed) {
  console_set_graphical(1);
  console_clear();
  console_print("a\r\n\x01");
  EXPECT_EQ(row(0), "a\r\n\x01");
  EXPECT_EQ(cursor().X, 4);
  DWORD mode = 99;
  GetConsoleMode(ConsoleState.output_handle, &mode);
  EXPECT_EQ(mode, 0u);
}

TEST_F(ConsoleFixture, GraphicalLineEndAtTheBottomScrolls) {
  console_set_graphical(1);
  console_clear();
  for (int i = 0; i < HEIGHT + 1; ++i) console_print_line(std::to_string(i).c_str());
  EXPECT_EQ(row(0), "2");
  EXPECT_EQ(row(HEIGHT - 2), "4");
  EXPECT_EQ(row(HEIGHT - 1), "");
  DWORD mode = 99;
  GetConsoleMode(ConsoleState.output_handle, &mode);
  EXPECT_EQ(mode, 0u);
}

TEST_F(ConsoleFixture, ClearFillsTheSizeRecordedAtOpenAfterAResize) {
  console_set_graphical(1);
  terminal_virtual_resize(20, 6);
  scribble();
  for (SHORT y = 0; y < 6; ++y) {
    FillConsoleOutputCharacterA(ConsoleState.output_handle, '#', 20, COORD{0, y}, nullptr);
  }
  console_clear();
  // 12 x 4 = 48 cells from the top left of a 20-wide buffer: rows 0 and 1, 8 of row 2.
  EXPECT_EQ(row(1), "");
  EXPECT_EQ(row(2), "        ############");
  EXPECT_EQ(row(3), "####################");
  terminal_virtual_resize(5, 2);
  console_clear();  // larger than the buffer now: stops at its end
  EXPECT_EQ(row(0), "");
  EXPECT_EQ(row(1), "");
}

TEST_F(ConsoleFixture, RawPrintLineOfNullWritesExactlyCrLf) {
  console_print_line(nullptr);
  EXPECT_EQ(line_text(), "\r\n");
}

TEST_F(ConsoleFixture, RawPrintLineGivesBackItsBlockAndPrintsNothingWithoutOne) {
  HeapStats before = heap_stats(MainHeap);
  console_print_line("kept");
  HeapStats after = heap_stats(MainHeap);
  EXPECT_EQ(after.live_blocks, before.live_blocks);
  heap_fail_request(1);
  console_print_line("lost");
  heap_fail_request(0);
  EXPECT_EQ(line_text(), "kept\r\n");
}

TEST_F(ConsoleFixture, RedirectedRawOutputReachesTheFile) {
  open_on(true);
  console_print("a");
  console_print_line("bc");
  console_print_line(nullptr);
  EXPECT_EQ(captured(), "abc\r\n\r\n");
}

TEST_F(ConsoleFixture, RedirectedGraphicalOutputWritesNothing) {
  open_on(true);
  EXPECT_EQ(ConsoleState.saved_info.dwSize.X, 0);
  EXPECT_FALSE(console_set_title("Ostrelin"));
  console_set_graphical(1);
  console_clear();
  console_set_color(10, 0);
  console_print_line("");
  console_print_line("    =:)");
  console_print("x");
  EXPECT_EQ(captured(), "");
  EXPECT_FALSE(terminal_virtual_is_surface());
}

TEST_F(ConsoleFixture, TitleGoesToTheConsole) {
  EXPECT_TRUE(console_set_title("Ostrelin"));
  EXPECT_STREQ(terminal_virtual_title(), "Ostrelin");
}

TEST_F(ConsoleFixture, ControlHandlerEndsLibrariesOnlyOnCloseAndDeclinesAll) {
  const DWORD events[] = {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT};
  int before = end_libraries_calls;
  for (DWORD event : events) EXPECT_FALSE(console_control_handler(event)) << event;
  EXPECT_EQ(end_libraries_calls, before);
  EXPECT_FALSE(console_control_handler(CTRL_CLOSE_EVENT));
  EXPECT_EQ(end_libraries_calls, before + 1);
}

}  // namespace
