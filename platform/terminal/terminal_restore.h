// What the real terminal has been changed in, and the hooks that undo it on every way out:
// normal exit, control events, stops, and crashes.
#pragma once

#include <atomic>

// Set before the change is made, so that a crash in between still undoes it.
extern std::atomic<bool> terminal_changed_screen;   // alternate screen, no autowrap
extern std::atomic<bool> terminal_changed_colours;  // a colour left set on the normal screen
extern std::atomic<bool> terminal_changed_title;    // our title pushed over the old one

// The descriptor of the terminal that is drawn on.
constexpr int TERMINAL_FD = 1;

// Installs the exit and crash hooks once, before the terminal is first changed.
void terminal_install_restore_hooks();
