// The console as the callers see it: standard handles, a screen buffer of character cells
// with a cursor, colours and modes, the title, writes and reads, and control events.
// On a terminal the buffer is drawn with escape sequences; on a file or pipe only the
// plain reads and writes work.
//
// Where things live (platform/terminal/):
//   terminal.h            this interface
//   terminal_virtual.h    the in-memory screen that unit tests select at run time
//   terminal_backend.h    the table of backend operations and the shared session record
//   screen_buffer.*       cells, cursor and what output modes 0 to 3 do to them
//   console_output.cpp    the console calls of this header, on the current backend
//   file_io.cpp           WriteFile, ReadFile, FlushFileBuffers
//   control_events.cpp    signals turned into control events on a thread of our own
//   terminal_real.cpp     the real terminal: rendering, alternate screen, title stack
//   terminal_restore.cpp  the one routine that puts the terminal back, on every way out
//   terminal_virtual.cpp  the in-memory backend
// Key input (raw termios reading, escape-sequence decoding, GetNumberOfConsoleInputEvents,
// ReadConsoleInputA, ReadConsoleA) belongs in input_*.cpp files of this folder: they add
// their declarations below the marked line, take the input handle's mode from
// terminal_session.input_mode, save the terminal modes with terminal_save_modes() before
// changing them (so the restore routine puts them back), and give the virtual backend a
// queue of events of its own in terminal_virtual.h.
#pragma once

#include "platform/base/platform_types.h"

// Which standard handle GetStdHandle gives; the values are the streams' descriptors.
constexpr DWORD STD_INPUT_HANDLE = 0;
constexpr DWORD STD_OUTPUT_HANDLE = 1;
constexpr DWORD STD_ERROR_HANDLE = 2;

// Output mode bits: control characters act, and text wraps at the end of a row.
constexpr DWORD ENABLE_PROCESSED_OUTPUT = 0x1;
constexpr DWORD ENABLE_WRAP_AT_EOL_OUTPUT = 0x2;
// Input mode bits (used by key and line input).
constexpr DWORD ENABLE_PROCESSED_INPUT = 0x1;
constexpr DWORD ENABLE_LINE_INPUT = 0x2;
constexpr DWORD ENABLE_ECHO_INPUT = 0x4;

// Attribute bits: foreground in bits 0 to 3, background the same shifted by 4.
constexpr WORD FOREGROUND_BLUE = 0x1;
constexpr WORD FOREGROUND_GREEN = 0x2;
constexpr WORD FOREGROUND_RED = 0x4;
constexpr WORD FOREGROUND_INTENSITY = 0x8;
constexpr WORD BACKGROUND_BLUE = 0x10;
constexpr WORD BACKGROUND_GREEN = 0x20;
constexpr WORD BACKGROUND_RED = 0x40;
constexpr WORD BACKGROUND_INTENSITY = 0x80;

// Control events, and the signals they come from.
constexpr DWORD CTRL_C_EVENT = 0;         // SIGINT (Ctrl+C)
constexpr DWORD CTRL_BREAK_EVENT = 1;     // SIGQUIT (Ctrl+\)
constexpr DWORD CTRL_CLOSE_EVENT = 2;     // SIGHUP (the terminal went away)
constexpr DWORD CTRL_LOGOFF_EVENT = 5;    // no signal of its own here
constexpr DWORD CTRL_SHUTDOWN_EVENT = 6;  // SIGTERM

struct COORD {
  SHORT X;
  SHORT Y;
};

struct SMALL_RECT {
  SHORT Left;
  SHORT Top;
  SHORT Right;
  SHORT Bottom;
};

struct CONSOLE_SCREEN_BUFFER_INFO {
  COORD dwSize;
  COORD dwCursorPosition;
  WORD wAttributes;
  SMALL_RECT srWindow;
  COORD dwMaximumWindowSize;
};

// Returns TRUE when it has dealt with the event; FALSE passes it to the next handler.
typedef BOOL (*PHANDLER_ROUTINE)(DWORD ctrl_type);

// A handle of standard input, output or error, or INVALID_HANDLE_VALUE
// (ERROR_INVALID_PARAMETER) for any other value. Whether a standard stream is the console
// is found on first use and kept, so console calls cost no system call for it: a program
// that points a standard descriptor elsewhere (dup2) takes the handle anew with
// GetStdHandle, and the streams are looked at again.
HANDLE GetStdHandle(DWORD which);

// Size, cursor and current attribute of the screen buffer. Fails (ERROR_INVALID_HANDLE)
// unless the handle's stream is the console.
BOOL GetConsoleScreenBufferInfo(HANDLE output, CONSOLE_SCREEN_BUFFER_INFO* info);

// Shows the text as the window title; the title found at start is given back on exit.
// Fails when standard output is not a terminal. A null title counts as empty.
BOOL SetConsoleTitleA(const char* title);

// Output handles: the output mode bits above. Mode 0 (glyphs, no wrapping) makes the
// console a drawing surface. Input handles: the input mode bits, kept for key input.
// Both fail (ERROR_INVALID_HANDLE) for a stream that is not the console.
BOOL GetConsoleMode(HANDLE handle, DWORD* mode);
BOOL SetConsoleMode(HANDLE handle, DWORD mode);

// The attribute of text written from now on.
BOOL SetConsoleTextAttribute(HANDLE output, WORD attributes);

// Fill length cells from start onward, row after row, stopping at the end of the buffer;
// *written (may be null) gets the count filled. The attribute fill keeps the characters,
// the character fill keeps the attributes. A start outside the buffer fails
// (ERROR_INVALID_PARAMETER).
BOOL FillConsoleOutputAttribute(HANDLE output, WORD attributes, DWORD length, COORD start,
                                DWORD* written);
BOOL FillConsoleOutputCharacterA(HANDLE output, char character, DWORD length, COORD start,
                                 DWORD* written);

// Fails (ERROR_INVALID_PARAMETER) for a position outside the buffer.
BOOL SetConsoleCursorPosition(HANDLE output, COORD position);

// Writes count bytes at the cursor as the output mode says. Fails (ERROR_INVALID_HANDLE)
// when the handle's stream is not the console. reserved must be null.
BOOL WriteConsoleA(HANDLE output, const void* bytes, DWORD count, DWORD* written,
                   void* reserved);

// Console output calls made between terminal_hold_output and the matching
// terminal_release_output change the screen buffer at once, but reach the terminal at the
// release, in one write: a sequence of calls that makes one picture (a clear and its
// cursor home, a line and its end) is drawn whole. Holds nest, across threads too; keep
// them short, since all drawing waits for the last release.
void terminal_hold_output();
void terminal_release_output();

// Plain writes and reads of a standard stream; to the console WriteFile acts as
// WriteConsoleA. A reader that went away gives ERROR_BROKEN_PIPE, never a signal.
// ReadFile gives TRUE with *read = 0 at the end of the stream. overlapped must be null.
BOOL WriteFile(HANDLE handle, const void* bytes, DWORD count, DWORD* written, void* overlapped);
BOOL ReadFile(HANDLE handle, void* bytes, DWORD count, DWORD* read, void* overlapped);
// Writes go straight to the stream, so nothing waits in the process; TRUE for a valid handle.
BOOL FlushFileBuffers(HANDLE handle);

// add TRUE puts the routine first in line, FALSE takes it out. A null routine with add
// TRUE makes Ctrl+C ignored, with FALSE heeded again. Handlers run one after the other
// on the layer's own event thread, newest first; when all decline, the terminal is
// restored and the process ends as the signal's default says (its exit status shows the
// signal). The event signals are blocked in every other thread: the layer blocks them in
// the first thread before main runs, and threads inherit that mask.
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add);

// A terminal program always has its console: this succeeds when standard output is a
// terminal and fails otherwise, creating nothing.
BOOL AllocConsole();

// ---- key input (input_*.cpp) adds its declarations below this line ----
// Input records, virtual-key codes, ReadConsoleInputA, ReadConsoleA. ReadFile of a pipe
// whose writer has gone fails with ERROR_BROKEN_PIPE; a file's end is a plain empty read.
#include "platform/terminal/terminal_input.h"
