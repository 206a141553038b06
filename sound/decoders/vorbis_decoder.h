// The Ogg Vorbis decoder: the seven decoder operations over libvorbisfile, reading either an
// open FILE or a block of bytes in memory in place through our own source callbacks.
#pragma once

#include "sound/decoders/decoder.h"

// We hand libvorbisfile our own callbacks and use its FILE handling only through ov_open,
// so the header's static callback tables would be unused.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

// Largest byte count asked of one ov_read.
constexpr int32_t VORBIS_READ_CHUNK = 4096;
// Negative ov_read results in a row after which a read gives up and returns what it has:
// holes are skipped one at a time, but an error that repeats would otherwise spin forever.
constexpr int32_t VORBIS_READ_MAX_FAILURES = 64;

// One block from MainHeap per stream; libvorbisfile's state lives inside it.
struct VorbisStream : DecoderStream {
  OggVorbis_File vorbis_file;
  int32_t channel_count;
  int32_t frame_count;
  int32_t sample_rate;
  // Memory source only: the caller's bytes, read in place.
  const uint8_t* mem_data;
  uint32_t mem_pos;
  uint32_t mem_size;
};

extern DecoderOps vorbis_decoder_ops;
extern ov_callbacks vorbis_memory_callbacks;
extern int32_t vorbis_decoder_registered;

// Joins the registry once; later calls do nothing.
void vorbis_decoder_register();

DecoderStream* vorbis_decoder_open(FILE* file, const uint8_t* data, int32_t size, uint32_t flags);
int32_t vorbis_decoder_read(DecoderStream* stream, uint8_t* destination, int32_t bytes,
                            uint32_t reserved, uint32_t flags);
int32_t vorbis_decoder_rewind(DecoderStream* stream);
int32_t vorbis_decoder_channels(DecoderStream* stream);
int32_t vorbis_decoder_frames(DecoderStream* stream);
int32_t vorbis_decoder_rate(DecoderStream* stream);
int32_t vorbis_decoder_close(DecoderStream* stream);

// Memory source callbacks; source is the VorbisStream.
size_t vorbis_mem_read(void* destination, size_t element_size, size_t count, void* source);
int vorbis_mem_seek(void* source, ogg_int64_t offset, int whence);
int vorbis_mem_close(void* source);
long vorbis_mem_tell(void* source);
