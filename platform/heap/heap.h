// Private heaps: growable block pools, each serialised across threads and counted, so that
// tests can check that every layer gives back what it took. Requests can be made to fail
// on purpose (heap_fail_request) to test allocation-failure paths.
#pragma once

#include "platform/base/platform_types.h"

constexpr DWORD HEAP_NO_SERIALIZE = 0x1;
constexpr DWORD HEAP_ZERO_MEMORY = 0x8;

// maximum 0 makes the heap growable without limit; otherwise requests that would take the
// heap's live bytes past maximum fail. Returns 0 on failure.
HANDLE HeapCreate(DWORD options, size_t initial_size, size_t maximum_size);
// Frees every block still in the heap. FALSE for an unknown heap.
BOOL HeapDestroy(HANDLE heap);
// Null on failure (unknown heap, size limit, out of memory, or an injected failure).
void* HeapAlloc(HANDLE heap, DWORD flags, size_t bytes);
// Keeps the contents up to the smaller size; HEAP_ZERO_MEMORY zero-fills the growth.
// On failure returns null and leaves the block as it was.
void* HeapReAlloc(HANDLE heap, DWORD flags, void* block, size_t bytes);
// FALSE for a null block or a block of another heap.
BOOL HeapFree(HANDLE heap, DWORD flags, void* block);
// Size of a live block, or (size_t)-1.
size_t HeapSize(HANDLE heap, DWORD flags, const void* block);

// What a heap holds now.
struct HeapStats {
  size_t live_blocks;
  size_t live_bytes;
};
HeapStats heap_stats(HANDLE heap);

// Failure injection, process-wide over every heap. Each HeapAlloc and HeapReAlloc is one
// request. heap_fail_request(n) makes the n-th request from now fail (n = 1: the next one);
// 0 disarms. heap_request_count() is the number of requests made since the process began.
void heap_fail_request(uint64_t nth_from_now);
uint64_t heap_request_count();
