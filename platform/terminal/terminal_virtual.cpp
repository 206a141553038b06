// The in-memory backend: no terminal, every effect kept for tests to read.
#include "platform/terminal/terminal_virtual.h"

#include "platform/terminal/terminal_backend.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct VirtualTerminal {
  SHORT width;
  SHORT height;
  bool redirected;
  bool title_set;
  std::string title;
  uint32_t bells;
  uint32_t restores;
  uint32_t presents;
  std::string line_text;
  std::string captured;
  std::string input;
  size_t input_read;
};

VirtualTerminal virtual_terminal;

bool virtual_stream_is_console(int fd) { return fd == 0 || !virtual_terminal.redirected; }

bool virtual_query_size(SHORT* width, SHORT* height) {
  *width = virtual_terminal.width;
  *height = virtual_terminal.height;
  return true;
}

void virtual_enter_surface(ScreenBuffer*) {}
void virtual_present(ScreenBuffer*, bool) { virtual_terminal.presents++; }

void virtual_line_output(const ScreenBuffer*, const uint8_t* bytes, DWORD count) {
  virtual_terminal.line_text.append(reinterpret_cast<const char*>(bytes), count);
}

void virtual_bell() { virtual_terminal.bells++; }

bool virtual_set_title(const char* title) {
  virtual_terminal.title = title;
  virtual_terminal.title_set = true;
  return true;
}

ssize_t virtual_write_stream(int fd, const void* bytes, size_t count) {
  if (fd == 0) {
    errno = EBADF;
    return -1;
  }
  virtual_terminal.captured.append(static_cast<const char*>(bytes), count);
  return static_cast<ssize_t>(count);
}

ssize_t virtual_read_stream(int fd, void* bytes, size_t count) {
  if (fd != 0) {
    errno = EBADF;
    return -1;
  }
  size_t left = virtual_terminal.input.size() - virtual_terminal.input_read;
  size_t n = left < count ? left : count;
  memcpy(bytes, virtual_terminal.input.data() + virtual_terminal.input_read, n);
  virtual_terminal.input_read += n;
  return static_cast<ssize_t>(n);
}

void virtual_restore() { virtual_terminal.restores++; }
void virtual_resume(ScreenBuffer*) {}

// A new session on the given backend: the next console call makes a fresh buffer.
void reset_session(const TerminalBackend* backend) {
  terminal_session_lock();
  screen_free(&terminal_session.screen);
  terminal_session.screen_ready = false;
  terminal_session.surface = false;
  terminal_session.input_mode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;
  terminal_session.backend = backend;
  terminal_session.output_holds = 0;
  terminal_session.present_pending = false;
  terminal_session.present_full = false;
  terminal_streams_changed_locked();
  terminal_session_unlock();
}

void use_virtual(SHORT width, SHORT height, bool redirected) {
  virtual_terminal = VirtualTerminal{};
  virtual_terminal.width = width;
  virtual_terminal.height = height;
  virtual_terminal.redirected = redirected;
  reset_session(&VIRTUAL_TERMINAL_BACKEND);
}

}  // namespace

const TerminalBackend VIRTUAL_TERMINAL_BACKEND = {
    virtual_stream_is_console, virtual_query_size, virtual_enter_surface, virtual_present,
    virtual_line_output,       virtual_bell,       virtual_set_title,     virtual_write_stream,
    virtual_read_stream,       virtual_restore,    virtual_resume,
};

void terminal_use_virtual(SHORT width, SHORT height) { use_virtual(width, height, false); }

void terminal_use_virtual_redirected(SHORT width, SHORT height) {
  use_virtual(width, height, true);
}

void terminal_use_real() { reset_session(&REAL_TERMINAL_BACKEND); }

ScreenCell terminal_virtual_cell(SHORT x, SHORT y) {
  terminal_session_lock();
  ScreenCell cell{0, 0};
  if (screen_contains(&terminal_session.screen, x, y)) {
    cell = *screen_cell(&terminal_session.screen, x, y);
  }
  terminal_session_unlock();
  return cell;
}

COORD terminal_virtual_cursor() {
  terminal_session_lock();
  COORD at{terminal_session.screen.cursor_x, terminal_session.screen.cursor_y};
  terminal_session_unlock();
  return at;
}

void terminal_virtual_row(SHORT y, char* text, size_t size) {
  if (size == 0) return;
  terminal_session_lock();
  size_t n = 0;
  ScreenBuffer* screen = &terminal_session.screen;
  if (y >= 0 && y < screen->height) {
    for (SHORT x = 0; x < screen->width && n + 1 < size; ++x) {
      text[n++] = static_cast<char>(screen_cell(screen, x, y)->character);
    }
  }
  text[n] = '\0';
  terminal_session_unlock();
}

bool terminal_virtual_is_surface() {
  terminal_session_lock();
  bool surface = terminal_session.surface;
  terminal_session_unlock();
  return surface;
}

const char* terminal_virtual_title() {
  return virtual_terminal.title_set ? virtual_terminal.title.c_str() : nullptr;
}

uint32_t terminal_virtual_bells() { return virtual_terminal.bells; }

const char* terminal_virtual_line_text(size_t* length) {
  *length = virtual_terminal.line_text.size();
  return virtual_terminal.line_text.data();
}

const char* terminal_virtual_captured(size_t* length) {
  *length = virtual_terminal.captured.size();
  return virtual_terminal.captured.data();
}

void terminal_virtual_set_input(const void* bytes, size_t length) {
  virtual_terminal.input.assign(static_cast<const char*>(bytes), length);
  virtual_terminal.input_read = 0;
}

void terminal_virtual_resize(SHORT width, SHORT height) {
  virtual_terminal.width = width;
  virtual_terminal.height = height;
  terminal_session_resized();
}

uint32_t terminal_virtual_restores() { return virtual_terminal.restores; }

uint32_t terminal_virtual_presents() {
  terminal_session_lock();
  uint32_t presents = virtual_terminal.presents;
  terminal_session_unlock();
  return presents;
}
