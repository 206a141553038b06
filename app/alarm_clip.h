// The alarm sound carried inside the program: one mono 16 kHz Ogg Vorbis clip. The bytes
// come from app/alarm_clip.ogg at build time; the size is the array's own.
#pragma once

#include <cstddef>

extern const unsigned char ALARM_CLIP[];
extern const size_t ALARM_CLIP_SIZE;
