// The rows a redraw looks at: every change of a cell is inside the rows the buffer reports
// as changed, and writes or fills that leave the cells as they were report nothing.
#include "platform/terminal/screen_buffer.h"
#include "platform/terminal/terminal.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct ChangedRows : ::testing::Test {
  ScreenBuffer screen{};
  void SetUp() override {
    ASSERT_TRUE(screen_init(&screen, 6, 5, 0x07));
    screen.output_mode = 0;
    SHORT top, bottom;
    ASSERT_TRUE(screen_take_changed_rows(&screen, &top, &bottom));
    EXPECT_EQ(top, 0);  // a new buffer is changed everywhere
    EXPECT_EQ(bottom, 4);
  }
  void TearDown() override { screen_free(&screen); }
  void write(const char* text, SHORT x, SHORT y) {
    screen.cursor_x = x;
    screen.cursor_y = y;
    ScreenWriteEffects effects{};
    screen_write(&screen, reinterpret_cast<const uint8_t*>(text), static_cast<DWORD>(strlen(text)),
                 &effects);
  }
  // The changed rows as "top-bottom", or "none".
  std::string taken() {
    SHORT top, bottom;
    if (!screen_take_changed_rows(&screen, &top, &bottom)) return "none";
    return std::to_string(top) + "-" + std::to_string(bottom);
  }
};

TEST_F(ChangedRows, WritesAndFillsReportTheRowsTheyChanged) {
  EXPECT_EQ(taken(), "none");
  write("ab", 1, 2);
  EXPECT_EQ(taken(), "2-2");
  write("ab", 1, 2);  // the same glyphs in the same colour
  EXPECT_EQ(taken(), "none");
  screen.attributes = 0x0A;
  write("a", 1, 2);
  write("z", 0, 4);
  EXPECT_EQ(taken(), "2-4");
  // A fill from inside row 1 to inside row 3 changes only there.
  EXPECT_EQ(screen_fill_characters(&screen, '#', 14, 4, 1), 14u);
  EXPECT_EQ(taken(), "1-3");
  EXPECT_EQ(screen_fill_characters(&screen, '#', 14, 4, 1), 14u);
  EXPECT_EQ(screen_fill_attributes(&screen, 0x07, 6, 0, 0), 6u);
  EXPECT_EQ(taken(), "none");
  EXPECT_EQ(screen_fill_attributes(&screen, 0x0C, 30, 0, 0), 30u);
  EXPECT_EQ(taken(), "0-4");
}

TEST_F(ChangedRows, OnlyTheRowsWhereAFillChangedSomethingAreReported) {
  write("x", 3, 3);
  taken();
  EXPECT_EQ(screen_fill_characters(&screen, ' ', 30, 0, 0), 30u);
  EXPECT_EQ(taken(), "3-3");
}

TEST_F(ChangedRows, ScrollingAndResizingChangeEveryRow) {
  screen.output_mode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
  write("\n", 0, 4);
  EXPECT_EQ(taken(), "0-4");
  ASSERT_TRUE(screen_resize(&screen, 8, 3));
  EXPECT_EQ(taken(), "0-2");
  ASSERT_TRUE(screen_resize(&screen, 8, 3));  // the same size: nothing changes
  EXPECT_EQ(taken(), "none");
}

}  // namespace
