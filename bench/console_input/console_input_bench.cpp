// Raw line input from a redirected file: lines per second through console_read_line_raw
// beside std::getline reading the same 100 MB file of mixed line lengths. The file is
// made in /tmp and removed at the end. Prints the ratio of the two rates.
#include "console/console.h"
#include "console/console_input.h"
#include "platform/heap/heap.h"
#include "platform/terminal/terminal_virtual.h"
#include "runtime/heaps.h"
#include "runtime/strings.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>

void monitor_end_libraries() {}

namespace {

constexpr size_t FILE_BYTES = 100u * 1024 * 1024;
char file_path[] = "/tmp/ostrelin-input-bench-XXXXXX";
bool file_made = false;

void remove_file() {
  if (file_made) unlink(file_path);
  file_made = false;
}

// Mostly short lines, some long ones and a few very long ones; LF and CR LF line ends.
void make_file() {
  int fd = mkstemp(file_path);
  if (fd < 0) abort();
  file_made = true;
  atexit(remove_file);
  std::mt19937 random(20261211);
  std::string block;
  size_t total = 0;
  while (total < FILE_BYTES) {
    block.clear();
    while (block.size() < (1u << 20)) {
      uint32_t kind = random() % 1000;
      size_t length = kind < 900 ? random() % 80 : kind < 995 ? 200 + random() % 1800 : 10000 + random() % 40000;
      for (size_t i = 0; i < length; ++i) block += static_cast<char>('a' + (i * 7 + length) % 26);
      block += (random() % 4 == 0) ? "\r\n" : "\n";
    }
    if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) abort();
    total += block.size();
  }
  close(fd);
}

void BM_ConsoleReadLineRaw(benchmark::State& state) {
  int fd = open(file_path, O_RDONLY);
  int saved = dup(0);
  dup2(fd, 0);
  close(fd);
  int64_t lines = 0;
  for (auto _ : state) {
    lseek(0, 0, SEEK_SET);
    for (;;) {
      result_buffer_release(result_buffer_position);
      char* line = console_read_line_raw(0);
      if (line == nullptr || (line[0] == 4 && result_buffer_position == 1)) break;
      benchmark::DoNotOptimize(line);
      ++lines;
    }
  }
  dup2(saved, 0);
  close(saved);
  state.SetItemsProcessed(lines);
}

void BM_StdGetline(benchmark::State& state) {
  int64_t lines = 0;
  std::string line;
  for (auto _ : state) {
    std::ifstream in(file_path, std::ios::binary);
    while (std::getline(in, line)) {
      benchmark::DoNotOptimize(line.data());
      ++lines;
    }
  }
  state.SetItemsProcessed(lines);
}

BENCHMARK(BM_ConsoleReadLineRaw)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StdGetline)->Unit(benchmark::kMillisecond)->Iterations(3);

// Keeps the line rates so that their ratio can be printed.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto rate = run.counters.find("items_per_second");
      if (rate != run.counters.end()) rates[run.benchmark_name()] = rate->second.value;
    }
  }
  std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
  MainHeap = HeapCreate(0, 4096, 0);
  string_manager_init();
  terminal_use_real();
  console_open();
  make_file();
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double ours = 0, baseline = 0;
  for (const auto& [name, rate] : reporter.rates) {
    if (name.find("ConsoleReadLineRaw") != std::string::npos) ours = rate;
    if (name.find("StdGetline") != std::string::npos) baseline = rate;
  }
  if (ours > 0 && baseline > 0) {
    printf("console_read_line_raw / std::getline lines per second: %.3f\n", ours / baseline);
  }
  remove_file();
  return 0;
}
