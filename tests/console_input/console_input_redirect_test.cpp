// Raw line input from a redirected standard input (files and pipes): line ends, the end
// of input, zero bytes, long lines that grow ResultBuffer, reads split anywhere, and
// allocation failures.
#include "console/console.h"
#include "console/console_input.h"
#include "platform/heap/heap.h"
#include "platform/terminal/terminal_virtual.h"
#include "runtime/heaps.h"
#include "runtime/strings.h"
#include "tests/console_input/input_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

struct RedirectedInput : ::testing::Test {
  void SetUp() override {
    input_test_runtime();
    terminal_use_real();
    memset(static_cast<void*>(&ConsoleState), 0, sizeof ConsoleState);
    console_open();
    input_test_empty_result_buffer();
  }
  void TearDown() override {
    if (ConsoleState.pending_input != nullptr) HeapFree(MainHeap, 0, ConsoleState.pending_input);
    ConsoleState.pending_input = nullptr;
  }
  // Lines until the end of input, and the end mark twice more.
  static Lines read_all(size_t limit = 100000) {
    Lines lines;
    for (size_t i = 0; i < limit; ++i) {
      std::string line = input_test_read_line_raw();
      if (line == END_OF_INPUT) break;
      lines.push_back(line);
    }
    EXPECT_EQ(input_test_read_line_raw(), END_OF_INPUT);
    EXPECT_EQ(input_test_read_line_raw(), END_OF_INPUT);
    return lines;
  }
};

// Each stream read whole from a file and from a pipe, and split one byte per read.
struct StreamCase {
  const char* name;
  std::string bytes;
  Lines lines;
};

std::vector<StreamCase> stream_cases() {
  return {
      {"line ends of every kind", std::string("a\r\nb\nc\rd"), {"a", "b", "c", "d"}},
      {"last line without an end", "first\nlast", {"first", "last"}},
      {"LF CR is two line ends", "a\n\rb\n", {"a", "", "b"}},
      {"empty lines", "\n\r\n\r", {"", "", ""}},
      {"nothing at all", "", {}},
      {"CR CR LF", "x\r\r\ny", {"x", "", "y"}},
      {"zero bytes stay in their lines", std::string("x\nab\0cd\nef\0\n\0", 13),
       {"x", std::string("ab\0cd", 5), std::string("ef\0", 3), std::string("\0", 1)}},
  };
}

TEST_F(RedirectedInput, FilesGiveTheirLinesThenTheEndMarkForEver) {
  for (const StreamCase& c : stream_cases()) {
    SCOPED_TRACE(c.name);
    StandardInputFrom in(input_test_file_with(c.bytes));
    EXPECT_EQ(read_all(), c.lines);
  }
}

TEST_F(RedirectedInput, PipesGiveTheSameLinesWhenTheirWriterHasGone) {
  for (const StreamCase& c : stream_cases()) {
    SCOPED_TRACE(c.name);
    ChunkedPipe pipe({c.bytes});
    EXPECT_EQ(read_all(), c.lines);
  }
}

TEST_F(RedirectedInput, ReadsOfOneByteGiveTheSameLines) {
  for (const StreamCase& c : stream_cases()) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> chunks;
    for (char byte : c.bytes) chunks.emplace_back(1, byte);
    ChunkedPipe pipe(chunks);
    EXPECT_EQ(read_all(), c.lines);
  }
}

TEST_F(RedirectedInput, ACrEndingOneReadWhoseLfComesWithTheNextEndsOneLine) {
  ChunkedPipe pipe({"one\r", "\ntwo\r", "\n", "three\n"});
  EXPECT_EQ(read_all(), (Lines{"one", "two", "three"}));
}

TEST_F(RedirectedInput, ACrAtTheEndOfTheKeptRemainderWaitsForItsLf) {
  // The first read brings "a" and "b\r"; the LF of b's line end comes with the next read.
  ChunkedPipe pipe({"a\nb\r", "\nc\n"});
  EXPECT_EQ(read_all(), (Lines{"a", "b", "c"}));
}

TEST_F(RedirectedInput, AnOpenPipeGivesEachLineAsItComes) {
  // The writer stays: a line is returned without waiting for what follows it.
  ChunkedPipe pipe({"ready\r"}, false);
  EXPECT_EQ(input_test_read_line_raw(), "ready");
}

TEST_F(RedirectedInput, VeryLongLinesGrowResultBuffer) {
  std::string huge(100000, 'q');
  huge[0] = 'A';
  huge[99999] = 'Z';
  std::string middle(5000, 'm');
  std::string stream = huge + "\n" + middle + "\r\nend";
  for (int kind = 0; kind < 2; ++kind) {
    SCOPED_TRACE(kind == 0 ? "file" : "pipe");
    std::unique_ptr<StandardInputFrom> file;
    std::unique_ptr<ChunkedPipe> pipe;
    if (kind == 0) {
      file = std::make_unique<StandardInputFrom>(input_test_file_with(stream));
    } else {
      pipe = std::make_unique<ChunkedPipe>(std::vector<std::string>{stream.substr(0, 70000), stream.substr(70000)});
    }
    EXPECT_EQ(read_all(), (Lines{huge, middle, "end"}));
    EXPECT_GT(result_buffer_capacity, 100000);
  }
}

TEST_F(RedirectedInput, ALineReadAtAnOffsetLeavesWhatLiesBeforeIt) {
  // An earlier result that the caller keeps, its terminating zero included.
  char* earlier = result_buffer_reserve(5, 0);
  memcpy(earlier, "keep", 5);
  std::string long_line(30000, 'x');
  StandardInputFrom in(input_test_file_with(long_line + "\nshort\n"));
  EXPECT_EQ(input_test_read_line_raw(), long_line);
  EXPECT_EQ(result_buffer_position, 5);
  EXPECT_STREQ(ResultBuffer, "keep");
  char* q = console_read_line_raw(5);
  EXPECT_EQ(q, ResultBuffer + 5);
  EXPECT_STREQ(q, "short");
  EXPECT_EQ(result_buffer_position, 10);
  EXPECT_STREQ(ResultBuffer, "keep");
}

TEST_F(RedirectedInput, ARemainderWithoutABlockIsDroppedSafely) {
  // ResultBuffer is grown first, so that the next heap request is the remainder's block.
  result_buffer_reserve(100000, 0);
  input_test_empty_result_buffer();
  StandardInputFrom in(input_test_file_with("a\nb\nc\n"));
  heap_fail_request(1);
  EXPECT_EQ(input_test_read_line_raw(), "a");
  heap_fail_request(0);
  EXPECT_EQ(ConsoleState.pending_input, nullptr);
  EXPECT_EQ(ConsoleState.pending_length, 0);
  // The rest of that read is gone; the stream goes on from the next read.
  EXPECT_EQ(input_test_read_line_raw(), END_OF_INPUT);
}

TEST_F(RedirectedInput, ALineThatCannotGrowItsAreaComesInPiecesWithNothingLost) {
  std::string line(10000, 'w');
  line[4095] = '!';
  StandardInputFrom in(input_test_file_with(line + "\nafter\n"));
  // The line starts where its first 4096 bytes just fit, so that its first growth needs
  // a larger block, and that request fails.
  result_buffer_reserve(8200, 0);
  int32_t offset = result_buffer_capacity - 4096 - 5;
  input_test_empty_result_buffer();
  result_buffer_reserve(offset, 0);
  heap_fail_request(1);
  std::string first = input_test_read_line_raw();
  heap_fail_request(0);
  EXPECT_EQ(first.size(), 4096u);
  EXPECT_EQ(first.back(), '!');
  EXPECT_EQ(first + input_test_read_line_raw(), line);
  EXPECT_EQ(input_test_read_line_raw(), "after");
}

TEST_F(RedirectedInput, WhenResultBufferCannotGrowNoInputIsTaken) {
  StandardInputFrom in(input_test_file_with("kept\n"));
  int32_t offset = result_buffer_capacity - 10;
  result_buffer_reserve(offset, 0);
  heap_fail_request(1);
  EXPECT_EQ(console_read_line_raw(offset), nullptr);
  heap_fail_request(0);
  EXPECT_EQ(result_buffer_position, offset);
  input_test_empty_result_buffer();
  EXPECT_EQ(input_test_read_line_raw(), "kept");
}

// The same bytes through a pipe in any chunking give the same lines.
TEST_F(RedirectedInput, LinesDoNotDependOnHowTheStreamIsSplitIntoReads) {
  const char alphabet[] = {'a', 'b', 'c', '\r', '\n', '\r', '\n', '\0'};
  for (uint32_t seed = 1; seed <= 150; ++seed) {
    std::mt19937 random(seed);
    size_t length = random() % (seed % 10 == 0 ? 20000 : 1500);
    std::string stream;
    for (size_t i = 0; i < length; ++i) {
      // Mostly letters, with runs of line ends.
      stream += random() % 3 == 0 ? alphabet[3 + random() % 5] : alphabet[random() % 3];
    }
    std::vector<std::string> chunks;
    for (size_t at = 0; at < stream.size();) {
      size_t size = 1 + random() % (random() % 4 == 0 ? 6000 : 40);
      chunks.push_back(stream.substr(at, size));
      at += size;
    }
    SCOPED_TRACE("seed " + std::to_string(seed));
    ChunkedPipe pipe(chunks);
    EXPECT_EQ(read_all(), input_test_expected_lines(stream));
    ASSERT_FALSE(HasFailure());
  }
}

}  // namespace
