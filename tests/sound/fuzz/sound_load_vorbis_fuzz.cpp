// Fuzzes sound loading through the decoder registry (Ogg Vorbis): whole and streaming
// loads, as numbered and dynamic sounds, chosen by the input's last byte.
#include "tests/sound/fuzz/fuzz_session.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_session_start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  fuzz_load_image(data, size - 1, data[size - 1]);
  return 0;
}
