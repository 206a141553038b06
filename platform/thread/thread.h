// Threads, critical sections, sleeping and the timer-resolution bracket.
#pragma once

#include "platform/base/platform_types.h"

#include <pthread.h>

typedef DWORD (*LPTHREAD_START_ROUTINE)(void* parameter);

// stack_size is a minimum; it is rounded up to what a thread that decodes audio needs here.
// Returns a handle that CloseHandle gives back (the thread then runs on, detached), or 0.
HANDLE CreateThread(void* security, size_t stack_size, LPTHREAD_START_ROUTINE start,
                    void* parameter, DWORD creation_flags, DWORD* thread_id);
// Closes a thread handle: the thread is detached and keeps running. FALSE for other values.
BOOL CloseHandle(HANDLE handle);
// The smallest stack CreateThread gives a thread.
constexpr size_t THREAD_MIN_STACK_BYTES = 256 * 1024;

// Sleep(0) gives up the rest of the time slice.
void Sleep(DWORD milliseconds);

// Linux sleeps need no timer-resolution change; the calls keep a balanced depth that tests
// read with timer_period_depth().
typedef UINT MMRESULT;
constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT TIMERR_NOCANDO = 97;
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);
int timer_period_depth();

// A recursive lock, as the callers expect from a critical section.
struct CRITICAL_SECTION {
  pthread_mutex_t mutex;
};
void InitializeCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
