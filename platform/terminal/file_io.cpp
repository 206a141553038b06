// Plain reads and writes of the standard streams. A write to the console is a console
// write; anything else goes to the stream as it is.
#include "platform/terminal/terminal.h"
#include "platform/terminal/terminal_backend.h"
#include "platform/terminal/terminal_input.h"

#include <cerrno>

namespace {

DWORD error_of_errno(int error) {
  switch (error) {
    case EPIPE:
      return ERROR_BROKEN_PIPE;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EINVAL:
    case EFAULT:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_GEN_FAILURE;
  }
}

// The stream of a standard handle, or -1 with the error set.
int stream_of(HANDLE handle) {
  int fd = terminal_handle_stream(handle);
  if (fd < 0) SetLastError(ERROR_INVALID_HANDLE);
  return fd;
}

}  // namespace

BOOL WriteFile(HANDLE handle, const void* bytes, DWORD count, DWORD* written,
               void* overlapped) {
  if (written) *written = 0;
  if ((bytes == nullptr && count > 0) || overlapped != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int fd = stream_of(handle);
  if (fd < 0) return FALSE;
  terminal_session_lock();
  const TerminalBackend* backend = terminal_session.backend;
  bool console = fd > 0 && terminal_stream_is_console(fd);
  terminal_session_unlock();
  if (console) return WriteConsoleA(handle, bytes, count, written, nullptr);
  const char* next = static_cast<const char*>(bytes);
  DWORD done = 0;
  while (done < count) {
    ssize_t n = backend->write_stream(fd, next + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      if (error == EBADF) terminal_streams_changed();  // closed: whatever comes next is new
      errno = error;
      if (written) *written = done;
      SetLastError(error_of_errno(errno));
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return TRUE;
}

BOOL ReadFile(HANDLE handle, void* bytes, DWORD count, DWORD* read, void* overlapped) {
  if (read) *read = 0;
  if ((bytes == nullptr && count > 0) || overlapped != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int fd = stream_of(handle);
  if (fd < 0) return FALSE;
  terminal_session_lock();
  const TerminalBackend* backend = terminal_session.backend;
  terminal_session_unlock();
  for (;;) {
    ssize_t n = backend->read_stream(fd, bytes, count);
    if (n == 0 && count > 0 && terminal_input_end_is_broken_pipe(fd)) {
      SetLastError(ERROR_BROKEN_PIPE);
      return FALSE;
    }
    if (n >= 0) {
      if (read) *read = static_cast<DWORD>(n);
      return TRUE;
    }
    if (errno != EINTR) {
      int error = errno;
      if (error == EBADF) terminal_streams_changed();
      SetLastError(error_of_errno(error));
      return FALSE;
    }
  }
}

BOOL FlushFileBuffers(HANDLE handle) { return stream_of(handle) >= 0 ? TRUE : FALSE; }
