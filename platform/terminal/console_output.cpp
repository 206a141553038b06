// The console calls: handles, buffer information, modes, attributes, fills, cursor and
// writes, applied to the screen buffer and shown through the current backend.
#include "platform/terminal/terminal.h"
#include "platform/terminal/terminal_backend.h"

#include <atomic>
#include <sched.h>

TerminalSession terminal_session = {PTHREAD_MUTEX_INITIALIZER,
                                    &REAL_TERMINAL_BACKEND,
                                    false,
                                    false,
                                    ScreenBuffer{},
                                    ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT,
                                    {TERMINAL_STREAM_UNKNOWN, TERMINAL_STREAM_UNKNOWN,
                                     TERMINAL_STREAM_UNKNOWN},
                                    0,
                                    false,
                                    false};

bool terminal_stream_is_console(int fd) {
  if (fd < 0 || fd > 2) return false;
  TerminalStreamKind& kind = terminal_session.stream_kind[fd];
  if (kind == TERMINAL_STREAM_UNKNOWN) {
    kind = terminal_session.backend->stream_is_console(fd) ? TERMINAL_STREAM_CONSOLE
                                                           : TERMINAL_STREAM_OTHER;
  }
  return kind == TERMINAL_STREAM_CONSOLE;
}

void terminal_streams_changed_locked() {
  for (TerminalStreamKind& kind : terminal_session.stream_kind) kind = TERMINAL_STREAM_UNKNOWN;
}

namespace {

// The screen buffer takes the terminal's size; 80 x 25 when that cannot be told.
void make_screen() {
  SHORT width = 80, height = 25;
  SHORT w, h;
  if (terminal_session.backend->query_size(&w, &h)) {
    width = w;
    height = h;
  }
  terminal_session.screen_ready =
      screen_init(&terminal_session.screen, width, height, TERMINAL_INITIAL_ATTRIBUTES);
}

// The console output stream of a handle (1 or 2), or -1 with the error set.
int console_output_stream(HANDLE handle) {
  int fd = terminal_handle_stream(handle);
  if (fd < 1 || !terminal_stream_is_console(fd) ||
      !terminal_session.screen_ready) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  return fd;
}

// From the first graphical use on, the console is drawn as a surface.
void use_as_surface() {
  if (terminal_session.surface) return;
  terminal_session.surface = true;
  terminal_session.backend->enter_surface(&terminal_session.screen);
  terminal_session_present(true);
}

// Runs a console output call under the session lock; the call sees the stream or fails.
template <typename Body>
BOOL with_output(HANDLE handle, Body body) {
  terminal_session_lock();
  BOOL result = FALSE;
  if (console_output_stream(handle) >= 0) result = body(&terminal_session.screen);
  terminal_session_unlock();
  return result;
}

}  // namespace

namespace {
// The event thread's turn comes first: a program drawing in a tight loop must not keep
// Ctrl+C or a resize waiting.
std::atomic<int> urgent_waiters{0};
}  // namespace

void terminal_session_lock() {
  control_events_ensure();
  while (urgent_waiters.load() > 0) sched_yield();
  pthread_mutex_lock(&terminal_session.lock);
  if (!terminal_session.screen_ready) make_screen();
}

void terminal_session_lock_urgent() {
  urgent_waiters.fetch_add(1);
  pthread_mutex_lock(&terminal_session.lock);
  urgent_waiters.fetch_sub(1);
  if (!terminal_session.screen_ready) make_screen();
}

void terminal_session_unlock() { pthread_mutex_unlock(&terminal_session.lock); }

void terminal_session_present(bool full) {
  if (terminal_session.output_holds > 0) {
    terminal_session.present_pending = true;
    terminal_session.present_full = terminal_session.present_full || full;
    return;
  }
  terminal_session.backend->present(&terminal_session.screen, full);
}

void terminal_hold_output() {
  terminal_session_lock();
  terminal_session.output_holds++;
  terminal_session_unlock();
}

void terminal_release_output() {
  terminal_session_lock();
  if (terminal_session.output_holds > 0 && --terminal_session.output_holds == 0 &&
      terminal_session.present_pending) {
    bool full = terminal_session.present_full;
    terminal_session.present_pending = false;
    terminal_session.present_full = false;
    if (terminal_session.screen_ready) {
      terminal_session.backend->present(&terminal_session.screen, full);
    }
  }
  terminal_session_unlock();
}

void terminal_streams_changed() {
  terminal_session_lock();
  terminal_streams_changed_locked();
  terminal_session_unlock();
}

void terminal_session_resized() {
  terminal_session_lock_urgent();
  SHORT width, height;
  if (terminal_session.screen_ready && terminal_session.backend->query_size(&width, &height) &&
      screen_resize(&terminal_session.screen, width, height) && terminal_session.surface) {
    terminal_session_present(true);
  }
  terminal_session_unlock();
}

void terminal_session_continued() {
  terminal_session_lock_urgent();
  if (terminal_session.screen_ready) terminal_session.backend->resume(&terminal_session.screen);
  terminal_session_unlock();
}

void terminal_session_restore() {
  terminal_session_lock_urgent();
  terminal_session.backend->restore();
  terminal_session_unlock();
}

HANDLE GetStdHandle(DWORD which) {
  control_events_ensure();
  if (which != STD_INPUT_HANDLE && which != STD_OUTPUT_HANDLE && which != STD_ERROR_HANDLE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // The stream behind the handle is looked at anew from here on.
  terminal_streams_changed();
  return terminal_handle_of(static_cast<int>(which));
}

BOOL GetConsoleScreenBufferInfo(HANDLE output, CONSOLE_SCREEN_BUFFER_INFO* info) {
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return with_output(output, [info](ScreenBuffer* screen) {
    info->dwSize = COORD{screen->width, screen->height};
    info->dwCursorPosition = COORD{screen->cursor_x, screen->cursor_y};
    info->wAttributes = screen->attributes;
    info->srWindow = SMALL_RECT{0, 0, static_cast<SHORT>(screen->width - 1),
                                static_cast<SHORT>(screen->height - 1)};
    info->dwMaximumWindowSize = COORD{screen->width, screen->height};
    return TRUE;
  });
}

BOOL SetConsoleTitleA(const char* title) {
  terminal_session_lock();
  BOOL result = FALSE;
  if (terminal_stream_is_console(1)) {
    result = terminal_session.backend->set_title(title != nullptr ? title : "") ? TRUE : FALSE;
    if (!result) SetLastError(ERROR_GEN_FAILURE);
  } else {
    SetLastError(ERROR_INVALID_HANDLE);
  }
  terminal_session_unlock();
  return result;
}

BOOL GetConsoleMode(HANDLE handle, DWORD* mode) {
  if (mode == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  terminal_session_lock();
  BOOL result = FALSE;
  int fd = terminal_handle_stream(handle);
  if (fd == 0 && terminal_stream_is_console(0)) {
    *mode = terminal_session.input_mode;
    result = TRUE;
  } else if (console_output_stream(handle) >= 0) {
    *mode = terminal_session.screen.output_mode;
    result = TRUE;
  } else {
    SetLastError(ERROR_INVALID_HANDLE);
  }
  terminal_session_unlock();
  return result;
}

BOOL SetConsoleMode(HANDLE handle, DWORD mode) {
  terminal_session_lock();
  BOOL result = FALSE;
  int fd = terminal_handle_stream(handle);
  if (fd == 0 && terminal_stream_is_console(0)) {
    terminal_session.input_mode = mode;
    result = TRUE;
  } else if (console_output_stream(handle) >= 0) {
    terminal_session.screen.output_mode = mode;
    // Text that does not wrap cannot be left to a line-oriented screen.
    if ((mode & ENABLE_WRAP_AT_EOL_OUTPUT) == 0) use_as_surface();
    result = TRUE;
  }
  terminal_session_unlock();
  return result;
}

BOOL SetConsoleTextAttribute(HANDLE output, WORD attributes) {
  return with_output(output, [attributes](ScreenBuffer* screen) {
    screen->attributes = attributes;
    return TRUE;
  });
}

namespace {

// The two fills differ only in what they write into the cells.
template <typename Fill>
BOOL fill_output(HANDLE output, COORD start, DWORD* written, Fill fill) {
  if (written) *written = 0;
  return with_output(output, [&](ScreenBuffer* screen) {
    if (!screen_contains(screen, start.X, start.Y)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    DWORD n = fill(screen);
    if (written) *written = n;
    use_as_surface();
    terminal_session_present(false);
    return TRUE;
  });
}

}  // namespace

BOOL FillConsoleOutputAttribute(HANDLE output, WORD attributes, DWORD length, COORD start,
                                DWORD* written) {
  return fill_output(output, start, written, [&](ScreenBuffer* screen) {
    return screen_fill_attributes(screen, attributes, length, start.X, start.Y);
  });
}

BOOL FillConsoleOutputCharacterA(HANDLE output, char character, DWORD length, COORD start,
                                 DWORD* written) {
  return fill_output(output, start, written, [&](ScreenBuffer* screen) {
    return screen_fill_characters(screen, static_cast<uint8_t>(character), length, start.X,
                                  start.Y);
  });
}

BOOL SetConsoleCursorPosition(HANDLE output, COORD position) {
  return with_output(output, [position](ScreenBuffer* screen) {
    if (!screen_contains(screen, position.X, position.Y)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    screen->cursor_x = position.X;
    screen->cursor_y = position.Y;
    use_as_surface();
    terminal_session_present(false);
    return TRUE;
  });
}

BOOL WriteConsoleA(HANDLE output, const void* bytes, DWORD count, DWORD* written,
                   void* reserved) {
  if (written) *written = 0;
  if ((bytes == nullptr && count > 0) || reserved != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return with_output(output, [&](ScreenBuffer* screen) {
    const uint8_t* text = static_cast<const uint8_t*>(bytes);
    ScreenWriteEffects effects{};
    screen_write(screen, text, count, &effects);
    if (terminal_session.surface) {
      if (effects.bells > 0) terminal_session.backend->bell();
      terminal_session_present(false);
    } else if (count > 0) {
      terminal_session.backend->line_output(screen, text, count);
    }
    if (written) *written = count;
    return TRUE;
  });
}

BOOL AllocConsole() {
  terminal_session_lock();
  BOOL present = terminal_stream_is_console(1) ? TRUE : FALSE;
  terminal_session_unlock();
  if (!present) SetLastError(ERROR_INVALID_HANDLE);
  return present;
}
