// Code page 437 glyphs: how a console byte is drawn on a UTF-8 terminal.
#pragma once

#include <cstdint>

struct Cp437Glyph {
  char bytes[4];
  uint8_t length;
};

// The Unicode code point drawn for a byte (0x01 is U+263A, 0x80 is U+00C7, ...).
uint16_t cp437_code_point(uint8_t byte);
// The same glyph encoded as UTF-8.
const Cp437Glyph& cp437_utf8(uint8_t byte);
