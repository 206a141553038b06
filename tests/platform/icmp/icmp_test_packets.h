// Builders of ICMP messages and IPv4 packets for tests that craft or forge them.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/icmp/icmp_packet.h"

namespace icmp_test {

using Bytes = std::vector<uint8_t>;

inline IPAddr address(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  uint8_t bytes[4] = {a, b, c, d};
  IPAddr value;
  memcpy(&value, bytes, 4);
  return value;
}

// A 16-bit wire value moved by delta as a number.
inline uint16_t wire_plus(uint16_t wire, int delta) {
  uint8_t bytes[2];
  memcpy(bytes, &wire, 2);
  uint16_t host = static_cast<uint16_t>(((bytes[0] << 8) | bytes[1]) + delta);
  bytes[0] = static_cast<uint8_t>(host >> 8);
  bytes[1] = static_cast<uint8_t>(host);
  memcpy(&wire, bytes, 2);
  return wire;
}

inline void put16(Bytes& bytes, size_t at, uint16_t wire) { memcpy(bytes.data() + at, &wire, 2); }
inline void put32(Bytes& bytes, size_t at, uint32_t wire) { memcpy(bytes.data() + at, &wire, 4); }

// An ICMP message with a valid checksum.
inline Bytes icmp_message(uint8_t type, uint8_t code, uint16_t identifier, uint16_t sequence,
                          const Bytes& body) {
  Bytes message(ICMP_HEADER_SIZE);
  message[0] = type;
  message[1] = code;
  put16(message, 4, identifier);
  put16(message, 6, sequence);
  message.insert(message.end(), body.begin(), body.end());
  uint16_t checksum = icmp_checksum(message.data(), message.size(), nullptr, 0);
  put16(message, 2, checksum);
  return message;
}

// An IPv4 packet around an ICMP message; options_words adds header options.
inline Bytes ip_packet(IPAddr source, IPAddr destination, const Bytes& message, uint8_t ttl = 61,
                       uint8_t tos = 0x10, uint16_t flags_fragment = 0x4000,
                       size_t options_words = 0) {
  size_t header = IPV4_HEADER_MIN + 4 * options_words;
  Bytes packet(header, 0);
  packet[0] = static_cast<uint8_t>(0x40 | (header / 4));
  packet[1] = tos;
  size_t total = header + message.size();
  packet[2] = static_cast<uint8_t>(total >> 8);
  packet[3] = static_cast<uint8_t>(total);
  packet[6] = static_cast<uint8_t>(flags_fragment >> 8);
  packet[7] = static_cast<uint8_t>(flags_fragment);
  packet[8] = ttl;
  packet[9] = IP_PROTOCOL_ICMP;
  put32(packet, 12, source);
  put32(packet, 16, destination);
  packet.insert(packet.end(), message.begin(), message.end());
  return packet;
}

// An ICMP error quoting the IP header and the first quoted_bytes of a request's ICMP part.
inline Bytes icmp_error(uint8_t type, uint8_t code, const Bytes& quoted_request,
                        IPAddr quoted_source, IPAddr quoted_destination, size_t quoted_bytes) {
  Bytes quoted_ip = ip_packet(quoted_source, quoted_destination, quoted_request, 64, 0, 0x4000);
  quoted_ip.resize(std::min(quoted_ip.size(), IPV4_HEADER_MIN + quoted_bytes));
  return icmp_message(type, code, 0, 0, quoted_ip);
}

}  // namespace icmp_test
