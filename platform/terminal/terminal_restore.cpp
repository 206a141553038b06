// The one routine that puts the terminal back, and the hooks that run it: at exit, and on
// a crash signal before the signal goes on to the handler that was there before.
#include "platform/terminal/terminal_restore.h"
#include "platform/terminal/terminal_backend.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <termios.h>
#include <unistd.h>

std::atomic<bool> terminal_changed_screen{false};
std::atomic<bool> terminal_changed_colours{false};
std::atomic<bool> terminal_changed_title{false};

namespace {

struct termios saved_modes;
std::atomic<bool> modes_saved{false};
std::atomic<bool> hooks_installed{false};

constexpr int CRASH_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
struct sigaction previous_actions[NSIG];

void append(char* out, size_t* length, const char* text) {
  size_t n = strlen(text);
  memcpy(out + *length, text, n);
  *length += n;
}

void write_all(const char* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = write(TERMINAL_FD, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    bytes += n;
    length -= static_cast<size_t>(n);
  }
}

void crash_handler(int signal_number, siginfo_t* info, void*) {
  int saved_errno = errno;
  terminal_restore_now();
  sigaction(signal_number, &previous_actions[signal_number], nullptr);
  // A signal that was sent is sent again to the handler that was there before; a fault
  // happens again when the faulting instruction is resumed.
  if (info == nullptr || info->si_code <= 0) raise(signal_number);
  errno = saved_errno;
}

void restore_at_exit() { terminal_restore_now(); }

}  // namespace

void terminal_save_modes() {
  if (modes_saved.load()) return;
  if (tcgetattr(TERMINAL_FD, &saved_modes) == 0) modes_saved.store(true);
}

void terminal_restore_now() {
  char sequence[64];
  size_t length = 0;
  bool screen = terminal_changed_screen.exchange(false);
  bool colours = terminal_changed_colours.exchange(false);
  bool title = terminal_changed_title.exchange(false);
  if (screen || colours) append(sequence, &length, "\x1b[0m");
  if (screen) append(sequence, &length, "\x1b[?7h\x1b[?25h\x1b[?1049l");
  if (title) append(sequence, &length, "\x1b[23;0t");
  if (length > 0) write_all(sequence, length);
  if (modes_saved.exchange(false)) tcsetattr(TERMINAL_FD, TCSANOW, &saved_modes);
}

// Room for the crash handler when the fault is the stack running out (in the thread that
// installs the hooks, normally the main thread), unless that thread has such room already.
void give_crash_handler_a_stack() {
  stack_t current;
  if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) return;
  static char crash_stack[64 * 1024];
  stack_t stack;
  stack.ss_sp = crash_stack;
  stack.ss_size = sizeof crash_stack;
  stack.ss_flags = 0;
  sigaltstack(&stack, nullptr);
}

void terminal_install_restore_hooks() {
  if (hooks_installed.exchange(true)) return;
  atexit(restore_at_exit);
  give_crash_handler_a_stack();
  for (int signal_number : CRASH_SIGNALS) {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_sigaction = crash_handler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, &previous_actions[signal_number]);
  }
}
