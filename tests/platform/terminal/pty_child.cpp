// A child process on a pseudo-terminal of its own.
#include "tests/platform/terminal/pty_child.h"

#include "platform/terminal/terminal_virtual.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int GUARD_MS = 15000;

long now_ms() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

}  // namespace

PtyChild::~PtyChild() {
  if (child_ > 0) {
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
}

void PtyChild::start(const std::function<void()>& body, int columns, int rows, int redirect_to) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  grantpt(master_);
  unlockpt(master_);
  const char* name = ptsname(master_);
  struct winsize size = {};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  ioctl(master_, TIOCSWINSZ, &size);
  slave_ = open(name, O_RDWR | O_NOCTTY);
  struct termios modes;
  tcgetattr(slave_, &modes);
  modes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  modes.c_lflag |= ECHO;
  tcsetattr(slave_, TCSANOW, &modes);
  child_ = fork();
  if (child_ == 0) {
    setsid();
    int terminal = open(name, O_RDWR);
    ioctl(terminal, TIOCSCTTY, 0);
    dup2(terminal, 0);
    dup2(redirect_to >= 0 ? redirect_to : terminal, 1);
    dup2(terminal, 2);
    if (terminal > 2) close(terminal);
    close(master_);
    close(slave_);
    setenv("LC_ALL", "C.UTF-8", 1);
    terminal_use_real();
    body();
    // Not exit: the parent's leak checker would look at the threads a fork left behind.
    // The test of the exit path calls exit itself.
    _exit(0);
  }
}

void PtyChild::read_available(int timeout_ms) {
  struct pollfd ready = {master_, POLLIN, 0};
  while (poll(&ready, 1, timeout_ms) > 0) {
    char buffer[4096];
    ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return;
    bytes.append(buffer, static_cast<size_t>(n));
    timeout_ms = 0;
  }
}

bool PtyChild::read_until(const std::string& text, size_t from) {
  long deadline = now_ms() + GUARD_MS;
  while (now_ms() < deadline) {
    read_available(50);
    if (bytes.find(text, from) != std::string::npos) return true;
    int status;
    if (waitpid(child_, &status, WNOHANG) == child_) {
      child_ = -1;
      read_available(100);
      return bytes.find(text, from) != std::string::npos;
    }
  }
  return false;
}

int PtyChild::wait_end() {
  long deadline = now_ms() + GUARD_MS;
  int status = -1;
  while (child_ > 0 && now_ms() < deadline) {
    read_available(20);
    if (waitpid(child_, &status, WNOHANG) == child_) child_ = -1;
  }
  read_available(100);
  return status;
}

bool PtyChild::echo_on() const {
  struct termios modes;
  tcgetattr(slave_, &modes);
  return (modes.c_lflag & ECHO) != 0;
}

void PtyChild::resize(int columns, int rows) {
  struct winsize size = {};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  ioctl(master_, TIOCSWINSZ, &size);
}
