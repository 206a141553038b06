// Dotted text to an IPv4 address with the classic rules: one to four parts, each
// decimal, octal (leading 0) or hex (0x); the last part fills the remaining bytes; the
// text may end in white space and whatever follows it.
#include <cstdint>
#include <cstring>

#include "platform/icmp/icmp.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One part from *text; false when it is not a number or exceeds 32 bits.
bool read_part(const char*& text, uint64_t& value) {
  if (!is_digit(*text)) return false;
  unsigned base = 10;
  bool any_digit = false;
  if (*text == '0') {
    ++text;
    if (*text == 'x' || *text == 'X') {
      base = 16;
      ++text;
    } else {
      base = 8;
      any_digit = true;  // the 0 itself
    }
  }
  value = 0;
  for (;; ++text) {
    int digit = base == 16 ? hex_value(*text) : (is_digit(*text) ? *text - '0' : -1);
    if (digit < 0) break;
    if (base == 8 && digit > 7) return false;
    value = value * base + static_cast<unsigned>(digit);
    if (value > 0xffffffffu) return false;
    any_digit = true;
  }
  return any_digit;
}

}  // namespace

IPAddr inet_addr(const char* text) {
  if (text == nullptr) return INADDR_NONE;
  uint64_t parts[4];
  int count = 0;
  for (;;) {
    if (!read_part(text, parts[count])) return INADDR_NONE;
    ++count;
    if (*text != '.') break;
    if (count == 4) return INADDR_NONE;
    ++text;
  }
  if (*text != '\0' && !is_space(*text)) return INADDR_NONE;

  // Leading parts are one byte each; the last one fills what is left.
  uint32_t host_order = 0;
  for (int i = 0; i < count - 1; ++i) {
    if (parts[i] > 0xff) return INADDR_NONE;
    host_order |= static_cast<uint32_t>(parts[i]) << (24 - 8 * i);
  }
  int last_bytes = 4 - (count - 1);
  uint64_t last_limit = last_bytes == 4 ? 0xffffffffu : (uint64_t{1} << (8 * last_bytes)) - 1;
  if (parts[count - 1] > last_limit) return INADDR_NONE;
  host_order |= static_cast<uint32_t>(parts[count - 1]);

  uint8_t wire[4] = {static_cast<uint8_t>(host_order >> 24), static_cast<uint8_t>(host_order >> 16),
                     static_cast<uint8_t>(host_order >> 8), static_cast<uint8_t>(host_order)};
  IPAddr address;
  memcpy(&address, wire, sizeof address);
  return address;
}
