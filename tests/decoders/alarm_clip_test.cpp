// The embedded alarm clip, read with libogg and libvorbis directly: its pages, flags,
// checksums and granules, the stream parameters in its headers, its length and level.
#include "app/alarm_clip.h"
#include "tests/decoders/vorbis_fixture.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Page {
  long size;
  bool bos;
  bool eos;
  int64_t granule;
  long serial;
  std::vector<ogg_packet> packets;  // packets that end on this page
  std::vector<Bytes> packet_bytes;
};

// Splits the clip into pages; ogg_sync_pageout checks every page's checksum and reports
// bytes it had to skip, so a clean split means every page is valid.
std::vector<Page> pages_of_clip(size_t* skipped) {
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* buffer = ogg_sync_buffer(&sync, static_cast<long>(ALARM_CLIP_SIZE));
  std::memcpy(buffer, ALARM_CLIP, ALARM_CLIP_SIZE);
  ogg_sync_wrote(&sync, static_cast<long>(ALARM_CLIP_SIZE));
  ogg_stream_state stream;
  bool stream_ready = false;
  std::vector<Page> pages;
  *skipped = 0;
  ogg_page page;
  for (int r; (r = ogg_sync_pageout(&sync, &page)) != 0;) {
    if (r < 0) {
      *skipped += 1;
      continue;
    }
    if (!stream_ready) {
      ogg_stream_init(&stream, ogg_page_serialno(&page));
      stream_ready = true;
    }
    Page p{page.header_len + page.body_len, ogg_page_bos(&page) != 0, ogg_page_eos(&page) != 0,
           ogg_page_granulepos(&page), ogg_page_serialno(&page), {}, {}};
    EXPECT_EQ(ogg_stream_pagein(&stream, &page), 0);
    ogg_packet packet;
    while (ogg_stream_packetout(&stream, &packet) == 1) {
      p.packet_bytes.emplace_back(packet.packet, packet.packet + packet.bytes);
      p.packets.push_back(packet);
    }
    pages.push_back(std::move(p));
  }
  // Point the copied packets at our own bytes, the stream's buffer is about to go.
  for (Page& p : pages)
    for (size_t i = 0; i < p.packets.size(); ++i) p.packets[i].packet = p.packet_bytes[i].data();
  if (stream_ready) ogg_stream_clear(&stream);
  ogg_sync_clear(&sync);
  return pages;
}

TEST(AlarmClip, EmbedsTheCommittedFileExactly) {
  FILE* file = std::fopen(ALARM_CLIP_OGG_PATH, "rb");
  ASSERT_NE(file, nullptr);
  Bytes committed;
  for (int c; (c = std::fgetc(file)) != EOF;) committed.push_back(static_cast<uint8_t>(c));
  std::fclose(file);
  EXPECT_EQ(Bytes(ALARM_CLIP, ALARM_CLIP + ALARM_CLIP_SIZE), committed);
}

TEST(AlarmClip, IsOneValidLogicalStreamOfPages) {
  EXPECT_GT(ALARM_CLIP_SIZE, 2000u);  // a few kilobytes
  EXPECT_LT(ALARM_CLIP_SIZE, 12000u);
  size_t skipped = 0;
  std::vector<Page> pages = pages_of_clip(&skipped);
  EXPECT_EQ(skipped, 0u);
  ASSERT_GE(pages.size(), 3u);
  long total = 0;
  int64_t last_granule = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(i);
    total += pages[i].size;
    EXPECT_EQ(pages[i].serial, pages[0].serial);
    EXPECT_EQ(pages[i].bos, i == 0);
    EXPECT_EQ(pages[i].eos, i == pages.size() - 1);
    EXPECT_GE(pages[i].granule, last_granule);
    last_granule = pages[i].granule;
  }
  EXPECT_EQ(static_cast<size_t>(total), ALARM_CLIP_SIZE);  // nothing outside the pages
  // The identification header alone on the first page, the other headers on the second.
  ASSERT_EQ(pages[0].packets.size(), 1u);
  EXPECT_EQ(pages[0].packets[0].bytes, 30);
  EXPECT_EQ(pages[0].size, 58);
  EXPECT_EQ(pages[0].granule, 0);
  ASSERT_EQ(pages[1].packets.size(), 2u);
  EXPECT_EQ(pages[1].granule, 0);
  EXPECT_EQ(pages.back().granule, 20160);
}

TEST(AlarmClip, HeadersDescribeMono16kHzAt48kbits) {
  size_t skipped = 0;
  std::vector<Page> pages = pages_of_clip(&skipped);
  ASSERT_GE(pages.size(), 2u);
  vorbis_info info;
  vorbis_comment comment;
  vorbis_info_init(&info);
  vorbis_comment_init(&comment);
  std::vector<ogg_packet*> headers = {&pages[0].packets[0], &pages[1].packets[0],
                                      &pages[1].packets[1]};
  for (ogg_packet* header : headers) EXPECT_EQ(vorbis_synthesis_headerin(&info, &comment, header), 0);
  EXPECT_EQ(info.version, 0);
  EXPECT_EQ(info.channels, 1);
  EXPECT_EQ(info.rate, 16000);
  EXPECT_EQ(info.bitrate_nominal, 48000);
  EXPECT_EQ(info.bitrate_upper, -1);
  EXPECT_EQ(info.bitrate_lower, -1);
  EXPECT_EQ(vorbis_info_blocksize(&info, 0), 512);
  EXPECT_EQ(vorbis_info_blocksize(&info, 1), 1024);
  EXPECT_NE(comment.vendor, nullptr);
  EXPECT_EQ(comment.comments, 1);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
}

TEST(AlarmClip, DecodesTo20160SamplesLoudButUnclipped) {
  Bytes pcm = reference_decode(Bytes(ALARM_CLIP, ALARM_CLIP + ALARM_CLIP_SIZE));
  ASSERT_EQ(pcm.size(), 20160u * 2);
  int peak = 0;
  for (size_t i = 0; i < pcm.size(); i += 2) {
    int s = static_cast<int16_t>(pcm[i] | (pcm[i + 1] << 8));
    peak = std::max(peak, std::abs(s));
  }
  double peak_dbfs = 20 * std::log10(peak / 32768.0);
  EXPECT_GT(peak_dbfs, -3.0);
  EXPECT_LT(peak_dbfs, -1.0);
  // Soft start and end: the first and last milliseconds are quiet.
  for (size_t i = 0; i < 16; ++i) {
    int first = static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
    size_t j = 20160 - 1 - i;
    int last = static_cast<int16_t>(pcm[2 * j] | (pcm[2 * j + 1] << 8));
    EXPECT_LT(std::abs(first), 2000) << i;
    EXPECT_LT(std::abs(last), 2000) << i;
  }
}

}  // namespace
