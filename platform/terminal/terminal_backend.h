// The operations that differ between the real terminal and the in-memory screen, as a
// table of function pointers, and the process-wide session record that the console calls
// share. The console calls never ask which backend is in use.
#pragma once

#include "platform/base/platform_types.h"
#include "platform/terminal/screen_buffer.h"

#include <pthread.h>
#include <sys/types.h>

struct TerminalBackend {
  // Whether standard stream fd (0, 1 or 2) is the console rather than a file or pipe.
  bool (*stream_is_console)(int fd);
  // The terminal's size in cells; false when it cannot be told.
  bool (*query_size)(SHORT* width, SHORT* height);
  // The console becomes a drawing surface (once, until the session is restored).
  void (*enter_surface)(ScreenBuffer* screen);
  // Shows what changed in the buffer since the last call; full redraws every cell.
  void (*present)(ScreenBuffer* screen, bool full);
  // Console text written while the console is not yet a surface: the bytes as given,
  // in the attribute and output mode they were written with.
  void (*line_output)(const ScreenBuffer* screen, const uint8_t* bytes, DWORD count);
  // A bell on the surface; present() follows at once.
  void (*bell)();
  bool (*set_title)(const char* title);
  // Plain stream transfer; the result and errno as write(2) and read(2) give them.
  ssize_t (*write_stream)(int fd, const void* bytes, size_t count);
  ssize_t (*read_stream)(int fd, void* bytes, size_t count);
  // Puts the terminal back as it was found (normal screen, cursor, colours, title, modes).
  void (*restore)();
  // After a stop: takes the terminal over again and redraws everything.
  void (*resume)(ScreenBuffer* screen);
};

extern const TerminalBackend REAL_TERMINAL_BACKEND;
extern const TerminalBackend VIRTUAL_TERMINAL_BACKEND;

// Attribute of a new screen buffer, as a console starts: grey on black.
constexpr WORD TERMINAL_INITIAL_ATTRIBUTES = 0x07;

// What a standard stream was found to be, kept so that console calls ask the system once.
enum TerminalStreamKind : signed char {
  TERMINAL_STREAM_UNKNOWN = 0,
  TERMINAL_STREAM_CONSOLE = 1,
  TERMINAL_STREAM_OTHER = 2,
};

struct TerminalSession {
  pthread_mutex_t lock;  // every console call, and the event thread's resize and restore
  const TerminalBackend* backend;
  bool screen_ready;
  bool surface;  // drawn as a surface (alternate screen) since the first graphical use
  ScreenBuffer screen;
  DWORD input_mode;
  TerminalStreamKind stream_kind[3];  // of descriptors 0, 1 and 2, as last found
  int output_holds;      // open terminal_hold_output calls: drawing waits for the last release
  bool present_pending;  // something was drawn while held
  bool present_full;     // and a full redraw was asked for
};

extern TerminalSession terminal_session;

// With the session lock held: whether standard stream fd (0, 1 or 2) is the console. The
// backend is asked once and the answer kept until the streams may point elsewhere.
bool terminal_stream_is_console(int fd);
// With the session lock held: forget what the standard streams were found to be. Called
// whenever a descriptor may have changed: a new backend, GetStdHandle (a program that
// points a standard descriptor elsewhere takes its handle anew), a fork's child, and a
// descriptor that a call found to be closed or not a terminal.
void terminal_streams_changed_locked();
// The same, taking the session lock.
void terminal_streams_changed();

// With the session lock held: shows what changed in the screen buffer, at once or, while
// output is held, at the last release.
void terminal_session_present(bool full);

// Takes the session lock, making the screen buffer on first use.
void terminal_session_lock();
void terminal_session_unlock();
// The same for the event thread, which goes before threads waiting in terminal_session_lock.
void terminal_session_lock_urgent();
// Event thread: the terminal changed size / the process was continued after a stop.
void terminal_session_resized();
void terminal_session_continued();
// Puts the terminal back (under the lock) before the process stops or ends.
void terminal_session_restore();

// Real terminal: the modes of the terminal as found, saved once so that the restore
// routine can put them back; key input calls it before changing modes.
void terminal_save_modes();
// Async-signal-safe: writes the restoring sequences and resets the saved modes.
void terminal_restore_now();

// Standard handles carry their stream's descriptor under a tag, so that no small number
// is taken for one by mistake.
constexpr HANDLE TERMINAL_HANDLE_TAG = 0x53544400;  // "STD"
inline HANDLE terminal_handle_of(int fd) { return TERMINAL_HANDLE_TAG + fd; }
// The descriptor (0, 1 or 2) of a standard handle, or -1.
inline int terminal_handle_stream(HANDLE handle) {
  HANDLE fd = handle - TERMINAL_HANDLE_TAG;
  return fd >= 0 && fd <= 2 ? static_cast<int>(fd) : -1;
}

// Starts the thread that turns signals into control events (once per process; again in
// a forked child).
void control_events_ensure();
