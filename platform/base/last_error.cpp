// The calling thread's last error code.
#include "platform/base/platform_types.h"

namespace {
thread_local DWORD last_error = ERROR_SUCCESS;
}

DWORD GetLastError() { return last_error; }

void SetLastError(DWORD error) { last_error = error; }
