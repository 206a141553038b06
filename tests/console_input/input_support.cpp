// Test support of the console input tests.
#include "tests/console_input/input_support.h"

#include "console/console_input.h"
#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "runtime/strings.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The program's end routine; these tests run without the sound layer.
void monitor_end_libraries() {}

void input_test_runtime() {
  if (MainHeap == 0) MainHeap = HeapCreate(0, 4096, 0);
  if (ResultBuffer == nullptr) string_manager_init();
}

void input_test_empty_result_buffer() { result_buffer_release(result_buffer_position); }

std::string input_test_read_line_raw() {
  int32_t offset = result_buffer_position;
  char* q = console_read_line_raw(offset);
  if (q == nullptr) return "<no result>";
  std::string line(q, static_cast<size_t>(result_buffer_position - offset));
  result_buffer_release(result_buffer_position - offset);
  return line;
}

std::vector<std::string> input_test_expected_lines(const std::string& stream) {
  std::vector<std::string> lines;
  std::string current;
  bool open = false;
  for (size_t i = 0; i < stream.size(); ++i) {
    char c = stream[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(current);
      current.clear();
      open = false;
      if (c == '\r' && i + 1 < stream.size() && stream[i + 1] == '\n') ++i;
    } else {
      current += c;
      open = true;
    }
  }
  if (open) lines.push_back(current);
  return lines;
}

StandardInputFrom::StandardInputFrom(int fd) : saved_(dup(0)) {
  dup2(fd, 0);
  close(fd);
}

StandardInputFrom::~StandardInputFrom() {
  dup2(saved_, 0);
  close(saved_);
}

int input_test_file_with(const std::string& bytes) {
  char path[] = "/tmp/ostrelin-input-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) abort();
  unlink(path);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) abort();
    done += static_cast<size_t>(n);
  }
  lseek(fd, 0, SEEK_SET);
  return fd;
}

ChunkedPipe::ChunkedPipe(std::vector<std::string> chunks, bool close_at_end) {
  int ends[2];
  if (pipe(ends) != 0) abort();
  read_end_ = ends[0];
  write_end_ = ends[1];
  fcntl(write_end_, F_SETFL, fcntl(write_end_, F_GETFL) | O_NONBLOCK);
  saved_ = dup(0);
  dup2(read_end_, 0);
  writer_ = std::thread(&ChunkedPipe::feed, this, std::move(chunks), close_at_end);
}

ChunkedPipe::~ChunkedPipe() {
  stop_.store(true);
  writer_.join();
  if (write_end_ >= 0) close(write_end_);
  dup2(saved_, 0);
  close(saved_);
  close(read_end_);
}

void ChunkedPipe::feed(std::vector<std::string> chunks, bool close_at_end) {
  for (const std::string& chunk : chunks) {
    size_t done = 0;
    while (done < chunk.size() && !stop_.load()) {
      // Writes never block for long: a reader that stopped early must not hang the test.
      struct pollfd ready = {write_end_, POLLOUT, 0};
      if (poll(&ready, 1, 20) <= 0) continue;
      ssize_t n = write(write_end_, chunk.data() + done, chunk.size() - done);
      if (n > 0) done += static_cast<size_t>(n);
    }
    // Wait until the reader has taken it all.
    for (;;) {
      int waiting = 0;
      ioctl(read_end_, FIONREAD, &waiting);
      if (waiting == 0 || stop_.load()) break;
      usleep(20);
    }
    if (stop_.load()) return;
  }
  if (close_at_end) {
    close(write_end_);
    write_end_ = -1;
  }
}
