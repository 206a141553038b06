// Basic types and constants shared by every platform facility and its callers.
// Handles and anything else that may carry an address are pointer-sized.
#pragma once

#include <cstddef>
#include <cstdint>

typedef intptr_t HANDLE;
typedef intptr_t HINSTANCE;
typedef intptr_t HWND;
typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t UINT;
typedef int16_t SHORT;
typedef int32_t HRESULT;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

constexpr HANDLE INVALID_HANDLE_VALUE = -1;

// Error codes kept per thread and read with GetLastError.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BROKEN_PIPE = 109;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;

DWORD GetLastError();
void SetLastError(DWORD error);
