// Text copies in StringHeap, and ResultBuffer: the growable scratch block that
// string-returning operations write their results into at an offset the caller gives.
#pragma once

#include "platform/base/platform_types.h"

constexpr int32_t STRING_SLACK = 5;
constexpr int32_t RESULT_BUFFER_GROWTH = 16384;
constexpr int32_t RESULT_BUFFER_INITIAL = 16;

// ResultBuffer and its two counters, process-wide.
extern char* ResultBuffer;
extern int32_t result_buffer_position;
extern int32_t result_buffer_capacity;

// Creates StringHeap and a 16-byte ResultBuffer; returns ResultBuffer.
char* string_manager_init();
// Frees ResultBuffer and destroys StringHeap.
void string_manager_shutdown();

// A null text leaves the slot as it was; otherwise the slot gets a new copy.
void string_copy_new(char** slot, const char* text);
// Returns length + 1 (1 for a null text, which empties the slot).
int32_t string_assign(char** slot, const char* text);
void string_free(char* block);
int32_t string_len(const char* text);
void string_copy_bytes(char* destination, const char* source, int32_t length);

// Makes room for size bytes plus a terminator at offset; sets the position to offset + size.
// Returns the address at offset, or null if ResultBuffer could not grow (nothing changes then).
char* result_buffer_reserve(int32_t size, int32_t offset);
// Gives back spare reserved bytes; returns the new position.
int32_t result_buffer_release(int32_t spare);
