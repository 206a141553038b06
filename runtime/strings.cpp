// String copies and ResultBuffer, both in StringHeap.
#include "runtime/strings.h"

#include <cstring>

#include "platform/heap/heap.h"
#include "runtime/heaps.h"

char* ResultBuffer = nullptr;
int32_t result_buffer_position = 0;
int32_t result_buffer_capacity = 0;

char* string_manager_init() {
  StringHeap = HeapCreate(0, 4096, 0);
  result_buffer_position = 0;
  result_buffer_capacity = RESULT_BUFFER_INITIAL;
  ResultBuffer = static_cast<char*>(HeapAlloc(StringHeap, 0, RESULT_BUFFER_INITIAL));
  return ResultBuffer;
}

void string_manager_shutdown() {
  HeapFree(StringHeap, 0, ResultBuffer);
  ResultBuffer = nullptr;
  HeapDestroy(StringHeap);
  StringHeap = 0;
}

int32_t string_len(const char* text) {
  if (text == nullptr) return 0;
  return static_cast<int32_t>(std::strlen(text));
}

void string_copy_bytes(char* destination, const char* source, int32_t length) {
  std::memcpy(destination, source, static_cast<size_t>(length));
  destination[length] = '\0';
}

void string_copy_new(char** slot, const char* text) {
  if (text == nullptr) return;
  int32_t length = string_len(text);
  char* block = static_cast<char*>(HeapAlloc(StringHeap, 0, static_cast<size_t>(length) + STRING_SLACK));
  // The manager reports no failure; an empty slot is the safe outcome.
  if (block == nullptr) return;
  string_copy_bytes(block, text, length);
  *slot = block;
}

int32_t string_assign(char** slot, const char* text) {
  if (text == nullptr) {
    if (*slot != nullptr) {
      HeapFree(StringHeap, 0, *slot);
      *slot = nullptr;
    }
    return 1;
  }
  int32_t length = string_len(text);
  size_t bytes = static_cast<size_t>(length) + STRING_SLACK;
  char* block = *slot == nullptr ? static_cast<char*>(HeapAlloc(StringHeap, 0, bytes))
                                 : static_cast<char*>(HeapReAlloc(StringHeap, 0, *slot, bytes));
  // On failure the slot keeps its old text rather than losing it.
  if (block == nullptr) return length + 1;
  string_copy_bytes(block, text, length);
  *slot = block;
  return length + 1;
}

void string_free(char* block) {
  if (block == nullptr) return;
  HeapFree(StringHeap, 0, block);
}

char* result_buffer_reserve(int32_t size, int32_t offset) {
  // Growth is sized from the furthest of the position and the offset, so that a result
  // placed beyond the position still fits.
  int32_t from = offset > result_buffer_position ? offset : result_buffer_position;
  int64_t needed = static_cast<int64_t>(from) + size;
  if (needed >= static_cast<int64_t>(result_buffer_capacity) - 4) {
    int64_t capacity = needed + RESULT_BUFFER_GROWTH;
    if (capacity + STRING_SLACK > INT32_MAX) return nullptr;
    char* block = static_cast<char*>(
        HeapReAlloc(StringHeap, 0, ResultBuffer, static_cast<size_t>(capacity) + STRING_SLACK));
    if (block == nullptr) return nullptr;
    ResultBuffer = block;
    result_buffer_capacity = static_cast<int32_t>(capacity);
  }
  result_buffer_position = offset + size;
  return ResultBuffer + offset;
}

int32_t result_buffer_release(int32_t spare) {
  result_buffer_position -= spare;
  return result_buffer_position;
}
