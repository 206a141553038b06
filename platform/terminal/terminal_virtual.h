// The in-memory screen: the console calls act on a buffer of the given size that tests
// read back, with no terminal involved. Selected at run time; the real terminal stays the
// default.
#pragma once

#include "platform/terminal/screen_buffer.h"
#include "platform/terminal/terminal.h"

#include <cstddef>

// A fresh console of width x height on every standard stream.
void terminal_use_virtual(SHORT width, SHORT height);
// The same, but standard output and error are redirected: console calls on them fail and
// what WriteFile writes is kept (terminal_virtual_captured).
void terminal_use_virtual_redirected(SHORT width, SHORT height);
// Back to the real terminal, with a fresh session.
void terminal_use_real();

ScreenCell terminal_virtual_cell(SHORT x, SHORT y);
COORD terminal_virtual_cursor();
// The characters of row y, trailing blanks included, zero-terminated into text (width + 1).
void terminal_virtual_row(SHORT y, char* text, size_t size);
// Whether the console became a drawing surface (the real one then uses the alternate screen).
bool terminal_virtual_is_surface();
// The last title set, or null.
const char* terminal_virtual_title();
uint32_t terminal_virtual_bells();
// Text written to the console before it became a surface, as a line terminal gets it.
const char* terminal_virtual_line_text(size_t* length);
// Bytes WriteFile sent to redirected standard output or error.
const char* terminal_virtual_captured(size_t* length);
// Bytes that ReadFile of standard input gives, then the end of the stream.
void terminal_virtual_set_input(const void* bytes, size_t length);
// The terminal changed size, as the real one reports with SIGWINCH.
void terminal_virtual_resize(SHORT width, SHORT height);
// How often the terminal was put back (on control events that ended the process).
uint32_t terminal_virtual_restores();
// How often the screen was shown (each time a real terminal would get one write of drawing).
uint32_t terminal_virtual_presents();
