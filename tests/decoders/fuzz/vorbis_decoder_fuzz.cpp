// Fuzzes the Ogg Vorbis decoder from memory: open, the three queries, reads with and
// without looping in request sizes taken from the input's last bytes (part frames
// included), rewind, close. Every read must end and MainHeap must be as it was.
#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "sound/decoders/vorbis_decoder.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MainHeap = HeapCreate(0, 4096, 0);
  vorbis_decoder_register();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > (1u << 20)) return 0;
  // The last two bytes choose the request size and the flags; the rest is the image.
  int32_t request = 1 + ((data[size - 2] << 8 | data[size - 1]) & 0x7fff);
  uint32_t loop = data[size - 1] & 1 ? DECODER_READ_LOOP : 0;
  size -= 2;
  HeapStats before = heap_stats(MainHeap);
  DecoderStream* stream = decoder_open_memory(data, static_cast<int32_t>(size), 0);
  if (stream != nullptr) {
    if (decoder_channels(stream) <= 0 || decoder_rate(stream) <= 0) std::abort();
    static std::vector<uint8_t> buffer(1 << 15);
    for (int pass = 0; pass < 2; ++pass) {
      for (int i = 0; i < 8; ++i) {
        int32_t got = decoder_read(stream, buffer.data(), request, 0, loop);
        if (got < 0 || got > request) std::abort();
        if (got == 0) break;
      }
      decoder_rewind(stream);
    }
    decoder_close(stream);
  }
  HeapStats after = heap_stats(MainHeap);
  if (after.live_blocks != before.live_blocks || after.live_bytes != before.live_bytes) std::abort();
  return 0;
}
