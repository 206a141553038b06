// Decoding of what terminals send for keys: characters, control keys and the escape
// sequences of cursor, editing and function keys, in whole and in pieces.
#include "platform/terminal/input_decode.h"
#include "platform/terminal/terminal_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<DecodedKey> decode(const std::string& bytes, bool final, size_t* used = nullptr) {
  std::vector<DecodedKey> keys(256);
  size_t count = 0;
  size_t n = input_decode_keys(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), final,
                               keys.data(), keys.size(), &count);
  if (used != nullptr) *used = n;
  keys.resize(count);
  return keys;
}

struct OneKeyCase {
  const char* bytes;
  WORD virtual_key;
  char character;
  DWORD control_state;
};

class OneKey : public ::testing::TestWithParam<OneKeyCase> {};

TEST_P(OneKey, DecodesToItsKeyAndUsesEveryByte) {
  const OneKeyCase& c = GetParam();
  std::string bytes = c.bytes[0] == '\0' ? std::string(1, '\0') : std::string(c.bytes);
  size_t used = 0;
  std::vector<DecodedKey> keys = decode(bytes, false, &used);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(used, bytes.size());
  EXPECT_EQ(keys[0].virtual_key, c.virtual_key);
  EXPECT_EQ(keys[0].character, c.character);
  EXPECT_EQ(keys[0].control_state, c.control_state);
}

constexpr DWORD E = ENHANCED_KEY;

INSTANTIATE_TEST_SUITE_P(
    Keys, OneKey,
    ::testing::Values(
        OneKeyCase{"a", 'A', 'a', 0}, OneKeyCase{"Z", 'Z', 'Z', SHIFT_PRESSED},
        OneKeyCase{"7", '7', '7', 0}, OneKeyCase{"&", '7', '&', SHIFT_PRESSED},
        OneKeyCase{" ", VK_SPACE, ' ', 0}, OneKeyCase{",", VK_OEM_COMMA, ',', 0},
        OneKeyCase{"?", VK_OEM_2, '?', SHIFT_PRESSED}, OneKeyCase{"\"", VK_OEM_7, '"', SHIFT_PRESSED},
        OneKeyCase{"\r", VK_RETURN, 13, 0}, OneKeyCase{"\n", VK_RETURN, 13, 0}, OneKeyCase{"\x7f", VK_BACK, 8, 0},
        OneKeyCase{"\b", VK_BACK, 8, 0}, OneKeyCase{"\t", VK_TAB, 9, 0},
        OneKeyCase{"\x03", 'C', 3, LEFT_CTRL_PRESSED}, OneKeyCase{"\x04", 'D', 4, LEFT_CTRL_PRESSED},
        OneKeyCase{"\x1a", 'Z', 26, LEFT_CTRL_PRESSED}, OneKeyCase{"", VK_SPACE, 0, LEFT_CTRL_PRESSED},
        OneKeyCase{"\x1b[A", VK_UP, 0, E}, OneKeyCase{"\x1b[B", VK_DOWN, 0, E},
        OneKeyCase{"\x1b[C", VK_RIGHT, 0, E}, OneKeyCase{"\x1b[D", VK_LEFT, 0, E},
        OneKeyCase{"\x1bOA", VK_UP, 0, E}, OneKeyCase{"\x1bOD", VK_LEFT, 0, E},
        OneKeyCase{"\x1b[H", VK_HOME, 0, E}, OneKeyCase{"\x1b[F", VK_END, 0, E},
        OneKeyCase{"\x1bOH", VK_HOME, 0, E}, OneKeyCase{"\x1b[1~", VK_HOME, 0, E},
        OneKeyCase{"\x1b[4~", VK_END, 0, E}, OneKeyCase{"\x1b[2~", VK_INSERT, 0, E},
        OneKeyCase{"\x1b[3~", VK_DELETE, 0, E}, OneKeyCase{"\x1b[5~", VK_PRIOR, 0, E},
        OneKeyCase{"\x1b[6~", VK_NEXT, 0, E}, OneKeyCase{"\x1bOP", VK_F1, 0, 0},
        OneKeyCase{"\x1bOS", VK_F1 + 3, 0, 0}, OneKeyCase{"\x1b[[A", VK_F1, 0, 0},
        OneKeyCase{"\x1b[11~", VK_F1, 0, 0}, OneKeyCase{"\x1b[15~", VK_F1 + 4, 0, 0},
        OneKeyCase{"\x1b[17~", VK_F1 + 5, 0, 0}, OneKeyCase{"\x1b[21~", VK_F1 + 9, 0, 0},
        OneKeyCase{"\x1b[23~", VK_F1 + 10, 0, 0}, OneKeyCase{"\x1b[24~", VK_F12, 0, 0},
        // Modifiers are tolerated and kept.
        OneKeyCase{"\x1b[1;5A", VK_UP, 0, E | LEFT_CTRL_PRESSED},
        OneKeyCase{"\x1b[1;2D", VK_LEFT, 0, E | SHIFT_PRESSED},
        OneKeyCase{"\x1b[3;3~", VK_DELETE, 0, E | LEFT_ALT_PRESSED},
        OneKeyCase{"\x1b[1;2P", VK_F1, 0, SHIFT_PRESSED},
        OneKeyCase{"\x1b[24;5~", VK_F12, 0, LEFT_CTRL_PRESSED},
        OneKeyCase{"\x1bO5P", VK_F1, 0, LEFT_CTRL_PRESSED},
        OneKeyCase{"\x1b[Z", VK_TAB, 9, SHIFT_PRESSED},
        OneKeyCase{"\x1bx", 'X', 'x', LEFT_ALT_PRESSED},
        // UTF-8 becomes the console's code page; a byte that is no UTF-8 stays itself.
        OneKeyCase{"\xc3\xa9", 0, '\x82', 0}, OneKeyCase{"\xe2\x96\x88", 0, '\xdb', 0},
        OneKeyCase{"\xe2\x82\xac", 0, '?', 0}, OneKeyCase{"\xff", 0, '\xff', 0}));

TEST(KeyDecoding, AnEscapeWaitsForTheRestOfItsSequenceUntilNothingMoreComes) {
  for (std::string start : {"\x1b", "\x1b[", "\x1b[1;", "\x1bO", "\x1b[[", "\xc3"}) {
    size_t used = 99;
    EXPECT_TRUE(decode("a" + start, false, &used).size() == 1) << start;
    EXPECT_EQ(used, 1u) << "an unfinished sequence is left for more bytes: " << start;
  }
  size_t used = 0;
  std::vector<DecodedKey> keys = decode("\x1b", true, &used);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].virtual_key, VK_ESCAPE);
  EXPECT_EQ(keys[0].character, 27);
  EXPECT_EQ(used, 1u);
  // An Escape and a bracket typed apart are two keys once no more comes.
  keys = decode("\x1b[", true, &used);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].virtual_key, VK_ESCAPE);
  EXPECT_EQ(keys[1].character, '[');
  EXPECT_EQ(used, 2u);
  // A UTF-8 lead byte that nothing follows is that byte.
  keys = decode("\xe9", true, &used);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].character, '\xe9');
}

TEST(KeyDecoding, MixedInputGivesEveryKeyInOrder) {
  std::vector<DecodedKey> keys = decode("ab\x1b[A\r\x1b\x1b[3~\x7f", false);
  std::vector<WORD> codes;
  for (const DecodedKey& key : keys) codes.push_back(key.virtual_key);
  EXPECT_EQ(codes, (std::vector<WORD>{'A', 'B', VK_UP, VK_RETURN, VK_ESCAPE, VK_DELETE, VK_BACK}));
}

TEST(KeyDecoding, UnknownSequencesAreUsedUpWithoutAKey) {
  size_t used = 0;
  std::string bytes = "\x1b[99~\x1b[?1;2cq";
  std::vector<DecodedKey> keys = decode(bytes, false, &used);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].character, 'q');
  EXPECT_EQ(used, bytes.size());
}

TEST(KeyDecoding, ASequenceThatRunsOnIsNoneAndCannotHoldInputBack) {
  std::string endless = "\x1b[" + std::string(100, '1');
  size_t used = 0;
  std::vector<DecodedKey> keys = decode(endless, false, &used);
  ASSERT_GE(keys.size(), 2u);
  EXPECT_EQ(keys[0].virtual_key, VK_ESCAPE);
  EXPECT_EQ(used, endless.size());
}

TEST(KeyDecoding, StopsAtTheNumberOfKeysAskedFor) {
  DecodedKey keys[2];
  size_t count = 0;
  const uint8_t bytes[] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(input_decode_keys(bytes, sizeof bytes, true, keys, 2, &count), 2u);
  EXPECT_EQ(count, 2u);
}

}  // namespace
