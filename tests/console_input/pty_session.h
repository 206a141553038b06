// A child process whose standard streams are a pseudo-terminal that the test types into
// as a person would; the child reports what it read through a pipe of its own.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class PtySession {
 public:
  ~PtySession();
  // The child runs body on a terminal of columns x rows and exits when it returns.
  // With output_elsewhere, its standard output is a pipe instead of the terminal.
  void start(const std::function<void()>& body, int columns = 40, int rows = 10,
             bool output_elsewhere = false);
  void type(const std::string& bytes);
  // The child's next report; "<none>" if none came within a guard of some seconds.
  std::string next_report();
  // Waits for the child to end; its wait status, or -1 if it did not end in time.
  int wait_end();
  // The modes of the terminal as they are now.
  struct termios modes() const;
  // The modes the terminal had before the child started.
  struct termios initial_modes() const { return initial_modes_; }
  void resize(int columns, int rows);
  // Everything the child has written to the terminal so far.
  std::string screen_bytes();

 private:
  void drain();
  int master_ = -1;
  int slave_ = -1;
  int reports_ = -1;
  pid_t child_ = -1;
  std::atomic<bool> stop_{false};
  std::thread drainer_;
  std::mutex bytes_lock_;
  std::string bytes_;
  std::string report_buffer_;
  struct termios initial_modes_ {};
};

// In the child: sends one report to the test.
void pty_report(const std::string& message);
// In the child: waits until at least count typed bytes wait on standard input.
void pty_wait_typed(int count);
