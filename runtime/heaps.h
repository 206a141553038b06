// The program's two private heaps. MainHeap is made by the program's start-up and used by
// the console, sound, decoder and object-table code; StringHeap belongs to the string
// manager.
#pragma once

#include "platform/base/platform_types.h"

extern HANDLE MainHeap;
extern HANDLE StringHeap;
