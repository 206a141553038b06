// Builds small Ogg Vorbis streams with libvorbisenc and decodes them with plain
// libvorbisfile, so tests can compare our decoder against the library used directly.
#include "tests/decoders/vorbis_fixture.h"

#include "platform/heap/heap.h"
#include "runtime/heaps.h"

#include <vorbis/vorbisenc.h>
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void append_page(Bytes& out, const ogg_page& page) {
  out.insert(out.end(), page.header, page.header + page.header_len);
  out.insert(out.end(), page.body, page.body + page.body_len);
}

// A few drifting tones per channel plus a little noise, so no two stretches are alike.
float sample_at(int frame, int channel, int rate, uint32_t& noise) {
  double t = static_cast<double>(frame) / rate;
  double base = 220.0 * (channel + 1);
  double s = 0.4 * std::sin(2 * M_PI * base * t) + 0.2 * std::sin(2 * M_PI * (base * 2.7 + 40 * t) * t);
  noise = noise * 1664525u + 1013904223u;
  s += 0.05 * (static_cast<int32_t>(noise) / 2147483648.0);
  return static_cast<float>(s);
}

}  // namespace

Bytes encode_vorbis(const FixtureStream& shape) {
  Bytes out;
  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, shape.channels, shape.rate, 0.1f) != 0) std::abort();
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_block block;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, shape.serial);
  ogg_packet id, com, setup;
  vorbis_analysis_headerout(&dsp, &comment, &id, &com, &setup);
  ogg_stream_packetin(&stream, &id);
  ogg_stream_packetin(&stream, &com);
  ogg_stream_packetin(&stream, &setup);
  ogg_page page;
  while (ogg_stream_flush(&stream, &page) != 0) append_page(out, page);

  uint32_t noise = static_cast<uint32_t>(shape.serial);
  int fed = 0;
  for (;;) {
    bool last = fed >= shape.frames;
    if (!last) {
      int n = shape.frames - fed < 1024 ? shape.frames - fed : 1024;
      float** buffer = vorbis_analysis_buffer(&dsp, n);
      for (int i = 0; i < n; ++i)
        for (int c = 0; c < shape.channels; ++c)
          buffer[c][i] = sample_at(fed + i, c, shape.rate, noise);
      vorbis_analysis_wrote(&dsp, n);
      fed += n;
    } else {
      vorbis_analysis_wrote(&dsp, 0);
    }
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
        ogg_stream_packetin(&stream, &packet);
        while (ogg_stream_pageout(&stream, &page) != 0) append_page(out, page);
      }
    }
    if (last) break;
  }
  while (ogg_stream_flush(&stream, &page) != 0) append_page(out, page);
  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return out;
}

Bytes chain(const std::vector<Bytes>& links) {
  Bytes out;
  for (const Bytes& link : links) out.insert(out.end(), link.begin(), link.end());
  return out;
}

namespace {

struct Cursor {
  const Bytes* bytes;
  size_t pos;
};

size_t cursor_read(void* destination, size_t size, size_t count, void* source) {
  Cursor* c = static_cast<Cursor*>(source);
  size_t n = size * count;
  if (n > c->bytes->size() - c->pos) n = c->bytes->size() - c->pos;
  std::memcpy(destination, c->bytes->data() + c->pos, n);
  c->pos += n;
  return n;
}

}  // namespace

// Without a seek function libvorbisfile plays the data straight through, link after link,
// with none of the seeking it does when it can: an independent account of the content.
Bytes reference_decode(const Bytes& ogg) {
  Bytes pcm;
  Cursor cursor{&ogg, 0};
  ov_callbacks straight_through{cursor_read, nullptr, nullptr, nullptr};
  OggVorbis_File vf;
  if (ov_open_callbacks(&cursor, &vf, nullptr, 0, straight_through) != 0) std::abort();
  char buffer[4096];
  for (;;) {
    int link = 0;
    long n = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &link);
    if (n == 0) break;
    if (n < 0) continue;
    pcm.insert(pcm.end(), buffer, buffer + n);
  }
  ov_clear(&vf);
  return pcm;
}

void ensure_main_heap() {
  if (MainHeap == 0) MainHeap = HeapCreate(0, 4096, 0);
}
