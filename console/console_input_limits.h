// Sizes and marks of console line input.
#pragma once

#include <cstdint>

// Characters asked of one console read, the first reservation of a line, and the room
// that a growing line gets back.
constexpr int32_t LINE_READ_CHUNK = 4096;
// Before a read of redirected input, less room than this makes the line's area grow.
constexpr int32_t LINE_READ_MIN_ROOM = 512;
// The one-character line that stands for the end of input.
constexpr char INPUT_END_CHAR = 4;
// Alone on a console line, it is the end of input.
constexpr char CONSOLE_CTRL_Z = 26;
// The input mode of raw line input: the console edits and echoes the line.
constexpr uint32_t CONSOLE_LINE_INPUT_MODE = 7;
