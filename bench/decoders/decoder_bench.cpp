// Whole decode of a 20 s stereo stream from memory: our decoder (registry open, whole-frame
// reads of the size sound loading uses) against a plain ov_read loop over the same bytes
// with the same 4096-byte pieces, which is the baseline. Their ratio should be 1.
#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "sound/decoders/vorbis_decoder.h"
#include "tests/decoders/vorbis_fixture.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

const Bytes& long_stream() {
  static const Bytes bytes = encode_vorbis({2, 44100, 44100 * 20, 7});
  return bytes;
}

struct PlainSource {
  const Bytes* bytes;
  size_t pos;
};

size_t plain_read(void* destination, size_t, size_t count, void* source) {
  PlainSource* s = static_cast<PlainSource*>(source);
  size_t n = count < s->bytes->size() - s->pos ? count : s->bytes->size() - s->pos;
  std::memcpy(destination, s->bytes->data() + s->pos, n);
  s->pos += n;
  return n;
}
int plain_seek(void* source, ogg_int64_t offset, int whence) {
  PlainSource* s = static_cast<PlainSource*>(source);
  int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<int64_t>(s->pos)
                                                             : static_cast<int64_t>(s->bytes->size());
  int64_t target = base + offset;
  if (target < 0 || target > static_cast<int64_t>(s->bytes->size())) return -1;
  s->pos = static_cast<size_t>(target);
  return 0;
}
long plain_tell(void* source) { return static_cast<long>(static_cast<PlainSource*>(source)->pos); }

void plain_ov_read_loop(benchmark::State& state) {
  const Bytes& ogg = long_stream();
  Bytes pcm(44100 * 20 * 4 + 4096);
  for (auto _ : state) {
    PlainSource source{&ogg, 0};
    OggVorbis_File vf;
    ov_open_callbacks(&source, &vf, nullptr, 0, ov_callbacks{plain_read, plain_seek, nullptr, plain_tell});
    size_t done = 0;
    for (;;) {
      int link = 0;
      long n = ov_read(&vf, reinterpret_cast<char*>(pcm.data() + done), 4096, 0, 2, 1, &link);
      if (n == 0) break;
      if (n > 0) done += static_cast<size_t>(n);
    }
    ov_clear(&vf);
    benchmark::DoNotOptimize(pcm.data());
    if (done != 44100u * 20 * 4) state.SkipWithError("plain decode came out short");
  }
  state.SetBytesProcessed(state.iterations() * 44100 * 20 * 4);
}

void vorbis_decoder_read_whole(benchmark::State& state) {
  const Bytes& ogg = long_stream();
  if (MainHeap == 0) MainHeap = HeapCreate(0, 4096, 0);
  vorbis_decoder_register();
  Bytes pcm(44100 * 20 * 4);
  for (auto _ : state) {
    DecoderStream* stream = decoder_open_memory(ogg.data(), static_cast<int32_t>(ogg.size()), 0);
    int32_t bytes = decoder_frames(stream) * decoder_channels(stream) * 2;
    int32_t got = decoder_read(stream, pcm.data(), bytes, 0, 0);
    decoder_close(stream);
    benchmark::DoNotOptimize(pcm.data());
    if (got != static_cast<int32_t>(pcm.size())) state.SkipWithError("decode came out short");
  }
  state.SetBytesProcessed(state.iterations() * 44100 * 20 * 4);
}

}  // namespace

BENCHMARK(plain_ov_read_loop)->Unit(benchmark::kMillisecond);
BENCHMARK(vorbis_decoder_read_whole)->Name("vorbis_decoder_read")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
