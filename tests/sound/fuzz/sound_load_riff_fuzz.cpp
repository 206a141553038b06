// Fuzzes the RIFF/WAVE path of sound loading: every input is taken as what follows "RIFF".
#include <cstring>
#include <vector>

#include "tests/sound/fuzz/fuzz_session.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_session_start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size image, so that any read past it is caught.
  uint8_t* image = new uint8_t[size + 4];
  std::memcpy(image, "RIFF", 4);
  if (size > 0) std::memcpy(image + 4, data, size);
  fuzz_load_image(image, size + 4, size > 0 ? data[size - 1] : 0);
  delete[] image;
  return 0;
}
