// Runs a piece of code in a child process whose standard streams are a pseudo-terminal,
// and collects every byte the child writes to it, so tests see what a terminal would get.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

class PtyChild {
 public:
  ~PtyChild();
  // The child runs body and ends with status 0 (_exit, no exit handlers) when body
  // returns. The terminal is
  // columns x rows, UTF-8, with output post-processing off so that bytes arrive as sent.
  // redirect_to, when given, becomes the child's standard output instead of the terminal.
  void start(const std::function<void()>& body, int columns = 40, int rows = 10,
             int redirect_to = -1);
  // Reads until the bytes hold text after position from (or the child ends, or a guard
  // of some seconds runs out so that a broken test fails instead of hanging).
  bool read_until(const std::string& text, size_t from = 0);
  // Waits for the child to end and reads what is left; returns the wait status.
  int wait_end();
  bool echo_on() const;
  // The terminal changes size; the kernel tells the child with SIGWINCH.
  void resize(int columns, int rows);
  pid_t pid() const { return child_; }

  std::string bytes;

 private:
  void read_available(int timeout_ms);
  int master_ = -1;
  int slave_ = -1;  // kept open by the parent to read the terminal's modes
  pid_t child_ = -1;
};
