// The monitor's one question per pass: does the host answer an ICMP echo request in
// time? The answer is folded into one signed number.
#pragma once

#include "platform/base/platform_types.h"
#include "platform/icmp/icmp.h"

// Sent as its 10 characters, without the terminating zero.
constexpr char ECHO_PAYLOAD[] = "Echo This.";
// One reply record plus the echoed data, with room to spare.
constexpr DWORD ECHO_REPLY_BUFFER_SIZE = 108;
static_assert(sizeof(ICMP_ECHO_REPLY) + sizeof(ECHO_PAYLOAD) - 1 <= ECHO_REPLY_BUFFER_SIZE,
              "the reply buffer must hold a record and the echoed payload");

// Round-trip time in milliseconds (0 or more) when the host answered; otherwise the
// negated status of the failure, always negative.
int32_t echo_probe(const char* address_text, uint32_t timeout_ms);

// The result for a request that produced `replies` records, the first one being `first`.
int32_t echo_probe_result(DWORD replies, const ICMP_ECHO_REPLY& first);
