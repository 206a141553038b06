// The registry against decoders that record what they are offered: probe order, the file
// rewound between probes, the file closed when nobody takes it, flags passed on, capacity.
#include "sound/decoders/decoder.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// What one recording decoder does when offered a source, and what it saw.
struct Probe {
  bool accept = false;
  int read_before_answer = 0;  // bytes it reads from a file before answering
  int offers = 0;
  uint32_t flags = 0;
  FILE* file = nullptr;
  long position_at_offer = -1;
  std::string first_bytes;
  const uint8_t* data = nullptr;
  int32_t size = -1;
};

constexpr int kProbes = 3;
Probe probes[kProbes];
std::vector<int> offer_order;

struct FakeStream : DecoderStream {
  int made_by;
};

template <int N>
DecoderStream* fake_open(FILE* file, const uint8_t* data, int32_t size, uint32_t flags) {
  Probe& p = probes[N];
  p.offers += 1;
  offer_order.push_back(N);
  p.flags = flags;
  p.file = file;
  p.data = data;
  p.size = size;
  if (file != nullptr) {
    p.position_at_offer = std::ftell(file);
    char buffer[64] = {};
    size_t n = std::fread(buffer, 1, p.read_before_answer > 0 ? p.read_before_answer : 4, file);
    p.first_bytes.assign(buffer, n < 4 ? n : 4);
  }
  if (!p.accept) return nullptr;
  FakeStream* stream = new FakeStream;
  // Left for the registry to fill.
  stream->ops = nullptr;
  stream->file = reinterpret_cast<FILE*>(0x1);
  stream->made_by = N;
  return stream;
}

template <int N>
int32_t fake_read(DecoderStream*, uint8_t* destination, int32_t bytes, uint32_t reserved,
                  uint32_t flags) {
  destination[0] = static_cast<uint8_t>(N);
  return bytes * 1000 + static_cast<int32_t>(reserved) * 10 + static_cast<int32_t>(flags);
}
template <int N> int32_t fake_rewind(DecoderStream*) { return -(N + 1); }
template <int N> int32_t fake_channels(DecoderStream*) { return 100 + N; }
template <int N> int32_t fake_frames(DecoderStream*) { return 200 + N; }
template <int N> int32_t fake_rate(DecoderStream*) { return 300 + N; }
template <int N> int32_t fake_close(DecoderStream* stream) {
  // A file the stream took over is the stream's to close.
  if (stream->file != nullptr) std::fclose(stream->file);
  delete static_cast<FakeStream*>(stream);
  return 400 + N;
}

template <int N>
constexpr DecoderOps fake_ops{fake_open<N>,     fake_read<N>,   fake_rewind<N>, fake_channels<N>,
                              fake_frames<N>,   fake_rate<N>,   fake_close<N>};

int open_descriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') count += 1;
  }
  closedir(dir);
  return count;
}

bool descriptor_open(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

// Each test starts from an empty registry and leaves the process's registry as it was.
class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(saved_table_, decoder_table, sizeof saved_table_);
    saved_count_ = decoder_count;
    decoder_count = 0;
    for (Probe& p : probes) p = Probe{};
    offer_order.clear();
    char name[] = "/tmp/decoder_registry_testXXXXXX";
    int fd = mkstemp(name);
    ASSERT_NE(fd, -1);
    ASSERT_EQ(write(fd, "RIFFdata that no decoder here knows", 35), 35);
    close(fd);
    path_ = name;
  }
  void TearDown() override {
    std::memcpy(decoder_table, saved_table_, sizeof saved_table_);
    decoder_count = saved_count_;
    unlink(path_.c_str());
  }
  std::string path_;

 private:
  const DecoderOps* saved_table_[DECODER_TABLE_CAPACITY];
  int32_t saved_count_ = 0;
};

TEST_F(Registry, FirstAcceptingDecoderInRegistrationOrderWins) {
  EXPECT_EQ(decoder_register(&fake_ops<0>), &fake_ops<0>);
  EXPECT_EQ(decoder_register(&fake_ops<1>), &fake_ops<1>);
  EXPECT_EQ(decoder_register(&fake_ops<2>), &fake_ops<2>);
  probes[1].accept = true;
  probes[2].accept = true;
  const uint8_t data[8] = {1, 2, 3};
  DecoderStream* stream = decoder_open_memory(data, 8, 0);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(offer_order, (std::vector<int>{0, 1}));
  EXPECT_EQ(stream->ops, &fake_ops<1>);
  EXPECT_EQ(stream->file, nullptr);  // a memory source has no file, whatever the decoder left
  EXPECT_EQ(probes[0].data, data);
  EXPECT_EQ(probes[0].size, 8);
  EXPECT_EQ(probes[0].file, nullptr);
  // Every later call reaches the decoder that made the stream, arguments unchanged.
  uint8_t out[4] = {};
  EXPECT_EQ(decoder_read(stream, out, 7, 3, 1), 7031);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(decoder_rewind(stream), -2);
  EXPECT_EQ(decoder_channels(stream), 101);
  EXPECT_EQ(decoder_frames(stream), 201);
  EXPECT_EQ(decoder_rate(stream), 301);
  EXPECT_EQ(decoder_close(stream), 401);
}

TEST_F(Registry, EveryProbeSeesTheFileFromItsFirstByte) {
  decoder_register(&fake_ops<0>);
  decoder_register(&fake_ops<1>);
  decoder_register(&fake_ops<2>);
  probes[0].read_before_answer = 20;  // reads, then refuses
  probes[1].read_before_answer = 9;
  probes[2].accept = true;
  DecoderStream* stream = decoder_open_file(path_.c_str(), 0);
  ASSERT_NE(stream, nullptr);
  for (int i = 0; i < kProbes; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(probes[i].position_at_offer, 0);
    EXPECT_EQ(probes[i].first_bytes, "RIFF");
    EXPECT_EQ(probes[i].data, nullptr);
  }
  EXPECT_EQ(stream->ops, &fake_ops<2>);
  EXPECT_EQ(stream->file, probes[2].file);
  EXPECT_TRUE(descriptor_open(fileno(stream->file)));
  decoder_close(stream);
}

TEST_F(Registry, FileNobodyAcceptsIsClosed) {
  decoder_register(&fake_ops<0>);
  decoder_register(&fake_ops<1>);
  probes[0].read_before_answer = 10;
  int before = open_descriptors();
  EXPECT_EQ(decoder_open_file(path_.c_str(), 0), nullptr);
  EXPECT_EQ(open_descriptors(), before);
  ASSERT_NE(probes[1].file, nullptr);
  EXPECT_EQ(offer_order, (std::vector<int>{0, 1}));
}

TEST_F(Registry, WithNoDecoderNothingOpensAndNothingStaysOpen) {
  const uint8_t data[4] = {};
  EXPECT_EQ(decoder_open_memory(data, 4, 0), nullptr);
  int before = open_descriptors();
  EXPECT_EQ(decoder_open_file(path_.c_str(), 0), nullptr);
  EXPECT_EQ(open_descriptors(), before);
}

TEST_F(Registry, PathThatCannotBeOpenedAsksNoDecoder) {
  decoder_register(&fake_ops<0>);
  probes[0].accept = true;
  EXPECT_EQ(decoder_open_file("/nonexistent/dir/sound.ogg", 0), nullptr);
  EXPECT_EQ(probes[0].offers, 0);
}

TEST_F(Registry, FlagsReachEveryProbeUnchanged) {
  decoder_register(&fake_ops<0>);
  decoder_register(&fake_ops<1>);
  decoder_register(&fake_ops<2>);
  const uint8_t data[4] = {};
  for (uint32_t flags : {0u, 1u, 0x80000005u}) {
    SCOPED_TRACE(flags);
    for (Probe& p : probes) p.flags = 0xdead;
    EXPECT_EQ(decoder_open(nullptr, data, 4, flags), nullptr);
    for (Probe& p : probes) EXPECT_EQ(p.flags, flags);
    for (Probe& p : probes) p.flags = 0xdead;
    EXPECT_EQ(decoder_open(path_.c_str(), nullptr, 0, flags), nullptr);
    for (Probe& p : probes) EXPECT_EQ(p.flags, flags);
  }
}

TEST_F(Registry, SameDecoderTwiceIsOfferedTwice) {
  decoder_register(&fake_ops<0>);
  decoder_register(&fake_ops<0>);
  const uint8_t data[4] = {};
  EXPECT_EQ(decoder_open_memory(data, 4, 0), nullptr);
  EXPECT_EQ(probes[0].offers, 2);
}

TEST_F(Registry, FullTableRefusesWithoutWritingPastIt) {
  for (int i = 0; i < DECODER_TABLE_CAPACITY; ++i) {
    ASSERT_EQ(decoder_register(i % 2 ? &fake_ops<1> : &fake_ops<0>),
              i % 2 ? &fake_ops<1> : &fake_ops<0>);
  }
  EXPECT_EQ(decoder_count, DECODER_TABLE_CAPACITY);
  EXPECT_EQ(decoder_register(&fake_ops<2>), nullptr);
  EXPECT_EQ(decoder_register(&fake_ops<2>), nullptr);
  EXPECT_EQ(decoder_count, DECODER_TABLE_CAPACITY);
  for (int i = 0; i < DECODER_TABLE_CAPACITY; ++i)
    EXPECT_NE(decoder_table[i], &fake_ops<2>) << i;
  // The full table still opens through the decoders it holds.
  probes[1].accept = true;
  const uint8_t data[4] = {};
  DecoderStream* stream = decoder_open_memory(data, 4, 0);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->ops, &fake_ops<1>);
  EXPECT_EQ(probes[2].offers, 0);
  decoder_close(stream);
}

}  // namespace
