// One echo request per call through a handle of its own; nothing is kept between calls.
#include "app/echo_probe.h"

#include <cstring>

#include "runtime/strings.h"

int32_t echo_probe_result(DWORD replies, const ICMP_ECHO_REPLY& first) {
  if (replies != 0) return static_cast<int32_t>(first.RoundTripTime);
  // No reply must never read as all-well, whatever the record says: a status of 0 (left
  // by a facility that reported nothing) or one too large to negate into a negative
  // number counts as a general failure.
  int32_t negated = static_cast<int32_t>(0u - first.Status);
  if (negated >= 0) return -static_cast<int32_t>(IP_GENERAL_FAILURE);
  return negated;
}

int32_t echo_probe(const char* address_text, uint32_t timeout_ms) {
  alignas(ICMP_ECHO_REPLY) uint8_t reply_buffer[ECHO_REPLY_BUFFER_SIZE];
  memset(reply_buffer, 0, sizeof reply_buffer);

  char* address_copy = nullptr;
  string_copy_new(&address_copy, address_text);
  if (address_copy == nullptr) return -static_cast<int32_t>(IP_GENERAL_FAILURE);

  HANDLE handle = IcmpCreateFile();
  IPAddr address = inet_addr(address_copy);
  DWORD replies = IcmpSendEcho(handle, address, ECHO_PAYLOAD,
                               static_cast<WORD>(string_len(ECHO_PAYLOAD)), nullptr,
                               reply_buffer, ECHO_REPLY_BUFFER_SIZE, timeout_ms);
  IcmpCloseHandle(handle);

  ICMP_ECHO_REPLY first;
  memcpy(&first, reply_buffer, sizeof first);
  int32_t result = echo_probe_result(replies, first);
  string_free(address_copy);
  return result;
}
