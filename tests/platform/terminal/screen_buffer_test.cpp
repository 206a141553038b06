// The drawing rules of the screen buffer: output modes, wrapping, scrolling and fills.
#include "platform/terminal/screen_buffer.h"
#include "platform/terminal/terminal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ScreenFixture : ::testing::Test {
  ScreenBuffer screen{};
  void make(SHORT width, SHORT height, DWORD mode) {
    ASSERT_TRUE(screen_init(&screen, width, height, 0x07));
    screen.output_mode = mode;
  }
  void TearDown() override { screen_free(&screen); }
  std::string row(SHORT y) {
    std::string text;
    for (SHORT x = 0; x < screen.width; ++x) text += static_cast<char>(screen_cell(&screen, x, y)->character);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
  }
  ScreenWriteEffects write(const std::string& bytes) {
    ScreenWriteEffects effects{};
    screen_write(&screen, reinterpret_cast<const uint8_t*>(bytes.data()),
                 static_cast<DWORD>(bytes.size()), &effects);
    return effects;
  }
};

struct WriteCase {
  const char* name;
  DWORD mode;
  SHORT width;
  SHORT height;
  std::string bytes;
  std::vector<std::string> rows;  // trailing blanks dropped
  SHORT cursor_x;
  SHORT cursor_y;
  uint32_t bells;
};

const DWORD RAW = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;

const WriteCase WRITE_CASES[] = {
    {"glyphs_advance", 0, 8, 2, "abc", {"abc", ""}, 3, 0, 0},
    {"mode0_control_bytes_are_glyphs", 0, 8, 2, "\x01\r\n\t\a\b", {"\x01\r\n\t\a\b", ""}, 6, 0, 0},
    {"mode0_never_wraps_last_column_overwritten", 0, 5, 2, "abcdefg", {"abcdg", ""}, 4, 0, 0},
    {"mode3_carriage_return", RAW, 8, 2, "ab\rc", {"cb", ""}, 1, 0, 0},
    {"mode3_line_feed_goes_to_start_of_next_row", RAW, 8, 2, "ab\ncd", {"ab", "cd"}, 2, 1, 0},
    {"mode3_backspace", RAW, 8, 2, "abc\b\bX", {"aXc", ""}, 2, 0, 0},
    {"mode3_backspace_at_column_0_stays", RAW, 8, 2, "\bX", {"X", ""}, 1, 0, 0},
    {"mode3_tab_to_next_stop", RAW, 12, 2, "a\tb", {"a       b", ""}, 9, 0, 0},
    {"mode3_tab_at_row_end_wraps", RAW, 6, 2, "abcd\tz", {"abcd", "z"}, 1, 1, 0},
    {"mode3_bell_draws_nothing", RAW, 8, 2, "a\ab\a", {"ab", ""}, 2, 0, 2},
    {"mode3_wraps_at_end_of_row", RAW, 4, 3, "abcdef", {"abcd", "ef", ""}, 2, 1, 0},
    {"mode3_scrolls_at_bottom", RAW, 4, 2, "1\n2\n3", {"2", "3"}, 1, 1, 0},
    {"mode3_last_cell_wraps_and_scrolls", RAW, 2, 2, "abcd", {"cd", ""}, 0, 1, 0},
    {"processed_without_wrap", ENABLE_PROCESSED_OUTPUT, 4, 2, "abcdef\r\nx", {"abcf", "x"}, 1, 1, 0},
    {"wrap_without_processing", ENABLE_WRAP_AT_EOL_OUTPUT, 3, 2, "a\r\nb", {"a\r\n", "b"}, 1, 1, 0},
};

class ScreenWrite : public ScreenFixture, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(ScreenWrite, CellsAndCursor) {
  const WriteCase& c = GetParam();
  make(c.width, c.height, c.mode);
  ScreenWriteEffects effects = write(c.bytes);
  for (SHORT y = 0; y < c.height; ++y) EXPECT_EQ(row(y), c.rows[y]) << "row " << y;
  EXPECT_EQ(screen.cursor_x, c.cursor_x);
  EXPECT_EQ(screen.cursor_y, c.cursor_y);
  EXPECT_EQ(effects.bells, c.bells);
}

INSTANTIATE_TEST_SUITE_P(Modes, ScreenWrite, ::testing::ValuesIn(WRITE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScreenFixture, WrittenTextTakesCurrentAttributeAndScrolledRowsToo) {
  make(4, 2, RAW);
  screen.attributes = 0x1E;
  write("ab\n\n");
  EXPECT_EQ(screen_cell(&screen, 0, 0)->attributes, 0x07);  // scrolled off: row 0 is old row 1
  EXPECT_EQ(screen_cell(&screen, 0, 1)->attributes, 0x1E);  // the row that scrolled in
  EXPECT_EQ(screen_cell(&screen, 0, 1)->character, ' ');
}

TEST_F(ScreenFixture, FillsRunAcrossRowsAndStopAtBufferEnd) {
  make(4, 3, RAW);
  EXPECT_EQ(screen_fill_characters(&screen, 'x', 6, 2, 0), 6u);
  EXPECT_EQ(row(0), "  xx");
  EXPECT_EQ(row(1), "xxxx");
  EXPECT_EQ(row(2), "");
  EXPECT_EQ(screen_fill_characters(&screen, 'y', 100, 1, 2), 3u);
  EXPECT_EQ(row(2), " yyy");
  EXPECT_EQ(screen_fill_attributes(&screen, 0x4F, 1000, 0, 0), 12u);
}

TEST_F(ScreenFixture, CharacterFillKeepsAttributesAndAttributeFillKeepsCharacters) {
  make(4, 1, 0);
  write("abcd");
  screen_fill_attributes(&screen, 0x2A, 2, 1, 0);
  EXPECT_EQ(row(0), "abcd");
  EXPECT_EQ(screen_cell(&screen, 0, 0)->attributes, 0x07);
  EXPECT_EQ(screen_cell(&screen, 1, 0)->attributes, 0x2A);
  EXPECT_EQ(screen_cell(&screen, 3, 0)->attributes, 0x07);
  screen_fill_characters(&screen, '-', 4, 0, 0);
  EXPECT_EQ(row(0), "----");
  EXPECT_EQ(screen_cell(&screen, 2, 0)->attributes, 0x2A);
}

TEST_F(ScreenFixture, FillOutsideTheBufferFillsNothing) {
  make(4, 2, RAW);
  EXPECT_EQ(screen_fill_characters(&screen, 'x', 3, 4, 0), 0u);
  EXPECT_EQ(screen_fill_characters(&screen, 'x', 3, 0, 2), 0u);
  EXPECT_EQ(screen_fill_attributes(&screen, 1, 3, -1, 0), 0u);
  EXPECT_EQ(row(0), "");
  EXPECT_EQ(row(1), "");
}

TEST_F(ScreenFixture, ResizeKeepsWhatStaysInsideAndPullsTheCursorIn) {
  make(6, 3, RAW);
  write("abcde\n12");
  ASSERT_TRUE(screen_resize(&screen, 3, 2));
  EXPECT_EQ(row(0), "abc");
  EXPECT_EQ(row(1), "12");
  EXPECT_EQ(screen.cursor_x, 2);
  EXPECT_EQ(screen.cursor_y, 1);
  ASSERT_TRUE(screen_resize(&screen, 5, 4));
  EXPECT_EQ(row(0), "abc");
  EXPECT_EQ(row(3), "");
  EXPECT_EQ(screen_cell(&screen, 4, 3)->attributes, 0x07);
}

}  // namespace
