// The real terminal on standard output: the screen buffer drawn with escape sequences
// (only the cells that changed, in one write per call), the alternate screen while the
// console is a surface, the title on the title stack, and raw-mode text passed through.
#include "platform/terminal/cp437.h"
#include "platform/terminal/terminal.h"
#include "platform/terminal/terminal_backend.h"
#include "platform/terminal/terminal_restore.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int SHOWN_DEFAULT = -1;  // the terminal's own colours
constexpr int SHOWN_UNKNOWN = -2;
constexpr size_t TITLE_MAX = 256;

// What the terminal shows now, as far as we drew it.
struct Front {
  ScreenCell* cells;
  SHORT width;
  SHORT height;
  bool valid;
  int shown_attributes;
  SHORT cursor_x;
  SHORT cursor_y;
};

// Bytes of one call, sent in one write.
struct Output {
  char* bytes;
  size_t length;
  size_t capacity;
  bool failed;
};

Front front = {nullptr, 0, 0, false, SHOWN_DEFAULT, -1, -1};
Output out = {nullptr, 0, 0, false};
char title_text[TITLE_MAX * 4 + 1];
bool title_set = false;
int utf8_terminal = -1;

bool is_utf8_terminal() {
  if (utf8_terminal < 0) {
    const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    const char* locale = "";
    for (const char* name : names) {
      const char* value = getenv(name);
      if (value != nullptr && value[0] != '\0') {
        locale = value;
        break;
      }
    }
    utf8_terminal = (strcasestr(locale, "UTF-8") != nullptr || strcasestr(locale, "utf8") != nullptr) ? 1 : 0;
  }
  return utf8_terminal == 1;
}

void put(const char* bytes, size_t length) {
  if (out.length + length > out.capacity) {
    size_t capacity = out.capacity ? out.capacity : 4096;
    while (capacity < out.length + length) capacity *= 2;
    char* grown = static_cast<char*>(realloc(out.bytes, capacity));
    if (grown == nullptr) {
      out.failed = true;
      return;
    }
    out.bytes = grown;
    out.capacity = capacity;
  }
  memcpy(out.bytes + out.length, bytes, length);
  out.length += length;
}

void put(const char* text) { put(text, strlen(text)); }

void put_glyph(uint8_t byte) {
  if (is_utf8_terminal()) {
    const Cp437Glyph& glyph = cp437_utf8(byte);
    put(glyph.bytes, glyph.length);
  } else {
    char c = (byte >= 0x20 && byte < 0x7f) ? static_cast<char>(byte) : '?';
    put(&c, 1);
  }
}

// Attribute colour bits (blue 1, green 2, red 4) to an ANSI colour index (red 1, green 2,
// blue 4).
int ansi_colour(int colour) {
  return ((colour & 4) ? 1 : 0) | ((colour & 2) ? 2 : 0) | ((colour & 1) ? 4 : 0);
}

// A non-negative number in decimal, without the cost of a formatted print per sequence.
void put_number(int value) {
  char digits[12];
  size_t n = 0;
  unsigned int rest = value > 0 ? static_cast<unsigned int>(value) : 0;
  do {
    digits[sizeof digits - 1 - n++] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest > 0);
  put(digits + sizeof digits - n, n);
}

void put_attributes(WORD attributes) {
  int foreground = attributes & 0xF;
  int background = (attributes >> 4) & 0xF;
  put("\x1b[0;", 4);
  put_number(((foreground & 8) ? 90 : 30) + ansi_colour(foreground));
  put(";", 1);
  put_number(((background & 8) ? 100 : 40) + ansi_colour(background));
  put("m", 1);
}

void put_cursor(SHORT x, SHORT y) {
  put("\x1b[", 2);
  put_number(y + 1);
  put(";", 1);
  put_number(x + 1);
  put("H", 1);
}

void send() {
  const char* bytes = out.bytes;
  size_t length = out.length;
  while (length > 0) {
    ssize_t n = write(TERMINAL_FD, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      struct pollfd ready = {TERMINAL_FD, POLLOUT, 0};
      poll(&ready, 1, 100);
      continue;
    }
    if (n <= 0) break;  // the terminal is gone: nothing more can be shown
    bytes += n;
    length -= static_cast<size_t>(n);
  }
  out.length = 0;
  out.failed = false;
}

bool real_stream_is_console(int fd) {
  if (fd == 0) return isatty(0) == 1;
  if (fd == 1) return isatty(1) == 1;
  return fd == 2 && isatty(2) == 1 && isatty(1) == 1;
}

bool real_query_size(SHORT* width, SHORT* height) {
  struct winsize size;
  if (ioctl(TERMINAL_FD, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
    return false;
  }
  *width = static_cast<SHORT>(size.ws_col > SCREEN_MAX_SIDE ? SCREEN_MAX_SIDE : size.ws_col);
  *height = static_cast<SHORT>(size.ws_row > SCREEN_MAX_SIDE ? SCREEN_MAX_SIDE : size.ws_row);
  return true;
}

// Alternate screen, no autowrap (the bottom-right cell must not scroll), and no echo of
// typed keys over the drawing.
void take_over_screen() {
  terminal_install_restore_hooks();
  terminal_save_modes();
  struct termios modes;
  if (tcgetattr(TERMINAL_FD, &modes) == 0) {
    modes.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
    tcsetattr(TERMINAL_FD, TCSANOW, &modes);
  }
  terminal_changed_screen.store(true);
  put("\x1b[?1049h\x1b[?7l");
  front.valid = false;
  front.shown_attributes = SHOWN_UNKNOWN;
}

void real_enter_surface(ScreenBuffer*) { take_over_screen(); }

void real_present(ScreenBuffer* screen, bool full) {
  // Rows outside the changed ones are as the terminal shows them, unless it shows nothing
  // of ours yet (then everything is drawn).
  SHORT top, bottom;
  bool changed = screen_take_changed_rows(screen, &top, &bottom);
  if (!terminal_changed_screen.load()) {
    out.length = 0;
    front.valid = false;
    return;
  }
  if (front.width != screen->width || front.height != screen->height || front.cells == nullptr) {
    size_t count = static_cast<size_t>(screen->width) * screen->height;
    ScreenCell* cells = static_cast<ScreenCell*>(realloc(front.cells, count * sizeof(ScreenCell)));
    if (cells == nullptr) {
      out.length = 0;
      front.valid = false;
      return;
    }
    front.cells = cells;
    front.width = screen->width;
    front.height = screen->height;
    front.valid = false;
  }
  bool redraw = full || !front.valid;
  if (redraw) {
    top = 0;
    bottom = static_cast<SHORT>(screen->height - 1);
  } else if (!changed) {
    top = 1;
    bottom = 0;
  }
  size_t before = out.length;
  put("\x1b[?25l");
  size_t empty = out.length;
  SHORT x_at = -1, y_at = -1;  // where the terminal's cursor is, when known
  for (SHORT y = top; y <= bottom; ++y) {
    const ScreenCell* row = screen_cell(screen, 0, y);
    ScreenCell* shown_row = &front.cells[static_cast<size_t>(y) * front.width];
    for (SHORT x = 0; x < screen->width; ++x) {
      ScreenCell cell = row[x];
      ScreenCell& shown = shown_row[x];
      if (!redraw && shown.character == cell.character && shown.attributes == cell.attributes) {
        continue;
      }
      if (x != x_at || y != y_at) put_cursor(x, y);
      if (front.shown_attributes != cell.attributes) {
        put_attributes(cell.attributes);
        front.shown_attributes = cell.attributes;
      }
      put_glyph(cell.character);
      shown = cell;
      x_at = x + 1 < screen->width ? static_cast<SHORT>(x + 1) : -1;
      y_at = y;
    }
  }
  bool cells_changed = out.length > empty;
  if (!cells_changed && before == 0 && front.valid && front.cursor_x == screen->cursor_x &&
      front.cursor_y == screen->cursor_y) {
    out.length = 0;  // nothing to show
    return;
  }
  put_cursor(screen->cursor_x, screen->cursor_y);
  put("\x1b[?25h");
  front.cursor_x = screen->cursor_x;
  front.cursor_y = screen->cursor_y;
  front.valid = !out.failed;
  send();
}

void real_line_output(const ScreenBuffer* screen, const uint8_t* bytes, DWORD count) {
  WORD attributes = screen->attributes;
  if (attributes == TERMINAL_INITIAL_ATTRIBUTES) {
    if (front.shown_attributes != SHOWN_DEFAULT) {
      put("\x1b[0m");
      front.shown_attributes = SHOWN_DEFAULT;
    }
  } else if (front.shown_attributes != attributes) {
    terminal_install_restore_hooks();
    terminal_changed_colours.store(true);
    put_attributes(attributes);
    front.shown_attributes = attributes;
  }
  bool processed = (screen->output_mode & ENABLE_PROCESSED_OUTPUT) != 0;
  for (DWORD i = 0; i < count; ++i) {
    uint8_t byte = bytes[i];
    if (processed) {
      if (byte == '\n') {
        // A line feed also returns to column 0, whatever the terminal's output modes.
        put(i > 0 && bytes[i - 1] == '\r' ? "\n" : "\r\n");
        continue;
      }
      if (byte == '\r' || byte == '\b' || byte == '\t' || byte == '\a') {
        char c = static_cast<char>(byte);
        put(&c, 1);
        continue;
      }
    }
    put_glyph(byte);
  }
  send();
}

// Goes out with the drawing that follows it.
void real_bell() { put("\a"); }

// The title without control bytes (they would end or extend the sequence), in the
// terminal's encoding.
void put_title(const char* title) {
  put("\x1b]0;");
  size_t length = strnlen(title, TITLE_MAX);
  for (size_t i = 0; i < length; ++i) {
    uint8_t byte = static_cast<uint8_t>(title[i]);
    if (byte < 0x20 || byte == 0x7f) continue;
    put_glyph(byte);
  }
  put("\x07");
}

bool real_set_title(const char* title) {
  terminal_install_restore_hooks();
  if (!terminal_changed_title.load()) {
    terminal_changed_title.store(true);
    put("\x1b[22;0t");
  }
  size_t length = strnlen(title, TITLE_MAX);
  memcpy(title_text, title, length);
  title_text[length] = '\0';
  title_set = true;
  put_title(title_text);
  send();
  return true;
}

ssize_t real_write_stream(int fd, const void* bytes, size_t count) {
  // A reader that went away is an error of this write, not the end of the process.
  sigset_t pipe_signal, previous;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &previous);
  sigset_t pending_before;
  sigpending(&pending_before);
  ssize_t n = write(fd, bytes, count);
  int error = errno;
  if (n < 0 && error == EPIPE && !sigismember(&pending_before, SIGPIPE)) {
    struct timespec none = {0, 0};
    sigtimedwait(&pipe_signal, nullptr, &none);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return n;
}

ssize_t real_read_stream(int fd, void* bytes, size_t count) { return read(fd, bytes, count); }

void real_restore() {
  out.length = 0;
  terminal_restore_now();
  front.valid = false;
  front.shown_attributes = SHOWN_DEFAULT;
}

void real_resume(ScreenBuffer* screen) {
  if (title_set && !terminal_changed_title.load()) {
    terminal_changed_title.store(true);
    put("\x1b[22;0t");
    put_title(title_text);
  }
  if (terminal_session.surface && !terminal_changed_screen.load()) take_over_screen();
  if (terminal_changed_screen.load()) {
    real_present(screen, true);
  } else {
    send();
  }
}

}  // namespace

const TerminalBackend REAL_TERMINAL_BACKEND = {
    real_stream_is_console, real_query_size, real_enter_surface, real_present,
    real_line_output,       real_bell,       real_set_title,     real_write_stream,
    real_read_stream,       real_restore,    real_resume,
};
