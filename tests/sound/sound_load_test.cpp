// Loading sounds from memory: RIFF/WAVE images of every shape the walk must handle, the
// embedded clip, decoded and streaming sounds, replacing a number and the decoded-size cap.
#include <gtest/gtest.h>

#include <cstring>

#include "app/alarm_clip.h"
#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "sound/riff_wave.h"
#include "sound/sound.h"
#include "sound/sound_state.h"
#include "tests/sound/sound_test_support.h"

namespace {

intptr_t load(intptr_t number, const Bytes& image, uint32_t flags = 0) {
  return sound_load_memory(number, image.data(), static_cast<int32_t>(image.size()), flags);
}

const Samples kSamples = ramp(600);  // 300 stereo frames

struct RiffCase {
  const char* name;
  Bytes image;
  bool loads;
};

std::vector<RiffCase> riff_cases() {
  Bytes samples = sample_bytes(kSamples);
  Bytes odd = {1, 2, 3};
  std::vector<RiffCase> cases;
  cases.push_back({"plain 16-byte format", WavImage().riff().fmt(2, 48000, 16).data(kSamples).bytes, true});
  cases.push_back({"18-byte format with cbSize", WavImage().riff().fmt(2, 48000, 16, 18).data(kSamples).bytes, true});
  cases.push_back({"LIST chunk before data",
                   WavImage().riff().fmt(2, 48000, 16).chunk("LIST", Bytes(26, 'x')).data(kSamples).bytes, true});
  cases.push_back({"odd-sized chunk, padded",
                   WavImage().riff().fmt(2, 48000, 16).chunk("junk", odd).data(kSamples).bytes, true});
  cases.push_back({"RIFF size and form type ignored",
                   WavImage().riff(0xFFFFFFFF, "ABCD").fmt(2, 48000, 16).data(kSamples).bytes, true});
  cases.push_back({"fmt not first",
                   WavImage().riff().chunk("LIST", Bytes(4, 'x')).fmt(2, 48000, 16).data(kSamples).bytes, false});
  cases.push_back({"format chunk of 14 bytes",
                   WavImage().riff().chunk("fmt ", fmt_payload(2, 48000, 16, 14)).data(kSamples).bytes, false});
  cases.push_back({"no data chunk", WavImage().riff().fmt(2, 48000, 16).chunk("LIST", Bytes(8, 0)).bytes, false});
  cases.push_back({"data chunk runs past the image",
                   WavImage().riff().fmt(2, 48000, 16).chunk_declared("data", 1200, Bytes(samples.begin(), samples.begin() + 600)).bytes,
                   false});
  cases.push_back({"chunk size past the image",
                   WavImage().riff().fmt(2, 48000, 16).chunk_declared("LIST", 0xFFFFFFF0, Bytes(8, 0)).bytes, false});
  cases.push_back({"format chunk past the image",
                   WavImage().riff().chunk_declared("fmt ", 4000, fmt_payload(2, 48000, 16, 16)).bytes, false});
  cases.push_back({"empty data chunk", WavImage().riff().fmt(2, 48000, 16).chunk("data", {}).bytes, false});
  cases.push_back({"only the RIFF header", WavImage().riff().bytes, false});
  cases.push_back({"format the device refuses (3-bit)", WavImage().riff().fmt(2, 48000, 3).data(kSamples).bytes, false});
  return cases;
}

TEST(RiffWaveLoad, AcceptsWhatTheWalkCanReachAndRefusesTheRest) {
  CaptureSession session;
  ASSERT_TRUE(session.ready);
  for (const RiffCase& c : riff_cases()) {
    SCOPED_TRACE(c.name);
    // An exact-size copy, so that reading past the image shows under the sanitizers.
    uint8_t* exact = new uint8_t[c.image.size()];
    std::memcpy(exact, c.image.data(), c.image.size());
    intptr_t result = sound_load_memory(0, exact, static_cast<int32_t>(c.image.size()), 0);
    delete[] exact;
    EXPECT_EQ(result != 0, c.loads);
    if (!c.loads) continue;
    SoundEntry* entry = entry_of(0);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->stream, nullptr);
    EXPECT_EQ(as_samples(buffer_bytes(entry->buffer)), kSamples);
    sound_release(0);
  }
}

TEST(RiffWaveLoad, SixteenByteFormatIsCopiedWithoutCbSize) {
  Bytes image = WavImage().riff().fmt(2, 48000, 16).data(kSamples).bytes;
  RiffWaveImage parsed;
  ASSERT_TRUE(riff_wave_parse(image.data(), static_cast<int32_t>(image.size()), &parsed));
  EXPECT_EQ(parsed.format, &parsed.local_format);
  EXPECT_EQ(parsed.format->cbSize, 0);
  EXPECT_EQ(parsed.format->nChannels, 2);
  EXPECT_EQ(parsed.bytes, 1200u);
  // A format that declares extra bytes it does not hold is copied too.
  Bytes fmt = fmt_payload(2, 48000, 16, 18);
  fmt[16] = 40;
  Bytes lying = WavImage().riff().chunk("fmt ", fmt).data(kSamples).bytes;
  ASSERT_TRUE(riff_wave_parse(lying.data(), static_cast<int32_t>(lying.size()), &parsed));
  EXPECT_EQ(parsed.format, &parsed.local_format);
  EXPECT_EQ(parsed.format->cbSize, 0);
}

TEST(RiffWaveLoad, ShortImagesAreNeverReadPast) {
  Bytes image = WavImage().riff().fmt(2, 48000, 16).data(kSamples).bytes;
  RiffWaveImage parsed;
  for (size_t size = 0; size < image.size(); size++) {
    uint8_t* exact = new uint8_t[size + 1];
    std::memcpy(exact, image.data(), size);
    EXPECT_FALSE(riff_wave_parse(exact, static_cast<int32_t>(size), &parsed)) << size;
    delete[] exact;
  }
}

TEST(RiffWaveLoad, StreamFlagStillLoadsWhole) {
  CaptureSession session;
  ASSERT_TRUE(session.ready);
  Bytes wav = make_wav(2, 48000, kSamples);
  ASSERT_NE(load(2, wav, SOUND_LOAD_STREAM), 0);
  SoundEntry* entry = entry_of(2);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->stream, nullptr);
  EXPECT_EQ(entry->stream_bytes, 0u);
}

TEST(WholeLoad, TheAlarmClipBecomes40320BytesOfItsOwnDecode) {
  CaptureSession session;
  ASSERT_TRUE(session.ready);
  ASSERT_NE(sound_load_memory(0, ALARM_CLIP, static_cast<int32_t>(ALARM_CLIP_SIZE), 0), 0);
  SoundEntry* entry = entry_of(0);
  ASSERT_NE(entry, nullptr);
  Bytes clip(ALARM_CLIP, ALARM_CLIP + ALARM_CLIP_SIZE);
  Samples decoded = decode_whole(clip);
  ASSERT_EQ(decoded.size(), 20160u);
  Bytes held = buffer_bytes(entry->buffer);
  EXPECT_EQ(held.size(), 40320u);
  EXPECT_EQ(as_samples(held), decoded);
  EXPECT_EQ(entry->stream, nullptr);
  EXPECT_EQ(entry->frequency, 16000u);
  EXPECT_EQ(entry->volume, 0);
  EXPECT_EQ(entry->pan, 0);
}

TEST(WholeLoad, ReplacesASoundOnlyOnceTheNewOneIsReady) {
  CaptureSession session;
  ASSERT_TRUE(session.ready);
  Bytes first = make_wav(2, 48000, kSamples);
  Bytes refused = WavImage().riff().fmt(2, 48000, 3).data(kSamples).bytes;
  Bytes garbage(64, 0x5A);
  Bytes ogg = encode_vorbis({1, 48000, 30000, 3});
  ASSERT_NE(load(7, first), 0);
  SoundEntry* entry = entry_of(7);
  IDirectSoundBuffer* buffer = entry->buffer;
  EXPECT_EQ(load(7, refused), 0);
  EXPECT_EQ(load(7, garbage), 0);
  Bytes truncated(ogg.begin(), ogg.begin() + 40);
  EXPECT_EQ(load(7, truncated, SOUND_LOAD_STREAM), 0);
  EXPECT_EQ(entry_of(7), entry);
  EXPECT_EQ(entry->buffer, buffer);
  EXPECT_EQ(sound_play(7, 0, -1), 1);

  // A streaming load whose ring buffer the device refuses (nine channels) leaves it too.
  Bytes nine = encode_vorbis({9, 48000, 4000, 4});
  DecoderStream* probe = decoder_open_memory(nine.data(), static_cast<int32_t>(nine.size()), 0);
  ASSERT_NE(probe, nullptr);
  decoder_close(probe);
  EXPECT_EQ(load(7, nine, SOUND_LOAD_STREAM), 0);
  EXPECT_EQ(entry->buffer, buffer);
  EXPECT_EQ(sound_play(7, 0, -1), 1);

  ASSERT_NE(load(7, ogg), 0);
  EXPECT_NE(entry->buffer, buffer);
  EXPECT_EQ(entry->stream, nullptr);
  ASSERT_NE(load(7, ogg, SOUND_LOAD_STREAM), 0);
  EXPECT_NE(entry->stream, nullptr);
  sound_release(7);
  EXPECT_EQ(entry_of(7), nullptr);
  ASSERT_NE(load(7, first), 0);
}

TEST(WholeLoad, TwoDynamicLoadsGiveTwoHandlesThatPlay) {
  CaptureSession session;
  ASSERT_TRUE(session.ready);
  Bytes wav = make_wav(2, 48000, kSamples);
  intptr_t a = load(-1, wav);
  intptr_t b = load(-1, wav);
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(sound_play(a, 0, -1), 1);
  EXPECT_EQ(sound_play(b, 0, -1), 1);
  sound_release(a);
  EXPECT_EQ(sound_play(a, 0, -1), 0);
  EXPECT_EQ(sound_play(b, 0, -1), 1);
}

TEST(WholeLoad, NumbersNeverLoadedFindNothing) {
  CaptureSession session;
  ASSERT_TRUE(session.ready);
  for (intptr_t number : {intptr_t{0}, intptr_t{63}, intptr_t{64}, intptr_t{100000}, intptr_t{-5}}) {
    EXPECT_EQ(sound_play(number, 0, -1), 0) << number;
    sound_stop(number, -1);
    sound_set_volume(number, 10, -1);
    sound_release(number);
  }
  Bytes wav = make_wav(2, 48000, kSamples);
  EXPECT_EQ(load(-2, wav), 0);
  ASSERT_NE(load(100, wav), 0);
  EXPECT_EQ(sound_play(100, 0, -1), 1);
  EXPECT_GE(SoundTable->slot_count, 101);
}

TEST(StreamLoad, KeepsTheDecoderOpenBehindAFixedRingBuffer) {
  CaptureSession session;
  ASSERT_TRUE(session.ready);
  for (int channels : {1, 2}) {
    Bytes ogg = encode_vorbis({channels, 22050, 50000, 5});
    ASSERT_NE(load(1, ogg, SOUND_LOAD_STREAM), 0);
    SoundEntry* entry = entry_of(1);
    ASSERT_NE(entry, nullptr);
    EXPECT_NE(entry->stream, nullptr);
    EXPECT_EQ(entry->stream_bytes, 65536u);
    EXPECT_EQ(entry->pan, 0);
    EXPECT_EQ(entry->frequency, 0u);
    EXPECT_EQ(entry->volume, 0);
    EXPECT_EQ(entry->stream_running.load(), 0);
    EXPECT_EQ(entry->thread_alive.load(), 0);
    EXPECT_EQ(buffer_bytes(entry->buffer).size(), 65536u);
  }
}

// A decoder that claims any length, for the size cap: it accepts images that start
// "HUGE" followed by its channel count and frame count, and decodes silence.
struct HugeStream : DecoderStream {
  int32_t channels;
  int32_t frames;
};
DecoderStream* huge_open(FILE*, const uint8_t* data, int32_t size, uint32_t) {
  if (data == nullptr || size < 12 || std::memcmp(data, "HUGE", 4) != 0) return nullptr;
  HugeStream* stream = static_cast<HugeStream*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, sizeof(HugeStream)));
  if (stream == nullptr) return nullptr;
  std::memcpy(&stream->channels, data + 4, 4);
  std::memcpy(&stream->frames, data + 8, 4);
  return stream;
}
int32_t huge_read(DecoderStream*, uint8_t* destination, int32_t bytes, uint32_t, uint32_t) {
  std::memset(destination, 0x11, static_cast<size_t>(bytes));
  return bytes;
}
int32_t huge_rewind(DecoderStream*) { return 0; }
int32_t huge_channels(DecoderStream* s) { return static_cast<HugeStream*>(s)->channels; }
int32_t huge_frames(DecoderStream* s) { return static_cast<HugeStream*>(s)->frames; }
int32_t huge_rate(DecoderStream*) { return 8000; }
int32_t huge_close(DecoderStream* s) {
  HeapFree(MainHeap, 0, s);
  return 0;
}
const DecoderOps huge_ops = {huge_open, huge_read, huge_rewind, huge_channels, huge_frames, huge_rate, huge_close};

Bytes huge_image(int32_t channels, int32_t frames) {
  Bytes image = {'H', 'U', 'G', 'E', 0, 0, 0, 0, 0, 0, 0, 0};
  std::memcpy(image.data() + 4, &channels, 4);
  std::memcpy(image.data() + 8, &frames, 4);
  return image;
}

TEST(WholeLoad, DecodedSizeIsCutToWholeFramesWithoutOverflow) {
  CaptureSession session;
  ASSERT_TRUE(session.ready);
  static bool registered = decoder_register(&huge_ops) != nullptr;
  ASSERT_TRUE(registered);
  const struct {
    int32_t channels;
    int32_t frames;
    size_t bytes;  // 0: refused
  } rows[] = {
      {1, 1000, 2000},
      {2, 16000000, 64000000},            // exactly the cap
      {2, 16000001, 64000000},
      {2, 1 << 30, 64000000},             // 2^32 bytes: would wrap to 0 in 32 bits
      {2, 0x7FFFFFFF, 64000000},          // would come out negative
      {3, 20000000, 63999996},            // whole 6-byte frames
      {6, 20000000, 63999996},
      {7, 20000000, 63999992},
      {2, 0, 0},
      {2, -5, 0},
      {0, 1000, 0},
  };
  Bytes small = huge_image(1, 10);
  ASSERT_NE(load(3, small), 0);  // the slot's memory stays once claimed
  sound_release(3);
  HeapStats before = heap_stats(MainHeap);
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.channels << " channels, " << row.frames << " frames");
    Bytes image = huge_image(row.channels, row.frames);
    intptr_t result = load(3, image);
    if (row.bytes == 0) {
      EXPECT_EQ(result, 0);
      continue;
    }
    ASSERT_NE(result, 0);
    SoundEntry* entry = entry_of(3);
    Bytes held = buffer_bytes(entry->buffer);
    EXPECT_EQ(held.size(), row.bytes);
    EXPECT_EQ(held.back(), 0x11);
    sound_release(3);
    HeapStats after = heap_stats(MainHeap);
    EXPECT_EQ(after.live_blocks, before.live_blocks);
  }
}

}  // namespace
