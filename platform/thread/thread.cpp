// Threads on pthreads; a thread handle is the address of a small record that the thread
// and the handle's owner share until both are done with it.
#include "platform/thread/thread.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <new>
#include <sched.h>

namespace {

constexpr uint32_t THREAD_MAGIC = 0x54485244;  // "THRD"

struct ThreadRecord {
  uint32_t magic;
  pthread_t id;
  LPTHREAD_START_ROUTINE start;
  void* parameter;
  std::atomic<int> references;  // the thread's and the handle's
};

void drop(ThreadRecord* record) {
  if (record->references.fetch_sub(1) == 1) delete record;
}

void* thread_entry(void* arg) {
  ThreadRecord* record = static_cast<ThreadRecord*>(arg);
  LPTHREAD_START_ROUTINE start = record->start;
  void* parameter = record->parameter;
  drop(record);
  start(parameter);
  return nullptr;
}

std::atomic<int> period_depth{0};

}  // namespace

HANDLE CreateThread(void*, size_t stack_size, LPTHREAD_START_ROUTINE start, void* parameter,
                    DWORD, DWORD* thread_id) {
  if (start == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  ThreadRecord* record = new (std::nothrow) ThreadRecord;
  if (record == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  record->magic = THREAD_MAGIC;
  record->start = start;
  record->parameter = parameter;
  record->references.store(2);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  size_t stack = stack_size < THREAD_MIN_STACK_BYTES ? THREAD_MIN_STACK_BYTES : stack_size;
  pthread_attr_setstacksize(&attr, stack);
  int rc = pthread_create(&record->id, &attr, thread_entry, record);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete record;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  if (thread_id) *thread_id = static_cast<DWORD>(reinterpret_cast<uintptr_t>(record));
  return reinterpret_cast<HANDLE>(record);
}

BOOL CloseHandle(HANDLE handle) {
  ThreadRecord* record = reinterpret_cast<ThreadRecord*>(handle);
  if (handle == 0 || handle == INVALID_HANDLE_VALUE || record->magic != THREAD_MAGIC) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  record->magic = 0;
  pthread_detach(record->id);
  drop(record);
  return TRUE;
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  struct timespec request;
  request.tv_sec = milliseconds / 1000;
  request.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&request, &request) != 0 && errno == EINTR) {
  }
}

MMRESULT timeBeginPeriod(UINT period) {
  if (period == 0) return TIMERR_NOCANDO;
  period_depth.fetch_add(1);
  return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT period) {
  if (period == 0) return TIMERR_NOCANDO;
  period_depth.fetch_sub(1);
  return TIMERR_NOERROR;
}

int timer_period_depth() { return period_depth.load(); }

void InitializeCriticalSection(CRITICAL_SECTION* section) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&section->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

void EnterCriticalSection(CRITICAL_SECTION* section) { pthread_mutex_lock(&section->mutex); }

void LeaveCriticalSection(CRITICAL_SECTION* section) { pthread_mutex_unlock(&section->mutex); }

void DeleteCriticalSection(CRITICAL_SECTION* section) { pthread_mutex_destroy(&section->mutex); }
