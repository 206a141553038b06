// Writes the seed corpus of the decoder fuzzer: the alarm clip and a few made streams,
// each followed by the two bytes that choose the request size and the loop flag.
#include "app/alarm_clip.h"
#include "tests/decoders/vorbis_fixture.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::string dir = argv[1];
  mkdir(dir.c_str(), 0755);
  std::vector<Bytes> seeds = {
      Bytes(ALARM_CLIP, ALARM_CLIP + ALARM_CLIP_SIZE),
      encode_vorbis({2, 22050, 5000, 1}),
      chain({encode_vorbis({1, 8000, 3000, 2}), encode_vorbis({3, 16000, 2000, 3})}),
      encode_vorbis({1, 16000, 0, 4}),
  };
  const uint8_t tails[][2] = {{0x80, 0x00}, {0x7f, 0xff}, {0x10, 0x03}, {0x00, 0x05}};
  for (size_t i = 0; i < seeds.size(); ++i) {
    seeds[i].insert(seeds[i].end(), tails[i], tails[i] + 2);
    std::string path = dir + "/seed" + std::to_string(i);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 1;
    std::fwrite(seeds[i].data(), 1, seeds[i].size(), f);
    std::fclose(f);
  }
  return 0;
}
