// The decoder registry: decoders in registration order, the linear probe that opens a
// source with the first decoder that accepts it, and the dispatch through a stream's ops.
#include "sound/decoders/decoder.h"

const DecoderOps* decoder_table[DECODER_TABLE_CAPACITY];
int32_t decoder_count = 0;

const DecoderOps* decoder_register(const DecoderOps* ops) {
  // A full table refuses rather than writing past its end.
  if (decoder_count < 0 || decoder_count >= DECODER_TABLE_CAPACITY) return nullptr;
  decoder_table[decoder_count] = ops;
  decoder_count += 1;
  return ops;
}

static DecoderStream* decoder_open_from_file(const char* path, uint32_t flags) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
  for (int32_t i = 0; i < decoder_count; ++i) {
    // Every decoder sees the file from its first byte, whatever an earlier probe read.
    std::fseek(file, 0, SEEK_SET);
    DecoderStream* stream = decoder_table[i]->open(file, nullptr, 0, flags);
    if (stream != nullptr) {
      stream->ops = decoder_table[i];
      stream->file = file;
      return stream;
    }
  }
  // Nobody took the file, so it is still ours to close.
  std::fclose(file);
  return nullptr;
}

static DecoderStream* decoder_open_from_memory(const uint8_t* data, int32_t size, uint32_t flags) {
  for (int32_t i = 0; i < decoder_count; ++i) {
    DecoderStream* stream = decoder_table[i]->open(nullptr, data, size, flags);
    if (stream != nullptr) {
      stream->ops = decoder_table[i];
      stream->file = nullptr;
      return stream;
    }
  }
  return nullptr;
}

DecoderStream* decoder_open(const char* path, const uint8_t* data, int32_t size, uint32_t flags) {
  if (path != nullptr) return decoder_open_from_file(path, flags);
  return decoder_open_from_memory(data, size, flags);
}

DecoderStream* decoder_open_memory(const uint8_t* data, int32_t size, uint32_t flags) {
  return decoder_open(nullptr, data, size, flags);
}

DecoderStream* decoder_open_file(const char* path, uint32_t flags) {
  return decoder_open(path, nullptr, 0, flags);
}

int32_t decoder_read(DecoderStream* stream, uint8_t* destination, int32_t bytes, uint32_t reserved,
                     uint32_t flags) {
  return stream->ops->read(stream, destination, bytes, reserved, flags);
}

int32_t decoder_rewind(DecoderStream* stream) { return stream->ops->rewind(stream); }
int32_t decoder_channels(DecoderStream* stream) { return stream->ops->channels(stream); }
int32_t decoder_frames(DecoderStream* stream) { return stream->ops->frames(stream); }
int32_t decoder_rate(DecoderStream* stream) { return stream->ops->rate(stream); }
int32_t decoder_close(DecoderStream* stream) { return stream->ops->close(stream); }
