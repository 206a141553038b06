// The Ogg Vorbis decoder on the alarm clip and on streams made here: whole decodes against
// plain libvorbisfile, the loop seam, rewind, reads that must end, refused opens that leave
// nothing behind, the memory source at and past its end, chained streams, FILE sources.
#include "sound/decoders/vorbis_decoder.h"

#include "app/alarm_clip.h"
#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "tests/decoders/vorbis_fixture.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

namespace {

const Bytes& clip() {
  static const Bytes bytes(ALARM_CLIP, ALARM_CLIP + ALARM_CLIP_SIZE);
  return bytes;
}
const Bytes& stereo() {
  static const Bytes bytes = encode_vorbis({2, 44100, 132300, 11});
  return bytes;
}
const Bytes& three_channels() {
  static const Bytes bytes = encode_vorbis({3, 22050, 30000, 12});
  return bytes;
}
// Mono 16 kHz then stereo 44.1 kHz: the first link decides channels and rate.
const Bytes& chained() {
  static const Bytes bytes =
      chain({encode_vorbis({1, 16000, 16000, 21}), encode_vorbis({2, 44100, 66150, 22})});
  return bytes;
}

struct NamedStream {
  const char* name;
  const Bytes& (*bytes)();
};
const NamedStream kStreams[] = {
    {"clip", clip}, {"stereo", stereo}, {"three_channels", three_channels}, {"chained", chained}};

int32_t size_of(const Bytes& b) { return static_cast<int32_t>(b.size()); }

HeapStats main_heap_now() { return heap_stats(MainHeap); }

int open_descriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') count += 1;
  }
  closedir(dir);
  return count;
}

// Reads with a fixed request size of whole frames until a short read, which must be
// followed by 0.
Bytes read_to_end(DecoderStream* stream, int32_t request) {
  Bytes out;
  Bytes buffer(request);
  for (;;) {
    int32_t n = decoder_read(stream, buffer.data(), request, 0, 0);
    EXPECT_GE(n, 0);
    EXPECT_LE(n, request);
    out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    if (n < request) break;
  }
  EXPECT_EQ(decoder_read(stream, buffer.data(), request, 0, 0), 0);
  return out;
}

class VorbisDecoder : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_main_heap();
    vorbis_decoder_register();
    heap_at_start_ = main_heap_now();
  }
  void TearDown() override {
    // Every stream a test opened is closed again: nothing stays in MainHeap.
    HeapStats now = main_heap_now();
    EXPECT_EQ(now.live_blocks, heap_at_start_.live_blocks);
    EXPECT_EQ(now.live_bytes, heap_at_start_.live_bytes);
  }
  DecoderStream* open(const Bytes& b) { return decoder_open_memory(b.data(), size_of(b), 0); }

  HeapStats heap_at_start_{};
};

TEST_F(VorbisDecoder, ClipOpensFromMemoryWithItsHeaderValues) {
  Bytes source = clip();
  DecoderStream* stream = open(source);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->ops, &vorbis_decoder_ops);
  EXPECT_EQ(stream->file, nullptr);
  EXPECT_EQ(decoder_channels(stream), 1);
  EXPECT_EQ(decoder_rate(stream), 16000);
  EXPECT_EQ(decoder_frames(stream), 20160);
  // The way sound loading reads it: frames x channels x 2 bytes in one request.
  Bytes whole(40320 + 64, 0xee);
  EXPECT_EQ(decoder_read(stream, whole.data(), 40320, 0, 0), 40320);
  Bytes expected = reference_decode(clip());
  ASSERT_EQ(expected.size(), 40320u);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), whole.begin()));
  EXPECT_EQ(whole[40320], 0xee);  // nothing written past what was delivered
  EXPECT_EQ(decoder_read(stream, whole.data(), 40320, 0, 0), 0);
  decoder_close(stream);
  EXPECT_EQ(source, clip());  // the caller's bytes are read in place, never changed
}

TEST_F(VorbisDecoder, WholeDecodeMatchesLibvorbisfileForAnyRequestSize) {
  for (const NamedStream& s : kStreams) {
    Bytes expected = reference_decode(s.bytes());
    // Whole frames for every stream here (1, 2 and 3 channels).
    for (int32_t request : {12, 4104, 32760, 1048560}) {
      SCOPED_TRACE(std::string(s.name) + " request " + std::to_string(request));
      DecoderStream* stream = open(s.bytes());
      ASSERT_NE(stream, nullptr);
      EXPECT_EQ(read_to_end(stream, request), expected);
      decoder_close(stream);
    }
  }
}

TEST_F(VorbisDecoder, LoopSeamAddsAndDropsNothing) {
  for (const NamedStream& s : kStreams) {
    SCOPED_TRACE(s.name);
    Bytes once = reference_decode(s.bytes());
    Bytes expected = once;
    expected.insert(expected.end(), once.begin(), once.end());
    expected.insert(expected.end(), once.begin(), once.end());
    // The request size a streaming refill uses, and one that wraps within a single call.
    for (int32_t request : {32760, static_cast<int32_t>(once.size()) * 2 + 1200}) {
      SCOPED_TRACE(request);
      DecoderStream* stream = open(s.bytes());
      ASSERT_NE(stream, nullptr);
      Bytes looped;
      Bytes buffer(request);
      while (looped.size() < 2 * once.size() + 1200) {
        ASSERT_EQ(decoder_read(stream, buffer.data(), request, 0, DECODER_READ_LOOP), request);
        looped.insert(looped.end(), buffer.begin(), buffer.end());
      }
      ASSERT_LE(looped.size(), expected.size());
      EXPECT_TRUE(std::equal(looped.begin(), looped.end(), expected.begin()));
      decoder_close(stream);
    }
  }
}

TEST_F(VorbisDecoder, RewindRepeatsTheFirstRead) {
  for (const NamedStream& s : kStreams) {
    SCOPED_TRACE(s.name);
    DecoderStream* stream = open(s.bytes());
    ASSERT_NE(stream, nullptr);
    Bytes first(12000), again(12000), rest(1 << 20);
    ASSERT_EQ(decoder_read(stream, first.data(), 12000, 0, 0), 12000);
    // Once from the middle, once from the end of the data.
    decoder_read(stream, rest.data(), 30000, 0, 0);
    EXPECT_EQ(decoder_rewind(stream), 0);
    ASSERT_EQ(decoder_read(stream, again.data(), 12000, 0, 0), 12000);
    EXPECT_EQ(again, first);
    while (decoder_read(stream, rest.data(), 1 << 20, 0, 0) > 0) {
    }
    EXPECT_EQ(decoder_rewind(stream), 0);
    ASSERT_EQ(decoder_read(stream, again.data(), 12000, 0, 0), 12000);
    EXPECT_EQ(again, first);
    decoder_close(stream);
  }
}

TEST_F(VorbisDecoder, EmptyOrNegativeRequestReturnsZero) {
  DecoderStream* stream = open(clip());
  ASSERT_NE(stream, nullptr);
  uint8_t canary[8] = {7, 7, 7, 7, 7, 7, 7, 7};
  for (uint32_t flags : {0u, DECODER_READ_LOOP}) {
    EXPECT_EQ(decoder_read(stream, canary, 0, 0, flags), 0);
    EXPECT_EQ(decoder_read(stream, canary, -4, 0, flags), 0);
  }
  EXPECT_EQ(canary[0], 7);
  // Nothing was consumed: the stream still starts at its first sample.
  Bytes expected = reference_decode(clip());
  Bytes head(4096);
  ASSERT_EQ(decoder_read(stream, head.data(), 4096, 0, 0), 4096);
  EXPECT_TRUE(std::equal(head.begin(), head.end(), expected.begin()));
  decoder_close(stream);
}

// Requests that are not a whole number of frames deliver whole frames only and end.
TEST_F(VorbisDecoder, PartFrameRequestsDeliverWholeFramesAndEnd) {
  struct Case {
    const NamedStream* stream;
    int32_t request;
    int32_t delivered;
  };
  const Case cases[] = {
      {&kStreams[1], 32767, 32764}, {&kStreams[1], 3, 0},     {&kStreams[2], 32768, 32766},
      {&kStreams[2], 5, 0},         {&kStreams[2], 4097, 4092}, {&kStreams[0], 4097, 4096},
  };
  for (const Case& c : cases) {
    for (uint32_t flags : {0u, DECODER_READ_LOOP}) {
      SCOPED_TRACE(std::string(c.stream->name) + " " + std::to_string(c.request) + " flags " +
                   std::to_string(flags));
      Bytes expected = reference_decode(c.stream->bytes());
      DecoderStream* stream = open(c.stream->bytes());
      ASSERT_NE(stream, nullptr);
      Bytes buffer(c.request);
      ASSERT_EQ(decoder_read(stream, buffer.data(), c.request, 0, flags), c.delivered);
      EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + c.delivered, expected.begin()));
      decoder_close(stream);
    }
  }
  // Without the loop flag, part-frame reads run to the end and deliver the whole sound.
  DecoderStream* stream = open(stereo());
  ASSERT_NE(stream, nullptr);
  Bytes all, buffer(32767);
  for (int32_t n; (n = decoder_read(stream, buffer.data(), 32767, 0, 0)) > 0;) {
    EXPECT_EQ(n % 4, 0);
    all.insert(all.end(), buffer.begin(), buffer.begin() + n);
  }
  EXPECT_EQ(all, reference_decode(stereo()));
  decoder_close(stream);
}

TEST_F(VorbisDecoder, LoopingReadOfAStreamWithoutAudioEnds) {
  Bytes silent = encode_vorbis({1, 16000, 0, 31});
  DecoderStream* stream = open(silent);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(decoder_frames(stream), 0);
  Bytes buffer(32768);
  EXPECT_EQ(decoder_read(stream, buffer.data(), 32768, 0, DECODER_READ_LOOP), 0);
  EXPECT_EQ(decoder_read(stream, buffer.data(), 32768, 0, 0), 0);
  decoder_close(stream);
}

// A later link with more channels than the first: libvorbisfile refuses every request
// smaller than its frame, the same error each time. The read ends with what it delivered.
TEST_F(VorbisDecoder, PersistentReadErrorEndsTheRead) {
  Bytes mono = encode_vorbis({1, 16000, 1600, 41});
  Bytes wide = chain({mono, encode_vorbis({6, 16000, 1600, 42})});
  for (uint32_t flags : {0u, DECODER_READ_LOOP}) {
    SCOPED_TRACE(flags);
    DecoderStream* stream = open(wide);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(decoder_channels(stream), 1);
    Bytes got;
    uint8_t pair[4];
    for (int32_t n; (n = decoder_read(stream, pair, 4, 0, flags)) > 0;)
      got.insert(got.end(), pair, pair + n);
    EXPECT_EQ(got, reference_decode(mono));
    decoder_close(stream);
  }
}

TEST_F(VorbisDecoder, ChainedStreamReportsFirstLinkAndFramesOfAllLinks) {
  DecoderStream* stream = open(chained());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(decoder_channels(stream), 1);
  EXPECT_EQ(decoder_rate(stream), 16000);
  EXPECT_EQ(decoder_frames(stream), 16000 + 66150);
  read_to_end(stream, 32768);
  EXPECT_EQ(decoder_channels(stream), 1);
  EXPECT_EQ(decoder_rate(stream), 16000);
  EXPECT_EQ(decoder_frames(stream), 16000 + 66150);
  decoder_close(stream);
}

// Pages of a stream, with the granule position of the last page replaced.
Bytes with_last_granule(const Bytes& ogg, int64_t granule) {
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* buffer = ogg_sync_buffer(&sync, static_cast<long>(ogg.size()));
  std::memcpy(buffer, ogg.data(), ogg.size());
  ogg_sync_wrote(&sync, static_cast<long>(ogg.size()));
  std::vector<Bytes> pages;
  ogg_page page;
  while (ogg_sync_pageout(&sync, &page) == 1) {
    Bytes p(page.header, page.header + page.header_len);
    p.insert(p.end(), page.body, page.body + page.body_len);
    pages.push_back(p);
  }
  ogg_sync_clear(&sync);
  Bytes& last = pages.back();
  for (int i = 0; i < 8; ++i) last[6 + i] = static_cast<uint8_t>(static_cast<uint64_t>(granule) >> (8 * i));
  // Fix the checksum so the page is still valid.
  uint8_t header_len = static_cast<uint8_t>(27 + last[26]);
  ogg_page edited{last.data(), header_len, last.data() + header_len,
                  static_cast<long>(last.size()) - header_len};
  ogg_page_checksum_set(&edited);
  return chain(pages);
}

TEST_F(VorbisDecoder, FrameTotalBeyond32BitsSaturates) {
  struct Case {
    int64_t last_granule;
    int32_t frames;
  };
  const Case cases[] = {
      {20160, 20160},
      {INT32_MAX, INT32_MAX},
      {int64_t{1} << 31, INT32_MAX},
      {(int64_t{1} << 32) + 20160, INT32_MAX},  // would wrap to 20160
      {(int64_t{1} << 32) - 10, INT32_MAX},     // would wrap to -10
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.last_granule);
    Bytes edited = with_last_granule(clip(), c.last_granule);
    DecoderStream* stream = open(edited);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(decoder_frames(stream), c.frames);
    decoder_close(stream);
  }
}

TEST_F(VorbisDecoder, RefusedOpenLeavesNothingBehind) {
  Bytes random(4096);
  uint32_t x = 5;
  for (uint8_t& b : random) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  const char riff_text[] = "RIFF\x24\x08\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x80\x3e\0\0\0\x7d\0\0\x02\0\x10\0data";
  Bytes riff(riff_text, riff_text + sizeof riff_text);
  riff.resize(2048, 0);
  Bytes first_page(clip().begin(), clip().begin() + 58);
  Bytes headers_cut(clip().begin(), clip().begin() + 1000);
  Bytes damaged_setup = clip();
  damaged_setup[1500] ^= 0x40;  // the page's checksum no longer holds
  struct Case {
    const char* name;
    const Bytes* bytes;
  };
  const Bytes empty;
  const Case cases[] = {{"empty", &empty},           {"random", &random},
                        {"riff", &riff},             {"identification only", &first_page},
                        {"headers cut", &headers_cut}, {"damaged setup page", &damaged_setup}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeapStats before = main_heap_now();
    EXPECT_EQ(decoder_open_memory(c.bytes->data(), size_of(*c.bytes), 0), nullptr);
    EXPECT_EQ(vorbis_decoder_open(nullptr, c.bytes->data(), size_of(*c.bytes), 0), nullptr);
    EXPECT_EQ(main_heap_now().live_blocks, before.live_blocks);
    EXPECT_EQ(main_heap_now().live_bytes, before.live_bytes);
  }
  // Not a block at all.
  EXPECT_EQ(vorbis_decoder_open(nullptr, nullptr, 100, 0), nullptr);
  EXPECT_EQ(vorbis_decoder_open(nullptr, clip().data(), -1, 0), nullptr);
  EXPECT_EQ(vorbis_decoder_open(nullptr, nullptr, 0, 0), nullptr);
}

TEST_F(VorbisDecoder, AllocationFailureInOpenGivesNull) {
  heap_fail_request(1);
  EXPECT_EQ(open(clip()), nullptr);
  heap_fail_request(0);
  DecoderStream* stream = open(clip());
  ASSERT_NE(stream, nullptr);
  decoder_close(stream);
}

TEST_F(VorbisDecoder, RegisteringTwiceRegistersOnce) {
  const DecoderOps* saved_table[DECODER_TABLE_CAPACITY];
  std::memcpy(saved_table, decoder_table, sizeof saved_table);
  int32_t saved_count = decoder_count;
  decoder_count = 0;
  vorbis_decoder_registered = 0;
  vorbis_decoder_register();
  vorbis_decoder_register();
  EXPECT_EQ(decoder_count, 1);
  EXPECT_EQ(decoder_table[0], &vorbis_decoder_ops);
  EXPECT_EQ(vorbis_decoder_registered, 1);
  EXPECT_EQ(vorbis_memory_callbacks.read_func, &vorbis_mem_read);
  std::memcpy(decoder_table, saved_table, sizeof saved_table);
  decoder_count = saved_count;
}

TEST(VorbisMemorySource, ReadsSeeksAndTellsWithinTheData) {
  uint8_t data[100];
  for (int i = 0; i < 100; ++i) data[i] = static_cast<uint8_t>(i);
  VorbisStream s{};
  s.mem_data = data;
  s.mem_size = 100;
  s.mem_pos = 0;
  uint8_t out[256];
  std::memset(out, 0xee, sizeof out);

  EXPECT_EQ(vorbis_mem_seek(&s, 0, SEEK_END), 0);
  EXPECT_EQ(vorbis_mem_tell(&s), 100);
  EXPECT_EQ(vorbis_mem_read(out, 1, 16, &s), 0u);  // at the end
  EXPECT_EQ(out[0], 0xee);

  EXPECT_EQ(vorbis_mem_seek(&s, 90, SEEK_SET), 0);
  EXPECT_EQ(vorbis_mem_read(out, 1, 64, &s), 10u);  // near the end: only what remains
  EXPECT_EQ(out[0], 90);
  EXPECT_EQ(out[9], 99);
  EXPECT_EQ(out[10], 0xee);
  EXPECT_EQ(vorbis_mem_tell(&s), 100);

  EXPECT_EQ(vorbis_mem_seek(&s, -30, SEEK_END), 0);
  EXPECT_EQ(vorbis_mem_seek(&s, 5, SEEK_CUR), 0);
  EXPECT_EQ(vorbis_mem_tell(&s), 75);
  // The element size is not a multiplier: the count is in bytes.
  EXPECT_EQ(vorbis_mem_read(out, 4, 8, &s), 8u);
  EXPECT_EQ(out[0], 75);
  EXPECT_EQ(vorbis_mem_tell(&s), 83);
  EXPECT_EQ(vorbis_mem_seek(&s, 0, 7), 0);  // unknown origin: position unchanged
  EXPECT_EQ(vorbis_mem_tell(&s), 83);

  EXPECT_EQ(vorbis_mem_close(&s), 0);
  EXPECT_EQ(vorbis_mem_tell(&s), 0);
  EXPECT_EQ(data[50], 50);  // the caller's bytes are never touched
}

TEST(VorbisMemorySource, PositionsOutsideTheDataNeverReadOutOfBounds) {
  uint8_t data[100] = {};
  VorbisStream s{};
  s.mem_data = data;
  s.mem_size = 100;
  uint8_t out[64];
  struct Case {
    const char* name;
    ogg_int64_t offset;
    int whence;
    long position;
  };
  const Case cases[] = {
      {"before the start", -5, SEEK_SET, 0},
      {"far before", -1000, SEEK_CUR, 0},
      {"past the end", 200, SEEK_SET, 100},
      {"past the end from the end", 10, SEEK_END, 100},
      {"low 32 bits would land inside", (int64_t{1} << 32) + 5, SEEK_SET, 100},
      {"huge forward", INT64_MAX, SEEK_CUR, 100},
      {"huge backward", INT64_MIN, SEEK_END, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    s.mem_pos = 50;
    EXPECT_EQ(vorbis_mem_seek(&s, c.offset, c.whence), 0);
    EXPECT_EQ(vorbis_mem_tell(&s), c.position);
    EXPECT_EQ(vorbis_mem_read(out, 1, sizeof out, &s), c.position == 0 ? sizeof out : 0u);
  }
  // A position beyond the end however it got there: nothing is copied.
  s.mem_pos = 150;
  EXPECT_EQ(vorbis_mem_read(out, 1, sizeof out, &s), 0u);
  EXPECT_EQ(s.mem_pos, 150u);
  s.mem_pos = UINT32_MAX;
  EXPECT_EQ(vorbis_mem_read(out, 1, SIZE_MAX, &s), 0u);
}

class VorbisFileSource : public VorbisDecoder {
 protected:
  std::string write_temp(const Bytes& bytes) {
    char name[] = "/tmp/vorbis_decoder_testXXXXXX";
    int fd = mkstemp(name);
    EXPECT_NE(fd, -1);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    paths_.push_back(name);
    return name;
  }
  void TearDown() override {
    for (const std::string& p : paths_) unlink(p.c_str());
    VorbisDecoder::TearDown();
  }
  std::vector<std::string> paths_;
};

TEST_F(VorbisFileSource, FileDecodesLikeMemoryAndIsClosedWithTheStream) {
  std::string path = write_temp(stereo());
  int before = open_descriptors();
  DecoderStream* stream = decoder_open_file(path.c_str(), 0);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->ops, &vorbis_decoder_ops);
  ASSERT_NE(stream->file, nullptr);
  int fd = fileno(stream->file);
  EXPECT_EQ(open_descriptors(), before + 1);
  EXPECT_EQ(decoder_channels(stream), 2);
  EXPECT_EQ(decoder_rate(stream), 44100);
  EXPECT_EQ(decoder_frames(stream), 132300);
  EXPECT_EQ(read_to_end(stream, 32768), reference_decode(stereo()));
  EXPECT_EQ(decoder_rewind(stream), 0);
  decoder_close(stream);
  EXPECT_EQ(open_descriptors(), before);
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
}

TEST_F(VorbisFileSource, RefusedFileStaysOpenForTheCaller) {
  Bytes not_vorbis(3000, 0x55);
  std::string path = write_temp(not_vorbis);
  FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  HeapStats before = main_heap_now();
  EXPECT_EQ(vorbis_decoder_open(file, nullptr, 0, 0), nullptr);
  EXPECT_EQ(main_heap_now().live_blocks, before.live_blocks);
  EXPECT_NE(fcntl(fileno(file), F_GETFD), -1);
  EXPECT_EQ(std::fseek(file, 0, SEEK_SET), 0);
  EXPECT_EQ(std::fgetc(file), 0x55);
  std::fclose(file);

  int descriptors = open_descriptors();
  EXPECT_EQ(decoder_open_file(path.c_str(), 0), nullptr);
  EXPECT_EQ(open_descriptors(), descriptors);
}

// A pipe cannot seek: libvorbisfile knows no total and says so, decoding still works, and a
// looping read ends at the end of the data instead of spinning.
TEST_F(VorbisFileSource, UnseekableFileDecodesOnceAndReportsNoTotal) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], clip().data(), clip().size()), static_cast<ssize_t>(clip().size()));
  close(fds[1]);
  FILE* file = fdopen(fds[0], "rb");
  ASSERT_NE(file, nullptr);
  DecoderStream* stream = vorbis_decoder_open(file, nullptr, 0, 0);
  ASSERT_NE(stream, nullptr);
  stream->ops = &vorbis_decoder_ops;
  stream->file = file;
  EXPECT_EQ(decoder_frames(stream), OV_EINVAL);
  EXPECT_EQ(decoder_channels(stream), 1);
  EXPECT_EQ(decoder_rate(stream), 16000);
  Bytes buffer(100000);
  EXPECT_EQ(decoder_read(stream, buffer.data(), 100000, 0, DECODER_READ_LOOP), 40320);
  buffer.resize(40320);
  EXPECT_EQ(buffer, reference_decode(clip()));
  EXPECT_LT(decoder_rewind(stream), 0);
  decoder_close(stream);
  EXPECT_EQ(fcntl(fds[0], F_GETFD), -1);
}

}  // namespace
