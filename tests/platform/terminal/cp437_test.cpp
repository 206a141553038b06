// Console bytes drawn as their code page 437 glyphs.
#include "platform/terminal/cp437.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct GlyphCase {
  uint8_t byte;
  uint16_t code_point;
  const char* utf8;
};

const GlyphCase GLYPH_CASES[] = {
    {0x00, 0x0020, " "},          {0x01, 0x263A, "\u263A"}, {0x07, 0x2022, "\u2022"},
    {0x0A, 0x25D9, "\u25D9"},     {0x0D, 0x266A, "\u266A"}, {0x1B, 0x2190, "\u2190"},
    {0x1F, 0x25BC, "\u25BC"},     {'A', 'A', "A"},          {0x7F, 0x2302, "\u2302"},
    {0x80, 0x00C7, "\u00C7"},     {0x9E, 0x20A7, "\u20A7"}, {0xB3, 0x2502, "\u2502"},
    {0xDB, 0x2588, "\u2588"},     {0xE1, 0x00DF, "\u00DF"}, {0xFF, 0x00A0, "\u00A0"},
};

TEST(Cp437, KnownGlyphs) {
  for (const GlyphCase& c : GLYPH_CASES) {
    EXPECT_EQ(cp437_code_point(c.byte), c.code_point) << int(c.byte);
    const Cp437Glyph& glyph = cp437_utf8(c.byte);
    EXPECT_EQ(std::string(glyph.bytes, glyph.length), c.utf8) << int(c.byte);
  }
}

TEST(Cp437, EveryByteHasItsOwnGlyph) {
  // Distinct glyphs for distinct bytes, except that byte 0 and the space both look blank.
  for (int a = 1; a < 256; ++a) {
    for (int b = a + 1; b < 256; ++b) {
      ASSERT_NE(cp437_code_point(static_cast<uint8_t>(a)), cp437_code_point(static_cast<uint8_t>(b)))
          << a << " " << b;
    }
  }
}

}  // namespace
