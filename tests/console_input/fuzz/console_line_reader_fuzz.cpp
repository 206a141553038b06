// Fuzzes the redirected line reader: the input's first bytes choose how the stream is
// split into reads, the rest is the stream. Every split must give the lines the stream
// holds, then the end mark.
#include "console/console.h"
#include "console/console_input.h"
#include "platform/terminal/terminal_virtual.h"
#include "runtime/strings.h"
#include "tests/console_input/input_support.h"

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) {
    input_test_runtime();
    terminal_use_real();
    memset(static_cast<void*>(&ConsoleState), 0, sizeof ConsoleState);
    console_open();
    ready = true;
  }
  if (size < 2) return 0;
  std::mt19937 random(static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8);
  std::string stream(reinterpret_cast<const char*>(data + 2), size - 2);
  std::vector<std::string> chunks;
  size_t largest = 1 + data[0] % 64 * (data[1] % 4 == 0 ? 100 : 1);
  for (size_t at = 0; at < stream.size();) {
    size_t length = 1 + random() % largest;
    chunks.push_back(stream.substr(at, length));
    at += length;
  }
  std::vector<std::string> expected = input_test_expected_lines(stream);
  ChunkedPipe pipe(chunks);
  input_test_empty_result_buffer();
  for (const std::string& line : expected) {
    if (input_test_read_line_raw() != line) abort();
  }
  if (input_test_read_line_raw() != END_OF_INPUT) abort();
  if (input_test_read_line_raw() != END_OF_INPUT) abort();
  if (ConsoleState.pending_input != nullptr) abort();
  ConsoleState.pending_after_cr = 0;
  return 0;
}
