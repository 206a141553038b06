// The console's screen buffer: a grid of cells (character, attribute), the cursor, the
// current attribute and the output mode, and what writes and fills do to them.
#pragma once

#include "platform/base/platform_types.h"

struct ScreenCell {
  uint8_t character;
  WORD attributes;
};

struct ScreenBuffer {
  SHORT width;
  SHORT height;
  ScreenCell* cells;  // width * height, row after row
  SHORT cursor_x;
  SHORT cursor_y;
  WORD attributes;  // given to written text and to rows that scroll in
  DWORD output_mode;
  // Rows whose cells changed since the renderer last took them (screen_take_changed_rows);
  // none when changed_top > changed_bottom. Lets a redraw look only where something changed.
  SHORT changed_top;
  SHORT changed_bottom;
};

// What a write did besides changing cells, for the renderer to act on.
struct ScreenWriteEffects {
  uint32_t bells;
  uint32_t scrolls;
};

constexpr SHORT SCREEN_MAX_SIDE = 4096;

// A blank buffer (spaces in attributes), cursor at the top left. False if no memory
// (the buffer is then empty). Sides are clamped to 1..SCREEN_MAX_SIDE.
bool screen_init(ScreenBuffer* screen, SHORT width, SHORT height, WORD attributes);
void screen_free(ScreenBuffer* screen);
// Keeps the cells that stay inside, blanks new ones, pulls the cursor inside.
// False if no memory, leaving the buffer as it was.
bool screen_resize(ScreenBuffer* screen, SHORT width, SHORT height);

inline ScreenCell* screen_cell(ScreenBuffer* screen, SHORT x, SHORT y) {
  return &screen->cells[static_cast<size_t>(y) * screen->width + x];
}

// The rows changed since the last call, as [*top, *bottom] (false when none); from now on
// nothing counts as changed.
inline bool screen_take_changed_rows(ScreenBuffer* screen, SHORT* top, SHORT* bottom) {
  *top = screen->changed_top;
  *bottom = screen->changed_bottom;
  screen->changed_top = 1;
  screen->changed_bottom = 0;
  return *top <= *bottom;
}

inline bool screen_contains(const ScreenBuffer* screen, SHORT x, SHORT y) {
  return x >= 0 && y >= 0 && x < screen->width && y < screen->height;
}

// Writes bytes at the cursor as the output mode says: with ENABLE_PROCESSED_OUTPUT, CR,
// LF (to the start of the next row), BS, TAB (to the next multiple of 8) and BEL act and
// every other byte is a glyph; without it every byte is a glyph. With
// ENABLE_WRAP_AT_EOL_OUTPUT, writing the last column moves to the next row and the bottom
// row scrolls; without it the cursor stays in the last column and later bytes overwrite it.
void screen_write(ScreenBuffer* screen, const uint8_t* bytes, DWORD count,
                  ScreenWriteEffects* effects);

// Fill from (x, y) onward across rows, stopping at the end of the buffer. The start must
// be inside. Return the number of cells filled.
DWORD screen_fill_characters(ScreenBuffer* screen, uint8_t character, DWORD length, SHORT x,
                             SHORT y);
DWORD screen_fill_attributes(ScreenBuffer* screen, WORD attributes, DWORD length, SHORT x,
                             SHORT y);
