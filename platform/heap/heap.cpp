// Heaps as lists of malloc'd blocks behind a header, one mutex per heap.
#include "platform/heap/heap.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace {

constexpr uint32_t HEAP_MAGIC = 0x48454150;  // "HEAP"

struct BlockHeader;

struct Heap {
  uint32_t magic;
  size_t maximum;
  std::mutex lock;
  BlockHeader* blocks;
  size_t live_blocks;
  size_t live_bytes;
};

// 32 bytes keeps the payload 16-byte aligned.
struct alignas(16) BlockHeader {
  Heap* heap;
  BlockHeader* next;
  BlockHeader* prev;
  size_t size;
};
static_assert(sizeof(BlockHeader) == 32);

std::atomic<uint64_t> requests{0};
std::atomic<uint64_t> fail_at{0};  // 0: disarmed; else the request number that fails

bool injected_failure() {
  uint64_t n = requests.fetch_add(1) + 1;
  uint64_t target = fail_at.load();
  if (target != 0 && n == target) {
    fail_at.store(0);
    return true;
  }
  return false;
}

Heap* heap_from(HANDLE handle) {
  Heap* heap = reinterpret_cast<Heap*>(handle);
  if (heap == nullptr || heap->magic != HEAP_MAGIC) return nullptr;
  return heap;
}

BlockHeader* header_of(const void* block) {
  return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block)) -
                                        sizeof(BlockHeader));
}

void link(Heap* heap, BlockHeader* h) {
  h->heap = heap;
  h->prev = nullptr;
  h->next = heap->blocks;
  if (heap->blocks) heap->blocks->prev = h;
  heap->blocks = h;
  heap->live_blocks++;
  heap->live_bytes += h->size;
}

void unlink(Heap* heap, BlockHeader* h) {
  if (h->prev) h->prev->next = h->next; else heap->blocks = h->next;
  if (h->next) h->next->prev = h->prev;
  heap->live_blocks--;
  heap->live_bytes -= h->size;
  h->heap = nullptr;
}

bool over_limit(const Heap* heap, size_t extra) {
  return heap->maximum != 0 && heap->live_bytes + extra > heap->maximum;
}

}  // namespace

HANDLE HeapCreate(DWORD, size_t, size_t maximum_size) {
  Heap* heap = new (std::nothrow) Heap;
  if (heap == nullptr) return 0;
  heap->magic = HEAP_MAGIC;
  heap->maximum = maximum_size;
  heap->blocks = nullptr;
  heap->live_blocks = 0;
  heap->live_bytes = 0;
  return reinterpret_cast<HANDLE>(heap);
}

BOOL HeapDestroy(HANDLE handle) {
  Heap* heap = heap_from(handle);
  if (heap == nullptr) return FALSE;
  {
    std::lock_guard<std::mutex> guard(heap->lock);
    BlockHeader* h = heap->blocks;
    while (h) {
      BlockHeader* next = h->next;
      std::free(h);
      h = next;
    }
    heap->blocks = nullptr;
    heap->magic = 0;
  }
  delete heap;
  return TRUE;
}

void* HeapAlloc(HANDLE handle, DWORD flags, size_t bytes) {
  Heap* heap = heap_from(handle);
  if (heap == nullptr) return nullptr;
  if (injected_failure()) return nullptr;
  if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  std::lock_guard<std::mutex> guard(heap->lock);
  if (over_limit(heap, bytes)) return nullptr;
  BlockHeader* h = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
  if (h == nullptr) return nullptr;
  h->size = bytes;
  link(heap, h);
  void* block = h + 1;
  if (flags & HEAP_ZERO_MEMORY) std::memset(block, 0, bytes);
  return block;
}

void* HeapReAlloc(HANDLE handle, DWORD flags, void* block, size_t bytes) {
  Heap* heap = heap_from(handle);
  if (heap == nullptr || block == nullptr) return nullptr;
  if (injected_failure()) return nullptr;
  if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  std::lock_guard<std::mutex> guard(heap->lock);
  BlockHeader* old = header_of(block);
  if (old->heap != heap) return nullptr;
  size_t old_size = old->size;
  if (bytes > old_size && over_limit(heap, bytes - old_size)) return nullptr;
  // realloc leaves the old block intact when it fails; the block is relinked either way.
  unlink(heap, old);
  BlockHeader* h = static_cast<BlockHeader*>(std::realloc(old, sizeof(BlockHeader) + bytes));
  if (h == nullptr) {
    link(heap, old);
    return nullptr;
  }
  if ((flags & HEAP_ZERO_MEMORY) && bytes > old_size) {
    std::memset(reinterpret_cast<char*>(h + 1) + old_size, 0, bytes - old_size);
  }
  h->size = bytes;
  link(heap, h);
  return h + 1;
}

BOOL HeapFree(HANDLE handle, DWORD, void* block) {
  Heap* heap = heap_from(handle);
  if (heap == nullptr || block == nullptr) return FALSE;
  std::lock_guard<std::mutex> guard(heap->lock);
  BlockHeader* h = header_of(block);
  if (h->heap != heap) return FALSE;
  unlink(heap, h);
  std::free(h);
  return TRUE;
}

size_t HeapSize(HANDLE handle, DWORD, const void* block) {
  Heap* heap = heap_from(handle);
  if (heap == nullptr || block == nullptr) return static_cast<size_t>(-1);
  std::lock_guard<std::mutex> guard(heap->lock);
  const BlockHeader* h = header_of(block);
  if (h->heap != heap) return static_cast<size_t>(-1);
  return h->size;
}

HeapStats heap_stats(HANDLE handle) {
  Heap* heap = heap_from(handle);
  if (heap == nullptr) return HeapStats{0, 0};
  std::lock_guard<std::mutex> guard(heap->lock);
  return HeapStats{heap->live_blocks, heap->live_bytes};
}

void heap_fail_request(uint64_t nth_from_now) {
  fail_at.store(nth_from_now == 0 ? 0 : requests.load() + nth_from_now);
}

uint64_t heap_request_count() { return requests.load(); }
