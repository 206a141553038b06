// The Ogg Vorbis decoder over libvorbisfile: open from a FILE or from memory, whole-frame
// reads with optional looping, rewind, and the memory source that libvorbisfile reads.
#include "sound/decoders/vorbis_decoder.h"

#include "platform/heap/heap.h"
#include "runtime/heaps.h"

#include <climits>
#include <cstring>

DecoderOps vorbis_decoder_ops;
ov_callbacks vorbis_memory_callbacks;
int32_t vorbis_decoder_registered = 0;

static VorbisStream* as_vorbis(DecoderStream* stream) { return static_cast<VorbisStream*>(stream); }
static VorbisStream* as_vorbis(void* source) { return static_cast<VorbisStream*>(source); }

void vorbis_decoder_register() {
  if (vorbis_decoder_registered != 0) return;
  vorbis_decoder_ops.open = vorbis_decoder_open;
  vorbis_decoder_ops.read = vorbis_decoder_read;
  vorbis_decoder_ops.rewind = vorbis_decoder_rewind;
  vorbis_decoder_ops.channels = vorbis_decoder_channels;
  vorbis_decoder_ops.frames = vorbis_decoder_frames;
  vorbis_decoder_ops.rate = vorbis_decoder_rate;
  vorbis_decoder_ops.close = vorbis_decoder_close;
  vorbis_memory_callbacks.read_func = vorbis_mem_read;
  vorbis_memory_callbacks.seek_func = vorbis_mem_seek;
  vorbis_memory_callbacks.close_func = vorbis_mem_close;
  vorbis_memory_callbacks.tell_func = vorbis_mem_tell;
  decoder_register(&vorbis_decoder_ops);
  vorbis_decoder_registered = 1;
}

// A total beyond 32 bits would wrap to a small or negative count; the largest count is the
// honest answer. Error codes (negative) pass through.
static int32_t saturated_frame_count(ogg_int64_t total) {
  if (total > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(total);
}

DecoderStream* vorbis_decoder_open(FILE* file, const uint8_t* data, int32_t size, uint32_t flags) {
  (void)flags;
  // A memory source must be a real block: a negative size or missing bytes would be read
  // out of bounds.
  if (file == nullptr && (size < 0 || (data == nullptr && size != 0))) return nullptr;
  void* block = HeapAlloc(MainHeap, 0, sizeof(VorbisStream));
  if (block == nullptr) return nullptr;
  VorbisStream* stream = static_cast<VorbisStream*>(block);
  int result;
  if (file != nullptr) {
    // On success libvorbisfile owns the FILE and closes it in ov_clear; on failure it
    // leaves it open for the registry.
    result = ov_open(file, &stream->vorbis_file, nullptr, 0);
  } else {
    stream->mem_data = data;
    stream->mem_size = static_cast<uint32_t>(size);
    stream->mem_pos = 0;
    result = ov_open_callbacks(stream, &stream->vorbis_file, nullptr, 0, vorbis_memory_callbacks);
  }
  if (result < 0) {
    HeapFree(MainHeap, 0, block);
    return nullptr;
  }
  // After scanning a chained stream libvorbisfile can start decoding in the second link
  // when the first one's audio fits in one page, losing the whole first link; starting
  // from byte 0 is what rewind does, and it decodes every link.
  if (ov_streams(&stream->vorbis_file) > 1) ov_raw_seek(&stream->vorbis_file, 0);
  vorbis_info* info = ov_info(&stream->vorbis_file, -1);
  stream->channel_count = info->channels;
  stream->frame_count = saturated_frame_count(ov_pcm_total(&stream->vorbis_file, -1));
  stream->sample_rate = static_cast<int32_t>(info->rate);
  return stream;
}

int32_t vorbis_decoder_read(DecoderStream* base, uint8_t* destination, int32_t bytes,
                            uint32_t reserved, uint32_t flags) {
  (void)reserved;
  VorbisStream* stream = as_vorbis(base);
  int32_t frame_bytes = stream->channel_count * 2;
  if (bytes <= 0 || frame_bytes <= 0) return 0;
  // Only whole frames are delivered: libvorbisfile refuses a request below one frame every
  // time, so a trailing part frame could never be filled.
  int32_t wanted = bytes - bytes % frame_bytes;
  int32_t chunk = VORBIS_READ_CHUNK - VORBIS_READ_CHUNK % frame_bytes;
  bool looping = (flags & DECODER_READ_LOOP) != 0;
  int32_t done = 0;
  int32_t failures = 0;
  // Set by a loop seek, cleared by any audio: a second end with nothing in between means
  // the stream yields no audio at all, and looping would spin forever.
  bool looped_without_audio = false;
  while (done < wanted) {
    int32_t length = (wanted - done >= chunk) ? chunk : wanted - done;
    int link = 0;
    long n = ov_read(&stream->vorbis_file, reinterpret_cast<char*>(destination + done), length, 0,
                     2, 1, &link);
    if (n > 0) {
      done += static_cast<int32_t>(n);
      failures = 0;
      looped_without_audio = false;
    } else if (n == 0) {
      if (!looping || looped_without_audio) break;
      ov_raw_seek(&stream->vorbis_file, 0);
      looped_without_audio = true;
    } else {
      // A hole is skipped by the next ov_read; an error that keeps coming ends the read.
      failures += 1;
      if (failures >= VORBIS_READ_MAX_FAILURES) break;
    }
  }
  return done;
}

int32_t vorbis_decoder_rewind(DecoderStream* stream) {
  return ov_raw_seek(&as_vorbis(stream)->vorbis_file, 0);
}

int32_t vorbis_decoder_channels(DecoderStream* stream) { return as_vorbis(stream)->channel_count; }
int32_t vorbis_decoder_frames(DecoderStream* stream) { return as_vorbis(stream)->frame_count; }
int32_t vorbis_decoder_rate(DecoderStream* stream) { return as_vorbis(stream)->sample_rate; }

int32_t vorbis_decoder_close(DecoderStream* stream) {
  // Closes a FILE source through libvorbisfile's own callbacks, or resets a memory source.
  VorbisStream* vorbis = as_vorbis(stream);
  ov_clear(&vorbis->vorbis_file);
  return HeapFree(MainHeap, 0, vorbis);
}

size_t vorbis_mem_read(void* destination, size_t element_size, size_t count, void* source) {
  (void)element_size;
  VorbisStream* stream = as_vorbis(source);
  if (stream->mem_pos >= stream->mem_size) return 0;
  size_t remaining = stream->mem_size - stream->mem_pos;
  size_t n = count < remaining ? count : remaining;
  std::memcpy(destination, stream->mem_data + stream->mem_pos, n);
  stream->mem_pos += static_cast<uint32_t>(n);
  return n;
}

int vorbis_mem_seek(void* source, ogg_int64_t offset, int whence) {
  VorbisStream* stream = as_vorbis(source);
  // Worked out in 64 bits and kept within the data, so no position can wrap around into
  // the middle of the data or point outside it; libvorbisfile only ever seeks inside.
  int64_t base;
  switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = stream->mem_pos; break;
    case SEEK_END: base = stream->mem_size; break;
    default: return 0;
  }
  int64_t target;
  if (__builtin_add_overflow(base, static_cast<int64_t>(offset), &target)) target = INT64_MAX;
  if (target < 0) target = 0;
  if (target > static_cast<int64_t>(stream->mem_size)) target = stream->mem_size;
  stream->mem_pos = static_cast<uint32_t>(target);
  return 0;
}

int vorbis_mem_close(void* source) {
  as_vorbis(source)->mem_pos = 0;
  return 0;
}

long vorbis_mem_tell(void* source) { return static_cast<long>(as_vorbis(source)->mem_pos); }
