// Pseudo-terminal sessions for the console input tests.
#include "tests/console_input/pty_session.h"

#include "platform/terminal/terminal_virtual.h"

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int GUARD_MS = 10000;
int child_report_fd = -1;

long now_ms() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

}  // namespace

void pty_report(const std::string& message) {
  uint32_t length = static_cast<uint32_t>(message.size());
  std::string packet(reinterpret_cast<const char*>(&length), sizeof length);
  packet += message;
  size_t done = 0;
  while (done < packet.size()) {
    ssize_t n = write(child_report_fd, packet.data() + done, packet.size() - done);
    if (n <= 0) _exit(3);
    done += static_cast<size_t>(n);
  }
}

void pty_wait_typed(int count) {
  long deadline = now_ms() + GUARD_MS;
  while (now_ms() < deadline) {
    int waiting = 0;
    ioctl(0, FIONREAD, &waiting);
    if (waiting >= count) return;
    usleep(1000);
  }
}

PtySession::~PtySession() {
  if (child_ > 0) {
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
  stop_.store(true);
  if (drainer_.joinable()) drainer_.join();
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  if (reports_ >= 0) close(reports_);
}

void PtySession::start(const std::function<void()>& body, int columns, int rows,
                       bool output_elsewhere) {
  struct winsize size = {};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  if (openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) abort();
  tcgetattr(slave_, &initial_modes_);
  int report_pipe[2];
  if (pipe(report_pipe) != 0) abort();
  const char* name = ttyname(slave_);
  child_ = fork();
  if (child_ == 0) {
    setsid();
    int terminal = open(name, O_RDWR);
    ioctl(terminal, TIOCSCTTY, 0);
    dup2(terminal, 0);
    dup2(terminal, 1);
    dup2(terminal, 2);
    if (output_elsewhere) {
      int sink[2];
      if (pipe(sink) != 0) _exit(4);
      dup2(sink[1], 1);
      close(sink[1]);  // the read end stays open in the child, so writes do not fail
    }
    if (terminal > 2) close(terminal);
    close(master_);
    close(slave_);
    close(report_pipe[0]);
    child_report_fd = report_pipe[1];
    setenv("LC_ALL", "C.UTF-8", 1);
    terminal_use_real();
    body();
    exit(0);
  }
  close(report_pipe[1]);
  reports_ = report_pipe[0];
  drainer_ = std::thread(&PtySession::drain, this);
}

void PtySession::drain() {
  int fd = master_;
  for (;;) {
    struct pollfd ready = {fd, POLLIN, 0};
    int result = poll(&ready, 1, 50);
    if (result < 0) return;
    if (stop_.load()) return;
    if (result == 0) continue;
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return;  // the child and its terminal are gone
    std::lock_guard<std::mutex> hold(bytes_lock_);
    bytes_.append(buffer, static_cast<size_t>(n));
  }
}

void PtySession::type(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::string PtySession::next_report() {
  long deadline = now_ms() + GUARD_MS;
  while (now_ms() < deadline) {
    if (report_buffer_.size() >= 4) {
      uint32_t length;
      memcpy(&length, report_buffer_.data(), 4);
      if (report_buffer_.size() >= 4 + length) {
        std::string message = report_buffer_.substr(4, length);
        report_buffer_.erase(0, 4 + length);
        return message;
      }
    }
    struct pollfd ready = {reports_, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0) continue;
    char buffer[4096];
    ssize_t n = read(reports_, buffer, sizeof buffer);
    if (n <= 0) break;
    report_buffer_.append(buffer, static_cast<size_t>(n));
  }
  return "<none>";
}

int PtySession::wait_end() {
  long deadline = now_ms() + GUARD_MS;
  while (child_ > 0 && now_ms() < deadline) {
    int status;
    if (waitpid(child_, &status, WNOHANG) == child_) {
      child_ = -1;
      return status;
    }
    usleep(5000);
  }
  return -1;
}

struct termios PtySession::modes() const {
  struct termios now {};
  tcgetattr(slave_, &now);
  return now;
}

void PtySession::resize(int columns, int rows) {
  struct winsize size = {};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  ioctl(master_, TIOCSWINSZ, &size);
}

std::string PtySession::screen_bytes() {
  std::lock_guard<std::mutex> hold(bytes_lock_);
  return bytes_;
}
