// Key and line input of the console, reached through ConsoleOps' poll_key and read_line.
// Each leaves its string in ResultBuffer at offset and returns its address there.
#pragma once

#include "platform/base/platform_types.h"

// Zero or one character of the first key press pending; never waits.
char* console_poll_key(int32_t offset);
// One line without its line end; the console edits it, or a redirected stream is split.
char* console_read_line_raw(int32_t offset);
// One line typed on the surface, echoed and kept within the row.
char* console_read_line_graphical(int32_t offset);
