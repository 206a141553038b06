// The decoder interface and registry: each format's decoder registers a table of seven
// operations; an open offers the source to every decoder in turn, and the stream it yields
// remembers which decoder made it, so callers never know the format.
#pragma once

#include "platform/base/platform_types.h"

#include <cstdio>

constexpr int32_t DECODER_TABLE_CAPACITY = 100;
constexpr uint32_t DECODER_READ_LOOP = 1;

struct DecoderStream;

struct DecoderOps {
  DecoderStream* (*open)(FILE* file, const uint8_t* data, int32_t size, uint32_t flags);
  int32_t (*read)(DecoderStream* stream, uint8_t* destination, int32_t bytes, uint32_t reserved,
                  uint32_t flags);
  int32_t (*rewind)(DecoderStream* stream);
  int32_t (*channels)(DecoderStream* stream);
  int32_t (*frames)(DecoderStream* stream);
  int32_t (*rate)(DecoderStream* stream);
  int32_t (*close)(DecoderStream* stream);
};

// Common head of every decoder's stream; the decoder's own state follows.
struct DecoderStream {
  const DecoderOps* ops;
  FILE* file;
};

extern const DecoderOps* decoder_table[DECODER_TABLE_CAPACITY];
extern int32_t decoder_count;

// Returns ops, or null when the table is full (nothing is written then).
const DecoderOps* decoder_register(const DecoderOps* ops);
DecoderStream* decoder_open(const char* path, const uint8_t* data, int32_t size, uint32_t flags);
DecoderStream* decoder_open_memory(const uint8_t* data, int32_t size, uint32_t flags);
DecoderStream* decoder_open_file(const char* path, uint32_t flags);

int32_t decoder_read(DecoderStream* stream, uint8_t* destination, int32_t bytes, uint32_t reserved,
                     uint32_t flags);
int32_t decoder_rewind(DecoderStream* stream);
int32_t decoder_channels(DecoderStream* stream);
int32_t decoder_frames(DecoderStream* stream);
int32_t decoder_rate(DecoderStream* stream);
int32_t decoder_close(DecoderStream* stream);
