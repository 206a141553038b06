// VolumeTable: percent to the attenuation the buffers take, in hundredths of a decibel
// above silence (entry - 10000 is applied). Entries are truncated, not rounded.
#include <cmath>

#include "sound/sound_state.h"

int32_t VolumeTable[VOLUME_TABLE_ENTRIES];

void sound_fill_volume_table() {
  for (int32_t v = 1; v < 100; v++) {
    double level = std::log10(static_cast<double>(1000 * v));
    level = level * 20.0;
    level = level * 100.0;
    VolumeTable[v] = static_cast<int32_t>(level);
  }
  VolumeTable[0] = 0;
  VolumeTable[100] = 10000;
}
