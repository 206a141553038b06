// Turns the bytes a terminal sends for key presses into keys: characters, control keys,
// and the escape sequences of cursor, editing and function keys.
#pragma once

#include "platform/base/platform_types.h"

#include <cstddef>

struct DecodedKey {
  WORD virtual_key;
  char character;  // 0 for keys without one (arrows, function keys)
  DWORD control_state;
};

// How long an Escape waits for the rest of a sequence before it counts as the key alone.
constexpr int INPUT_ESCAPE_WAIT_MS = 30;

// Decodes keys from the start of bytes into keys (at most max_keys), and returns how many
// bytes were used. Sequences that carry no key we know are used up without a key. Without
// final, an unfinished sequence at the end is left unused for more bytes to complete it;
// with final (no more bytes are coming soon) a lone Escape is the Escape key.
size_t input_decode_keys(const uint8_t* bytes, size_t length, bool final, DecodedKey* keys,
                         size_t max_keys, size_t* key_count);
