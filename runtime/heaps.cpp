// Storage of the two heap handles; the program's start-up fills MainHeap.
#include "runtime/heaps.h"

HANDLE MainHeap = 0;
HANDLE StringHeap = 0;
