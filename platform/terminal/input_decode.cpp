// Key decoding: one key (or one unknown sequence) at a time from the front of the bytes.
#include "platform/terminal/input_decode.h"

#include "platform/terminal/cp437.h"
#include "platform/terminal/terminal_input.h"

namespace {

constexpr uint8_t ESC = 0x1b;
// Longer than any key sequence; a sequence that runs on is not one.
constexpr size_t SEQUENCE_MAX = 32;

struct PunctuationKey {
  char plain;
  char shifted;
  WORD virtual_key;
};

// US layout: the keys whose shifted character is not the upper-case letter.
constexpr PunctuationKey PUNCTUATION[] = {
    {'1', '!', '1'},         {'2', '@', '2'},           {'3', '#', '3'},
    {'4', '$', '4'},         {'5', '%', '5'},           {'6', '^', '6'},
    {'7', '&', '7'},         {'8', '*', '8'},           {'9', '(', '9'},
    {'0', ')', '0'},         {';', ':', VK_OEM_1},      {'=', '+', VK_OEM_PLUS},
    {',', '<', VK_OEM_COMMA}, {'-', '_', VK_OEM_MINUS}, {'.', '>', VK_OEM_PERIOD},
    {'/', '?', VK_OEM_2},    {'`', '~', VK_OEM_3},      {'[', '{', VK_OEM_4},
    {'\\', '|', VK_OEM_5},   {']', '}', VK_OEM_6},      {'\'', '"', VK_OEM_7},
};

// What a printable ASCII byte is typed with.
DecodedKey printable_key(uint8_t byte) {
  if (byte >= 'a' && byte <= 'z') return {static_cast<WORD>(byte - 'a' + 'A'), static_cast<char>(byte), 0};
  if (byte >= 'A' && byte <= 'Z') return {byte, static_cast<char>(byte), SHIFT_PRESSED};
  if (byte == ' ') return {VK_SPACE, ' ', 0};
  for (const PunctuationKey& key : PUNCTUATION) {
    if (byte == static_cast<uint8_t>(key.plain)) return {key.virtual_key, key.plain, 0};
    if (byte == static_cast<uint8_t>(key.shifted)) return {key.virtual_key, key.shifted, SHIFT_PRESSED};
  }
  return {0, static_cast<char>(byte), 0};
}

// Control bytes: the keys that send them, Ctrl with a letter for most.
DecodedKey control_key(uint8_t byte) {
  char character = static_cast<char>(byte);
  switch (byte) {
    case 0x00: return {VK_SPACE, 0, LEFT_CTRL_PRESSED};
    case 0x08:
    case 0x7f: return {VK_BACK, 8, 0};
    case 0x09: return {VK_TAB, 9, 0};
    // Enter typed ahead while the terminal still edited lines arrives as a line feed.
    case 0x0a: return {VK_RETURN, 13, 0};
    case 0x0d: return {VK_RETURN, 13, 0};
    case ESC: return {VK_ESCAPE, 27, 0};
    case 0x1c: return {VK_OEM_5, character, LEFT_CTRL_PRESSED};
    case 0x1d: return {VK_OEM_6, character, LEFT_CTRL_PRESSED};
    case 0x1e: return {'6', character, LEFT_CTRL_PRESSED | SHIFT_PRESSED};
    case 0x1f: return {VK_OEM_MINUS, character, LEFT_CTRL_PRESSED | SHIFT_PRESSED};
    default: return {static_cast<WORD>('A' + byte - 1), character, LEFT_CTRL_PRESSED};
  }
}

// The modifier parameter of a sequence (1 + shift 1, alt 2, ctrl 4) as control state.
DWORD modifier_state(int parameter) {
  if (parameter < 2) return 0;
  int bits = parameter - 1;
  DWORD state = 0;
  if (bits & 1) state |= SHIFT_PRESSED;
  if (bits & 2) state |= LEFT_ALT_PRESSED;
  if (bits & 4) state |= LEFT_CTRL_PRESSED;
  return state;
}

// The key of a cursor-key final letter (CSI or SS3), or 0.
WORD letter_key(uint8_t final) {
  switch (final) {
    case 'A': return VK_UP;
    case 'B': return VK_DOWN;
    case 'C': return VK_RIGHT;
    case 'D': return VK_LEFT;
    case 'H': return VK_HOME;
    case 'F': return VK_END;
    case 'P': return VK_F1;
    case 'Q': return VK_F1 + 1;
    case 'R': return VK_F1 + 2;
    case 'S': return VK_F1 + 3;
    default: return 0;
  }
}

// The key of CSI number ~, or 0.
WORD tilde_key(int number) {
  switch (number) {
    case 1:
    case 7: return VK_HOME;
    case 2: return VK_INSERT;
    case 3: return VK_DELETE;
    case 4:
    case 8: return VK_END;
    case 5: return VK_PRIOR;
    case 6: return VK_NEXT;
    default: break;
  }
  if (number >= 11 && number <= 15) return static_cast<WORD>(VK_F1 + number - 11);
  if (number >= 17 && number <= 21) return static_cast<WORD>(VK_F1 + 5 + number - 17);
  if (number == 23 || number == 24) return static_cast<WORD>(VK_F1 + 10 + number - 23);
  return 0;
}

constexpr size_t INCOMPLETE = 0;
constexpr size_t BROKEN = static_cast<size_t>(-1);

// CSI parameters and final byte from bytes[start]. Returns the bytes used through the
// final, INCOMPLETE when the end came first, BROKEN when it is no sequence.
size_t parse_csi(const uint8_t* bytes, size_t length, size_t start, int* parameters,
                 int* parameter_count, uint8_t* final) {
  *parameter_count = 0;
  int current = -1;
  for (size_t i = start; i < length; ++i) {
    if (i >= SEQUENCE_MAX) return BROKEN;
    uint8_t byte = bytes[i];
    if (byte >= '0' && byte <= '9') {
      current = (current < 0 ? 0 : current) * 10 + (byte - '0');
      if (current > 9999) current = 9999;
    } else if (byte == ';' || byte == ':') {
      if (*parameter_count < 2) parameters[(*parameter_count)++] = current;
      current = -1;
    } else if (byte >= 0x3c && byte <= 0x3f) {
      // private markers (< = > ?): tolerated, meaningless for keys
    } else if (byte >= 0x20 && byte <= 0x2f) {
      // intermediates: tolerated
    } else if (byte >= 0x40 && byte <= 0x7e) {
      if (*parameter_count < 2) parameters[(*parameter_count)++] = current;
      *final = byte;
      return i + 1;
    } else {
      return BROKEN;
    }
  }
  return INCOMPLETE;
}

// An escape sequence at bytes[0] == ESC. Returns the bytes used (with *has_key telling
// whether they made a key), INCOMPLETE, or BROKEN.
size_t decode_escape(const uint8_t* bytes, size_t length, DecodedKey* key, bool* has_key) {
  *has_key = false;
  if (length < 2) return INCOMPLETE;
  uint8_t kind = bytes[1];
  if (kind == '[') {
    // The Linux console's F1 to F5: ESC [ [ A to E.
    if (length >= 3 && bytes[2] == '[') {
      if (length < 4) return INCOMPLETE;
      if (bytes[3] >= 'A' && bytes[3] <= 'E') {
        *key = {static_cast<WORD>(VK_F1 + bytes[3] - 'A'), 0, 0};
        *has_key = true;
        return 4;
      }
      return BROKEN;
    }
    int parameters[2] = {-1, -1};
    int count = 0;
    uint8_t final = 0;
    size_t used = parse_csi(bytes, length, 2, parameters, &count, &final);
    if (used == INCOMPLETE || used == BROKEN) return used;
    DWORD state = count >= 2 ? modifier_state(parameters[1]) : 0;
    WORD virtual_key = 0;
    char character = 0;
    if (final == '~') {
      virtual_key = tilde_key(parameters[0]);
    } else if (final == 'Z') {  // Shift+Tab
      virtual_key = VK_TAB;
      character = 9;
      state |= SHIFT_PRESSED;
    } else {
      virtual_key = letter_key(final);
    }
    if (virtual_key != 0) {
      if (character == 0 && virtual_key < VK_F1) state |= ENHANCED_KEY;
      *key = {virtual_key, character, state};
      *has_key = true;
    }
    return used;
  }
  if (kind == 'O') {
    // SS3, with a modifier digit tolerated before the final letter.
    size_t i = 2;
    int modifier = -1;
    while (i < length && bytes[i] >= '0' && bytes[i] <= '9' && i < 4) {
      modifier = (modifier < 0 ? 0 : modifier) * 10 + (bytes[i] - '0');
      ++i;
    }
    if (i >= length) return INCOMPLETE;
    uint8_t final = bytes[i];
    if (final < 0x40 || final > 0x7e) return BROKEN;
    DWORD state = modifier_state(modifier);
    if (final == 'M') {  // keypad Enter
      *key = {VK_RETURN, 13, state};
      *has_key = true;
    } else if (WORD virtual_key = letter_key(final); virtual_key != 0) {
      if (virtual_key < VK_F1) state |= ENHANCED_KEY;
      *key = {virtual_key, 0, state};
      *has_key = true;
    }
    return i + 1;
  }
  if (kind >= 0x20 && kind <= 0x7e) {
    // Alt with a character key.
    *key = printable_key(kind);
    key->control_state |= LEFT_ALT_PRESSED;
    *has_key = true;
    return 2;
  }
  return BROKEN;
}

// Length of the UTF-8 sequence a lead byte starts, or 0 for a byte that starts none.
size_t utf8_length(uint8_t lead) {
  if (lead >= 0xc2 && lead <= 0xdf) return 2;
  if (lead >= 0xe0 && lead <= 0xef) return 3;
  if (lead >= 0xf0 && lead <= 0xf4) return 4;
  return 0;
}

// The console byte whose glyph is code_point, or '?' when the code page has none.
char console_byte_of(uint32_t code_point) {
  for (int byte = 0x80; byte < 0x100; ++byte) {
    if (cp437_code_point(static_cast<uint8_t>(byte)) == code_point) return static_cast<char>(byte);
  }
  return '?';
}

// A byte of 0x80 or more: a UTF-8 character turned into the console's code page, or,
// when it is no UTF-8, the byte itself. Returns the bytes used or INCOMPLETE.
size_t decode_high(const uint8_t* bytes, size_t length, bool final, DecodedKey* key) {
  size_t need = utf8_length(bytes[0]);
  *key = {0, static_cast<char>(bytes[0]), 0};
  if (need == 0) return 1;
  uint32_t code_point = bytes[0] & (0x7f >> need);
  for (size_t i = 1; i < need; ++i) {
    if (i >= length) return final ? 1 : INCOMPLETE;
    if ((bytes[i] & 0xc0) != 0x80) return 1;
    code_point = (code_point << 6) | (bytes[i] & 0x3f);
  }
  bool overlong = (need == 3 && code_point < 0x800) || (need == 4 && code_point < 0x10000);
  if (overlong || code_point > 0x10ffff || (code_point >= 0xd800 && code_point <= 0xdfff)) return 1;
  key->character = console_byte_of(code_point);
  return need;
}

}  // namespace

size_t input_decode_keys(const uint8_t* bytes, size_t length, bool final, DecodedKey* keys,
                         size_t max_keys, size_t* key_count) {
  size_t used = 0;
  *key_count = 0;
  while (used < length && *key_count < max_keys) {
    const uint8_t* at = bytes + used;
    size_t left = length - used;
    uint8_t byte = at[0];
    DecodedKey key{};
    bool has_key = true;
    size_t step = 1;
    if (byte == ESC) {
      step = decode_escape(at, left, &key, &has_key);
      if (step == INCOMPLETE && !final) break;
      if (step == INCOMPLETE || step == BROKEN) {
        // Escape pressed on its own; what follows is decoded afresh.
        key = control_key(ESC);
        has_key = true;
        step = 1;
      }
    } else if (byte < 0x20 || byte == 0x7f) {
      key = control_key(byte);
    } else if (byte < 0x80) {
      key = printable_key(byte);
    } else {
      step = decode_high(at, left, final, &key);
      if (step == INCOMPLETE) break;
    }
    if (has_key) keys[(*key_count)++] = key;
    used += step;
  }
  return used;
}
