// The sound layer on the capture device for the fuzz targets, and one load of an image
// with everything a loaded sound can then do, checked to give back all it took.
#pragma once

#include <cstddef>
#include <cstdint>

void fuzz_session_start();
// Loads image (exactly size bytes) with flags, plays or refills it, and releases it; aborts
// if anything it allocated is left behind.
void fuzz_load_image(const uint8_t* image, size_t size, uint32_t flags);
