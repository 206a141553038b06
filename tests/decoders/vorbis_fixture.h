// Ogg Vorbis streams made on the spot for the decoder tests and benchmarks, and an
// independent reference decode through libvorbisfile's own FILE handling.
#pragma once

#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct FixtureStream {
  int channels;
  int rate;
  int frames;
  int serial;
};

// One complete logical stream (headers, audio, end of stream) of a deterministic signal.
Bytes encode_vorbis(const FixtureStream& shape);
// A chained physical stream: the links one after another.
Bytes chain(const std::vector<Bytes>& links);

// Whole decode with plain libvorbisfile reading the bytes straight through (no seeking),
// ov_read in a loop: interleaved 16-bit little-endian PCM of every link.
Bytes reference_decode(const Bytes& ogg);

// Creates MainHeap the way the program does, once per process.
void ensure_main_heap();
