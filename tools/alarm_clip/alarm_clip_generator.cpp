// Makes the program's alarm clip: a two-tone siren synthesised here and encoded as mono
// 16 kHz Ogg Vorbis. The output is reproducible byte for byte (fixed serial, no clock,
// no randomness), so the committed clip can be rebuilt and compared.
//
// Usage: alarm_clip_generator OUTPUT.ogg
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kRate = 16000;
constexpr int kSamples = 20160;  // 1.26 s
constexpr long kNominalBitrate = 48000;
constexpr int kSerial = 0x4f53544c;
// Four tones of 315 ms each: high, low, high, low.
constexpr int kTones = 4;
constexpr double kHighHz = 988.0;
constexpr double kLowHz = 740.0;
constexpr double kGlideSeconds = 0.012;   // frequency change without a click
constexpr double kAttackSeconds = 0.015;  // soft start
constexpr double kReleaseSeconds = 0.060; // soft end
constexpr double kPeak = 0.75;            // about -2.5 dBFS before encoding
// A little of the 2nd and 3rd harmonics makes the tone carry without turning harsh.
constexpr double kHarmonic2 = 0.30;
constexpr double kHarmonic3 = 0.12;
// Audio pages are cut once they hold a second of sound, so a page is never huge.
constexpr ogg_int64_t kPageGranules = kRate;

double raised_cosine(double x) {  // 0 at x <= 0, 1 at x >= 1, smooth between
  if (x <= 0) return 0;
  if (x >= 1) return 1;
  return 0.5 - 0.5 * std::cos(M_PI * x);
}

std::vector<float> synthesise_siren() {
  std::vector<double> wave(kSamples);
  const int tone_samples = kSamples / kTones;
  const double glide = kGlideSeconds * kRate;
  double phase = 0;
  for (int i = 0; i < kSamples; ++i) {
    int tone = i / tone_samples;
    double from = (tone % 2 == 0) ? kLowHz : kHighHz;
    double to = (tone % 2 == 0) ? kHighHz : kLowHz;
    // Glide into this tone at its start (the first tone starts on its own pitch).
    double into = (tone == 0) ? 1 : raised_cosine((i - tone * tone_samples) / glide);
    double hz = from + (to - from) * into;
    phase += 2 * M_PI * hz / kRate;
    if (phase > 2 * M_PI) phase -= 2 * M_PI;
    double s = std::sin(phase) + kHarmonic2 * std::sin(2 * phase) + kHarmonic3 * std::sin(3 * phase);
    double t = static_cast<double>(i) / kRate;
    double end = static_cast<double>(kSamples - 1 - i) / kRate;
    double envelope = raised_cosine(t / kAttackSeconds) * raised_cosine(end / kReleaseSeconds);
    wave[i] = s * envelope;
  }
  double peak = 0;
  for (double s : wave) peak = std::fmax(peak, std::fabs(s));
  std::vector<float> out(kSamples);
  for (int i = 0; i < kSamples; ++i) out[i] = static_cast<float>(wave[i] * kPeak / peak);
  return out;
}

bool write_page(FILE* out, const ogg_page& page) {
  return std::fwrite(page.header, 1, page.header_len, out) == static_cast<size_t>(page.header_len) &&
         std::fwrite(page.body, 1, page.body_len, out) == static_cast<size_t>(page.body_len);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.ogg\n", argv[0]);
    return 2;
  }
  std::vector<float> samples = synthesise_siren();

  vorbis_info info;
  vorbis_info_init(&info);
  // Average bitrate 48 kbit/s with no upper or lower limit.
  if (vorbis_encode_init(&info, 1, kRate, -1, kNominalBitrate, -1) != 0) {
    std::fprintf(stderr, "encoder refused mono %d Hz at %ld bit/s\n", kRate, kNominalBitrate);
    return 1;
  }
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_comment_add_tag(&comment, "TITLE", "Ostrelin alarm");
  vorbis_dsp_state dsp;
  vorbis_block block;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, kSerial);

  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  bool ok = true;
  ogg_page page;
  ogg_packet identification, comments, setup;
  vorbis_analysis_headerout(&dsp, &comment, &identification, &comments, &setup);
  // The identification header alone on the first page, the other two on the next.
  ogg_stream_packetin(&stream, &identification);
  while (ogg_stream_flush(&stream, &page) != 0) ok = ok && write_page(out, page);
  ogg_stream_packetin(&stream, &comments);
  ogg_stream_packetin(&stream, &setup);
  while (ogg_stream_flush(&stream, &page) != 0) ok = ok && write_page(out, page);

  const int step = 1024;
  int fed = 0;
  bool ended = false;
  ogg_int64_t next_cut = kPageGranules;
  while (!ended) {
    if (fed < kSamples) {
      int n = (kSamples - fed < step) ? kSamples - fed : step;
      float** buffer = vorbis_analysis_buffer(&dsp, n);
      for (int i = 0; i < n; ++i) buffer[0][i] = samples[fed + i];
      vorbis_analysis_wrote(&dsp, n);
      fed += n;
    } else {
      // No more input: the last packet's granule becomes the exact sample count.
      vorbis_analysis_wrote(&dsp, 0);
    }
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
        ogg_stream_packetin(&stream, &packet);
        if (packet.e_o_s || packet.granulepos >= next_cut) {
          while (ogg_stream_flush(&stream, &page) != 0) ok = ok && write_page(out, page);
          next_cut += kPageGranules;
        } else {
          while (ogg_stream_pageout(&stream, &page) != 0) ok = ok && write_page(out, page);
        }
        if (packet.e_o_s) ended = true;
      }
    }
  }
  ok = (std::fclose(out) == 0) && ok;

  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  if (!ok) {
    std::fprintf(stderr, "could not write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
