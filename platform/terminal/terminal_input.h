// Key and line input of the console: input records (key presses and releases, buffer
// size changes), the virtual-key codes they carry, and the console read calls.
#pragma once

#include "platform/base/platform_types.h"
#include "platform/terminal/terminal.h"

#include <cstddef>

// EventType of an input record.
constexpr WORD KEY_EVENT = 0x0001;
constexpr WORD MOUSE_EVENT = 0x0002;
constexpr WORD WINDOW_BUFFER_SIZE_EVENT = 0x0004;
constexpr WORD MENU_EVENT = 0x0008;
constexpr WORD FOCUS_EVENT = 0x0010;

// dwControlKeyState bits.
constexpr DWORD RIGHT_ALT_PRESSED = 0x0001;
constexpr DWORD LEFT_ALT_PRESSED = 0x0002;
constexpr DWORD RIGHT_CTRL_PRESSED = 0x0004;
constexpr DWORD LEFT_CTRL_PRESSED = 0x0008;
constexpr DWORD SHIFT_PRESSED = 0x0010;
constexpr DWORD ENHANCED_KEY = 0x0100;

// Virtual-key codes. Letters and digits use their upper-case ASCII codes ('A', '0').
constexpr WORD VK_BACK = 0x08;
constexpr WORD VK_TAB = 0x09;
constexpr WORD VK_RETURN = 0x0D;
constexpr WORD VK_SHIFT = 0x10;
constexpr WORD VK_CONTROL = 0x11;
constexpr WORD VK_MENU = 0x12;
constexpr WORD VK_PAUSE = 0x13;
constexpr WORD VK_ESCAPE = 0x1B;
constexpr WORD VK_SPACE = 0x20;
constexpr WORD VK_PRIOR = 0x21;  // Page Up
constexpr WORD VK_NEXT = 0x22;   // Page Down
constexpr WORD VK_END = 0x23;
constexpr WORD VK_HOME = 0x24;
constexpr WORD VK_LEFT = 0x25;
constexpr WORD VK_UP = 0x26;
constexpr WORD VK_RIGHT = 0x27;
constexpr WORD VK_DOWN = 0x28;
constexpr WORD VK_INSERT = 0x2D;
constexpr WORD VK_DELETE = 0x2E;
constexpr WORD VK_F1 = 0x70;  // F2 to F12 follow in order
constexpr WORD VK_F12 = 0x7B;
// Punctuation keys of a US layout.
constexpr WORD VK_OEM_1 = 0xBA;       // ; :
constexpr WORD VK_OEM_PLUS = 0xBB;    // = +
constexpr WORD VK_OEM_COMMA = 0xBC;   // , <
constexpr WORD VK_OEM_MINUS = 0xBD;   // - _
constexpr WORD VK_OEM_PERIOD = 0xBE;  // . >
constexpr WORD VK_OEM_2 = 0xBF;       // / ?
constexpr WORD VK_OEM_3 = 0xC0;       // ` ~
constexpr WORD VK_OEM_4 = 0xDB;       // [ {
constexpr WORD VK_OEM_5 = 0xDC;       // \ |
constexpr WORD VK_OEM_6 = 0xDD;       // ] }
constexpr WORD VK_OEM_7 = 0xDE;       // ' "

struct KEY_EVENT_RECORD {
  BOOL bKeyDown;
  WORD wRepeatCount;
  WORD wVirtualKeyCode;
  WORD wVirtualScanCode;
  union {
    uint16_t UnicodeChar;
    char AsciiChar;
  } uChar;
  DWORD dwControlKeyState;
};

struct WINDOW_BUFFER_SIZE_RECORD {
  COORD dwSize;
};

struct FOCUS_EVENT_RECORD {
  BOOL bSetFocus;
};

struct INPUT_RECORD {
  WORD EventType;
  union {
    KEY_EVENT_RECORD KeyEvent;
    WINDOW_BUFFER_SIZE_RECORD WindowBufferSizeEvent;
    FOCUS_EVENT_RECORD FocusEvent;
  } Event;
};

// How many input records are waiting. Never waits: what the terminal has already sent is
// read and decoded first. Fails (ERROR_INVALID_HANDLE) unless handle is standard input
// and that is the console.
BOOL GetNumberOfConsoleInputEvents(HANDLE input, DWORD* count);

// Takes up to length waiting records, waiting for the first one when none waits. Fails
// (ERROR_INVALID_HANDLE) as above, and (ERROR_HANDLE_EOF) when the terminal went away or,
// on the in-memory console, nothing is left to read.
BOOL ReadConsoleInputA(HANDLE input, INPUT_RECORD* records, DWORD length, DWORD* read);

// One line the user edited, with the echo and editing of the input mode (mode 7: the
// terminal's own line editing and echo), ended by CR LF. End of input at the start of a
// line (Ctrl+D) gives the line Ctrl+Z CR LF. A line longer than count - 1 bytes comes in
// pieces. input_control must be null. Fails (ERROR_INVALID_HANDLE) when standard input is
// a file or pipe.
BOOL ReadConsoleA(HANDLE input, void* bytes, DWORD count, DWORD* read, void* input_control);

// For ReadFile: whether an empty read of stream fd means a pipe whose writer has gone (it
// then fails with ERROR_BROKEN_PIPE, as a pipe does; a file's end is a plain empty read).
bool terminal_input_end_is_broken_pipe(int fd);

// ---- the in-memory console's input (tests) ----
// Bytes as a terminal sends them for typed keys ("a", "\r", "\x1b[A"); key reads decode
// them, and ReadConsoleA edits lines from them. No one types on the in-memory console:
// a read that would have to wait for more fails instead (ReadConsoleA ends the line, or
// gives the end-of-input line when nothing was typed).
void terminal_virtual_type(const char* bytes, size_t length);
// One record, queued behind those already decoded.
void terminal_virtual_push_event(const INPUT_RECORD& record);
// Forgets queued records and typed bytes (a fresh console has none).
void terminal_virtual_clear_input();
