// Writes the seed corpus of one fuzz target into a directory.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/alarm_clip.h"
#include "tests/sound/sound_test_support.h"

namespace {

void write(const std::string& directory, const std::string& name, const Bytes& bytes) {
  std::string path = directory + "/" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

Bytes with_selector(Bytes bytes, uint8_t selector) {
  bytes.push_back(selector);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s target directory\n", argv[0]);
    return 2;
  }
  std::string target = argv[1];
  std::string directory = argv[2];
  std::string parent = directory.substr(0, directory.rfind('/'));
  mkdir(parent.c_str(), 0755);
  mkdir(directory.c_str(), 0755);
  if (target == "sound_load_riff_fuzz") {
    // The images without their leading "RIFF", which the target puts back.
    std::vector<Bytes> images = {
        WavImage().riff().fmt(1, 8000, 16).data(ramp(64)).bytes,
        WavImage().riff().fmt(2, 22050, 16, 18).chunk("LIST", Bytes(5, 'x')).data(ramp(64)).bytes,
        WavImage().riff().fmt(1, 11025, 8).chunk("fact", Bytes(4, 0)).data(ramp(33)).bytes,
    };
    int n = 0;
    for (Bytes& image : images) {
      image.erase(image.begin(), image.begin() + 4);
      write(directory, "wav" + std::to_string(n), with_selector(image, static_cast<uint8_t>(n)));
      n++;
    }
  } else {
    write(directory, "clip", with_selector(Bytes(ALARM_CLIP, ALARM_CLIP + ALARM_CLIP_SIZE), 0));
    write(directory, "mono_stream", with_selector(encode_vorbis({1, 8000, 3000, 1}), 1));
    write(directory, "stereo_dynamic", with_selector(encode_vorbis({2, 11025, 2000, 2}), 2));
    write(directory, "stereo_loop", with_selector(encode_vorbis({2, 8000, 1500, 3}), 5));
  }
  return 0;
}
