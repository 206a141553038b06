// Control events from signals. The event signals are blocked in every thread and taken by
// one thread of our own with sigwait, so handlers run in ordinary thread context (they may
// take locks and free memory), never inside a signal handler.
//   SIGHUP  CTRL_CLOSE_EVENT     SIGINT  CTRL_C_EVENT
//   SIGQUIT CTRL_BREAK_EVENT     SIGTERM CTRL_SHUTDOWN_EVENT
//   SIGTSTP puts the terminal back, then stops; SIGCONT takes it over again and redraws;
//   SIGWINCH resizes the screen buffer.
// The signals are blocked before main runs, so every thread the program creates inherits
// the mask; a program's own handlers for them would never run. Programs it starts inherit
// the mask as well and must unblock the signals if they want them.
#include "platform/terminal/terminal.h"
#include "platform/terminal/terminal_backend.h"

#include <atomic>
#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace {

constexpr int EVENT_SIGNALS[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGTSTP, SIGCONT, SIGWINCH};
constexpr int HANDLER_CAPACITY = 64;

pthread_mutex_t handlers_lock = PTHREAD_MUTEX_INITIALIZER;
PHANDLER_ROUTINE handlers[HANDLER_CAPACITY];  // oldest first
int handler_count = 0;
bool ctrl_c_ignored = false;
std::atomic<pid_t> event_thread_process{0};
// This process's id, kept so that the check on every console call costs no system call.
// A fork's child learns its own in after_fork_in_child; 0 until first asked.
std::atomic<pid_t> own_process{0};

pid_t current_process() {
  pid_t pid = own_process.load(std::memory_order_relaxed);
  if (pid == 0) {
    pid = getpid();
    own_process.store(pid, std::memory_order_relaxed);
  }
  return pid;
}

sigset_t event_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : EVENT_SIGNALS) sigaddset(&set, signal_number);
  return set;
}

// The signal's own default action, now that the terminal is back: the exit status then
// shows the signal, as it would have without us.
[[noreturn]] void end_by_default(int signal_number) {
  signal(signal_number, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, signal_number);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  raise(signal_number);
  _exit(128 + signal_number);
}

void stop_by_default() {
  terminal_session_lock_urgent();
  terminal_session.backend->restore();
  signal(SIGTSTP, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, SIGTSTP);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  raise(SIGTSTP);  // the process stops here until SIGCONT
  pthread_sigmask(SIG_BLOCK, &one, nullptr);
  // Taken over again at once: a process group without a shell to continue it is not
  // stopped at all, and must not go on running unseen. The SIGCONT of a real stop has
  // nothing left to do then.
  sigset_t continued;
  sigemptyset(&continued);
  sigaddset(&continued, SIGCONT);
  struct timespec none = {0, 0};
  sigtimedwait(&continued, nullptr, &none);
  if (terminal_session.screen_ready) terminal_session.backend->resume(&terminal_session.screen);
  terminal_session_unlock();
}

bool event_of(int signal_number, DWORD* event) {
  switch (signal_number) {
    case SIGHUP:
      *event = CTRL_CLOSE_EVENT;
      return true;
    case SIGINT:
      *event = CTRL_C_EVENT;
      return true;
    case SIGQUIT:
      *event = CTRL_BREAK_EVENT;
      return true;
    case SIGTERM:
      *event = CTRL_SHUTDOWN_EVENT;
      return true;
    default:
      return false;
  }
}

void deliver(int signal_number) {
  if (signal_number == SIGWINCH) {
    terminal_session_resized();
    return;
  }
  if (signal_number == SIGTSTP) {
    stop_by_default();
    return;
  }
  if (signal_number == SIGCONT) {
    terminal_session_continued();
    return;
  }
  DWORD event;
  if (!event_of(signal_number, &event)) return;
  PHANDLER_ROUTINE chain[HANDLER_CAPACITY];
  pthread_mutex_lock(&handlers_lock);
  int count = handler_count;
  for (int i = 0; i < count; ++i) chain[i] = handlers[count - 1 - i];
  bool ignored = event == CTRL_C_EVENT && ctrl_c_ignored;
  pthread_mutex_unlock(&handlers_lock);
  if (ignored) return;
  for (int i = 0; i < count; ++i) {
    if (chain[i](event)) return;
  }
  terminal_session_restore();
  end_by_default(signal_number);
}

void* event_thread(void*) {
  sigset_t set = event_signal_set();
  for (;;) {
    int signal_number = 0;
    if (sigwait(&set, &signal_number) == 0) deliver(signal_number);
  }
  return nullptr;
}

void start_event_thread() {
  sigset_t set = event_signal_set();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  pthread_t thread;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (pthread_create(&thread, &attributes, event_thread, nullptr) == 0) {
    event_thread_process.store(current_process());
  }
  pthread_attr_destroy(&attributes);
}

// A fork keeps only the forking thread: the child gets an event thread of its own, and
// the locks are taken around the fork so that the child never inherits one held.
void before_fork() {
  pthread_mutex_lock(&terminal_session.lock);
  pthread_mutex_lock(&handlers_lock);
}

void after_fork_in_parent() {
  pthread_mutex_unlock(&handlers_lock);
  pthread_mutex_unlock(&terminal_session.lock);
}

void after_fork_in_child() {
  own_process.store(getpid(), std::memory_order_relaxed);
  // The child may point its standard streams elsewhere before its first console call.
  terminal_streams_changed_locked();
  pthread_mutex_unlock(&handlers_lock);
  pthread_mutex_unlock(&terminal_session.lock);
  event_thread_process.store(0);
  start_event_thread();
}

__attribute__((constructor)) void block_event_signals_before_main() {
  pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
  start_event_thread();
}

}  // namespace

void control_events_ensure() {
  if (event_thread_process.load() != current_process()) {
    pthread_mutex_lock(&handlers_lock);
    if (event_thread_process.load() != current_process()) start_event_thread();
    pthread_mutex_unlock(&handlers_lock);
  }
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add) {
  control_events_ensure();
  pthread_mutex_lock(&handlers_lock);
  BOOL result = TRUE;
  if (routine == nullptr) {
    ctrl_c_ignored = add != FALSE;
  } else if (add) {
    if (handler_count < HANDLER_CAPACITY) {
      handlers[handler_count++] = routine;
    } else {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      result = FALSE;
    }
  } else {
    int at = -1;
    for (int i = handler_count - 1; i >= 0 && at < 0; --i) {
      if (handlers[i] == routine) at = i;
    }
    if (at < 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      result = FALSE;
    } else {
      for (int i = at; i + 1 < handler_count; ++i) handlers[i] = handlers[i + 1];
      handler_count--;
    }
  }
  pthread_mutex_unlock(&handlers_lock);
  return result;
}
