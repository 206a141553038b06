// Shared by the console input tests: the runtime a test program needs, standard input
// replaced by a file or by a pipe fed in chunks, and the lines a stream should give.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// MainHeap and the string manager, made once per process.
void input_test_runtime();
// ResultBuffer emptied, so that each result starts at offset 0.
void input_test_empty_result_buffer();
// One line through ConsoleOps-free raw line input at the current fill position, with
// every byte of it (zero bytes too); the fill position is set back afterwards.
std::string input_test_read_line_raw();
// The lines a stream splits into, as the line reader must give them: CR LF, a lone CR
// and a lone LF each end one line; a last line without an end counts.
std::vector<std::string> input_test_expected_lines(const std::string& stream);

constexpr char END_OF_INPUT[] = "\x04";

// Standard input taken from fd (which it closes) until destroyed.
class StandardInputFrom {
 public:
  explicit StandardInputFrom(int fd);
  ~StandardInputFrom();
  StandardInputFrom(const StandardInputFrom&) = delete;
  StandardInputFrom& operator=(const StandardInputFrom&) = delete;

 private:
  int saved_;
};

// A file in /tmp holding bytes, as standard input; removed at once (the open stays).
int input_test_file_with(const std::string& bytes);

// Standard input is a pipe; a thread writes the chunks one after another, each only
// once the reader has taken everything before it, so each read sees at most one chunk.
// After the last chunk the writing end is closed (close_at_end), or kept open.
class ChunkedPipe {
 public:
  ChunkedPipe(std::vector<std::string> chunks, bool close_at_end = true);
  ~ChunkedPipe();
  ChunkedPipe(const ChunkedPipe&) = delete;
  ChunkedPipe& operator=(const ChunkedPipe&) = delete;

 private:
  void feed(std::vector<std::string> chunks, bool close_at_end);
  int read_end_ = -1;
  int write_end_ = -1;
  int saved_ = -1;
  std::atomic<bool> stop_{false};
  std::thread writer_;
};
