// Cells, cursor and output modes: the console's drawing rules, shared by every backend.
#include "platform/terminal/screen_buffer.h"

#include "platform/terminal/terminal.h"

#include <cstdlib>
#include <cstring>

namespace {

SHORT clamp_side(SHORT side) {
  if (side < 1) return 1;
  if (side > SCREEN_MAX_SIDE) return SCREEN_MAX_SIDE;
  return side;
}

void mark_rows(ScreenBuffer* screen, SHORT top, SHORT bottom) {
  if (screen->changed_top > screen->changed_bottom) {
    screen->changed_top = top;
    screen->changed_bottom = bottom;
    return;
  }
  if (top < screen->changed_top) screen->changed_top = top;
  if (bottom > screen->changed_bottom) screen->changed_bottom = bottom;
}

void mark_all_rows(ScreenBuffer* screen) {
  screen->changed_top = 0;
  screen->changed_bottom = static_cast<SHORT>(screen->height - 1);
}

void blank(ScreenCell* cells, size_t count, WORD attributes) {
  for (size_t i = 0; i < count; ++i) cells[i] = ScreenCell{' ', attributes};
}

void scroll_up(ScreenBuffer* screen, ScreenWriteEffects* effects) {
  size_t row = static_cast<size_t>(screen->width);
  size_t rows = static_cast<size_t>(screen->height);
  memmove(screen->cells, screen->cells + row, (rows - 1) * row * sizeof(ScreenCell));
  blank(screen->cells + (rows - 1) * row, row, screen->attributes);
  mark_all_rows(screen);
  effects->scrolls++;
}

// Start of the next row, scrolling when the cursor is on the bottom one.
void next_row(ScreenBuffer* screen, ScreenWriteEffects* effects) {
  screen->cursor_x = 0;
  if (screen->cursor_y + 1 < screen->height) {
    screen->cursor_y++;
  } else {
    scroll_up(screen, effects);
  }
}

void put_glyph(ScreenBuffer* screen, uint8_t byte, bool wrap, ScreenWriteEffects* effects) {
  ScreenCell* cell = screen_cell(screen, screen->cursor_x, screen->cursor_y);
  if (cell->character != byte || cell->attributes != screen->attributes) {
    *cell = ScreenCell{byte, screen->attributes};
    mark_rows(screen, screen->cursor_y, screen->cursor_y);
  }
  if (screen->cursor_x + 1 < screen->width) {
    screen->cursor_x++;
  } else if (wrap) {
    next_row(screen, effects);
  }
}

// Applies set to up to length cells from (x, y) onward, stopping at the end of the buffer,
// and returns how many it reached. The rows where it changed a cell (set returns true) are
// marked, so that a fill of what is there already costs no redraw.
template <typename Set>
DWORD fill_cells(ScreenBuffer* screen, DWORD length, SHORT x, SHORT y, Set set) {
  if (!screen_contains(screen, x, y)) return 0;
  size_t width = static_cast<size_t>(screen->width);
  size_t start = static_cast<size_t>(y) * width + x;
  size_t total = width * screen->height;
  size_t end = start + (total - start < length ? total - start : length);
  size_t i = start;
  while (i < end) {
    size_t row_end = (i / width + 1) * width;
    if (row_end > end) row_end = end;
    bool changed = false;
    for (; i < row_end; ++i) changed |= set(&screen->cells[i]);
    if (changed) {
      SHORT row = static_cast<SHORT>((row_end - 1) / width);
      mark_rows(screen, row, row);
    }
  }
  return static_cast<DWORD>(end - start);
}

}  // namespace

bool screen_init(ScreenBuffer* screen, SHORT width, SHORT height, WORD attributes) {
  width = clamp_side(width);
  height = clamp_side(height);
  size_t count = static_cast<size_t>(width) * height;
  ScreenCell* cells = static_cast<ScreenCell*>(malloc(count * sizeof(ScreenCell)));
  *screen = ScreenBuffer{};
  screen->changed_top = 1;  // nothing yet
  screen->attributes = attributes;
  screen->output_mode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
  if (cells == nullptr) return false;
  blank(cells, count, attributes);
  screen->cells = cells;
  screen->width = width;
  screen->height = height;
  mark_all_rows(screen);
  return true;
}

void screen_free(ScreenBuffer* screen) {
  free(screen->cells);
  screen->cells = nullptr;
  screen->width = 0;
  screen->height = 0;
  screen->changed_top = 1;
  screen->changed_bottom = 0;
}

bool screen_resize(ScreenBuffer* screen, SHORT width, SHORT height) {
  width = clamp_side(width);
  height = clamp_side(height);
  if (width == screen->width && height == screen->height) return true;
  size_t count = static_cast<size_t>(width) * height;
  ScreenCell* cells = static_cast<ScreenCell*>(malloc(count * sizeof(ScreenCell)));
  if (cells == nullptr) return false;
  blank(cells, count, screen->attributes);
  SHORT keep_w = width < screen->width ? width : screen->width;
  SHORT keep_h = height < screen->height ? height : screen->height;
  for (SHORT y = 0; y < keep_h; ++y) {
    memcpy(cells + static_cast<size_t>(y) * width, screen_cell(screen, 0, y),
           static_cast<size_t>(keep_w) * sizeof(ScreenCell));
  }
  free(screen->cells);
  screen->cells = cells;
  screen->width = width;
  screen->height = height;
  if (screen->cursor_x >= width) screen->cursor_x = width - 1;
  if (screen->cursor_y >= height) screen->cursor_y = height - 1;
  mark_all_rows(screen);
  return true;
}

void screen_write(ScreenBuffer* screen, const uint8_t* bytes, DWORD count,
                  ScreenWriteEffects* effects) {
  if (screen->cells == nullptr) return;
  bool processed = (screen->output_mode & ENABLE_PROCESSED_OUTPUT) != 0;
  bool wrap = (screen->output_mode & ENABLE_WRAP_AT_EOL_OUTPUT) != 0;
  for (DWORD i = 0; i < count; ++i) {
    uint8_t byte = bytes[i];
    if (processed) {
      switch (byte) {
        case '\r':
          screen->cursor_x = 0;
          continue;
        case '\n':
          next_row(screen, effects);
          continue;
        case '\b':
          if (screen->cursor_x > 0) screen->cursor_x--;
          continue;
        case '\a':
          effects->bells++;
          continue;
        case '\t': {
          // Spaces up to the next tab stop, never past the row's end.
          SHORT stop = static_cast<SHORT>((screen->cursor_x / 8 + 1) * 8);
          if (stop > screen->width) stop = screen->width;
          SHORT row = screen->cursor_y;
          while (screen->cursor_y == row && screen->cursor_x < stop) {
            SHORT before = screen->cursor_x;
            put_glyph(screen, ' ', wrap, effects);
            if (screen->cursor_x == before && screen->cursor_y == row) break;  // no wrap: stuck
          }
          continue;
        }
        default:
          break;
      }
    }
    put_glyph(screen, byte, wrap, effects);
  }
}

DWORD screen_fill_characters(ScreenBuffer* screen, uint8_t character, DWORD length, SHORT x,
                             SHORT y) {
  return fill_cells(screen, length, x, y, [character](ScreenCell* cell) {
    bool differs = cell->character != character;
    cell->character = character;
    return differs;
  });
}

DWORD screen_fill_attributes(ScreenBuffer* screen, WORD attributes, DWORD length, SHORT x,
                             SHORT y) {
  return fill_cells(screen, length, x, y, [attributes](ScreenCell* cell) {
    bool differs = cell->attributes != attributes;
    cell->attributes = attributes;
    return differs;
  });
}
