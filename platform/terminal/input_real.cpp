// Key bytes and edited lines from the real terminal on standard input. Single keys are
// read with the terminal's line editing and echo off; lines with the terminal's own
// editing and echo, as the input mode says. Modes are saved before the first change so
// that the terminal is put back on the way out.
#include "platform/terminal/input_source.h"
#include "platform/terminal/terminal_backend.h"
#include "platform/terminal/terminal_restore.h"

#include <cerrno>
#include <cstdlib>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int INPUT_FD = 0;
constexpr char END_OF_INPUT_LINE[] = {26, '\r', '\n'};

// When standard input is another terminal than the one drawn on, its modes are saved
// and put back here; otherwise the restore routine of the output terminal does it.
struct termios own_saved_modes;
bool own_modes_saved = false;

void restore_own_modes() { tcsetattr(INPUT_FD, TCSANOW, &own_saved_modes); }

bool input_is_output_terminal() {
  struct stat in, out;
  return isatty(TERMINAL_FD) == 1 && fstat(INPUT_FD, &in) == 0 && fstat(TERMINAL_FD, &out) == 0 &&
         in.st_rdev == out.st_rdev;
}

void save_before_change() {
  if (input_is_output_terminal()) {
    terminal_install_restore_hooks();
    terminal_save_modes();
    return;
  }
  if (own_modes_saved) return;
  if (tcgetattr(INPUT_FD, &own_saved_modes) == 0) {
    own_modes_saved = true;
    atexit(restore_own_modes);
  }
}

DWORD current_input_mode() {
  terminal_session_lock();
  DWORD mode = terminal_session.input_mode;
  terminal_session_unlock();
  return mode;
}

// Sets the terminal up for single keys (line false) or for a line read, as the input
// mode says. The modes are looked at every time, since a stop and a restore may have
// changed them behind our back. False when standard input is no terminal (any more, as
// after a dup2): what the streams were found to be is forgotten, and nothing is read.
bool apply_modes(bool line) {
  struct termios now;
  if (tcgetattr(INPUT_FD, &now) != 0) {
    if (errno != ENOTTY && errno != EBADF) return true;
    terminal_streams_changed();
    return false;
  }
  struct termios want = now;
  DWORD mode = current_input_mode();
  bool editing = line && (mode & ENABLE_LINE_INPUT) != 0;
  if (editing) {
    want.c_lflag |= ICANON | IEXTEN;
    want.c_iflag |= ICRNL;
    if (mode & ENABLE_ECHO_INPUT) {
      want.c_lflag |= ECHO | ECHOE | ECHOK;
    } else {
      want.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    }
  } else {
    want.c_lflag &= ~static_cast<tcflag_t>(ICANON | IEXTEN | ECHO | ECHONL);
    want.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
    want.c_cc[VMIN] = line ? 1 : 0;
    want.c_cc[VTIME] = 0;
  }
  if (mode & ENABLE_PROCESSED_INPUT) {
    want.c_lflag |= ISIG;
  } else {
    want.c_lflag &= ~static_cast<tcflag_t>(ISIG);
  }
  bool same = want.c_lflag == now.c_lflag && want.c_iflag == now.c_iflag &&
              (editing || (want.c_cc[VMIN] == now.c_cc[VMIN] && want.c_cc[VTIME] == now.c_cc[VTIME]));
  if (same) return true;
  save_before_change();
  tcsetattr(INPUT_FD, TCSANOW, &want);
  return true;
}

bool real_wait_keys(int timeout_ms) {
  if (!apply_modes(false)) return false;
  struct pollfd ready = {INPUT_FD, POLLIN, 0};
  return poll(&ready, 1, timeout_ms) > 0;
}

ssize_t real_read_keys(uint8_t* bytes, size_t count) {
  if (!apply_modes(false)) return 0;  // the next console call finds the stream changed
  struct pollfd ready = {INPUT_FD, POLLIN, 0};
  int result = poll(&ready, 1, 0);
  if (result <= 0) return 0;
  bool hung_up = (ready.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  if ((ready.revents & POLLIN) == 0) return hung_up ? -1 : 0;
  ssize_t n = read(INPUT_FD, bytes, count);
  if (n > 0) return n;
  if (n == 0) return hung_up ? -1 : 0;
  return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
}

BOOL real_read_line(char* bytes, DWORD count, DWORD* read_count) {
  if (!apply_modes(true)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  bool editing = (current_input_mode() & ENABLE_LINE_INPUT) != 0;
  // One byte stays free so that the line end can become CR LF.
  DWORD limit = editing && count > 2 ? count - 1 : count;
  ssize_t n;
  for (;;) {
    n = read(INPUT_FD, bytes, limit);
    if (n >= 0 || errno == EIO) break;
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      struct pollfd ready = {INPUT_FD, POLLIN, 0};
      poll(&ready, 1, -1);
      continue;
    }
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  if (n <= 0) {
    // End of input at the start of a line, or the terminal went away.
    DWORD length = count < sizeof END_OF_INPUT_LINE ? count : sizeof END_OF_INPUT_LINE;
    for (DWORD i = 0; i < length; ++i) bytes[i] = END_OF_INPUT_LINE[i];
    *read_count = length;
    return TRUE;
  }
  DWORD length = static_cast<DWORD>(n);
  // Keys typed while single keys were read come unmapped: their Enter is a CR.
  char last = bytes[length - 1];
  if (editing && (last == '\n' || last == '\r') && length < count) {
    bytes[length - 1] = '\r';
    bytes[length++] = '\n';
  }
  *read_count = length;
  return TRUE;
}

}  // namespace

const InputSource REAL_INPUT_SOURCE = {real_wait_keys, real_read_keys, real_read_line};

bool terminal_input_end_is_broken_pipe(int fd) {
  terminal_session_lock();
  bool real = terminal_session.backend == &REAL_TERMINAL_BACKEND;
  terminal_session_unlock();
  if (!real) return false;
  struct stat info;
  return fstat(fd, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
}
