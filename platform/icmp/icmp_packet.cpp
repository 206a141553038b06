// Echo request building and reply/error recognition. Every read is bounded by the size
// the kernel reported, never by lengths written inside the packet alone.
#include "platform/icmp/icmp_packet.h"

#include <cerrno>
#include <cstring>

namespace {

uint16_t read_wire16(const uint8_t* at) {
  uint16_t value;
  memcpy(&value, at, sizeof value);
  return value;
}

uint32_t read_wire32(const uint8_t* at) {
  uint32_t value;
  memcpy(&value, at, sizeof value);
  return value;
}

// Sum of 16-bit words with the byte order of the wire, continuing across parts whose
// size is odd.
struct ChecksumSum {
  uint32_t sum = 0;
  bool odd = false;
  void add(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      sum += odd ? bytes[i] : static_cast<uint32_t>(bytes[i]) << 8;
      odd = !odd;
    }
  }
  uint16_t folded() const {
    uint32_t s = sum;
    while (s >> 16) s = (s & 0xffff) + (s >> 16);
    return static_cast<uint16_t>(~s & 0xffff);
  }
};

bool data_matches(const uint8_t* got, size_t got_size, const IcmpRequest& request) {
  return got_size == request.size && (got_size == 0 || memcmp(got, request.data, got_size) == 0);
}

IcmpVerdict ignore() { return IcmpVerdict{ICMP_VERDICT_IGNORE, 0, IP_SUCCESS, 0, 0, 0}; }

// The ICMP header that an error carries, then the quoted IP header and the start of the
// quoted ICMP message.
IcmpVerdict classify_error(const uint8_t* message, size_t size, IPAddr source,
                           const IcmpRequest& request) {
  ULONG status = icmp_status_from_error(message[0], message[1]);
  if (status == IP_SUCCESS) return ignore();
  const uint8_t* quoted_ip = message + ICMP_HEADER_SIZE;
  size_t quoted_size = size - ICMP_HEADER_SIZE;
  if (quoted_size < IPV4_HEADER_MIN || (quoted_ip[0] >> 4) != 4) return ignore();
  size_t quoted_header = static_cast<size_t>(quoted_ip[0] & 0x0f) * 4;
  if (quoted_header < IPV4_HEADER_MIN || quoted_size < quoted_header + ICMP_HEADER_SIZE) {
    return ignore();
  }
  if (quoted_ip[9] != IP_PROTOCOL_ICMP) return ignore();
  IPAddr quoted_destination = read_wire32(quoted_ip + 16);
  if (!icmp_quotes_request(quoted_ip + quoted_header, quoted_size - quoted_header,
                           quoted_destination, request)) {
    return ignore();
  }
  return IcmpVerdict{ICMP_VERDICT_ERROR, source, status, 0, 0, 0};
}

}  // namespace

uint16_t icmp_checksum(const void* first, size_t first_size, const void* second,
                       size_t second_size) {
  ChecksumSum sum;
  sum.add(static_cast<const uint8_t*>(first), first_size);
  if (second_size > 0) sum.add(static_cast<const uint8_t*>(second), second_size);
  uint16_t host_order = sum.folded();
  uint8_t wire[2] = {static_cast<uint8_t>(host_order >> 8), static_cast<uint8_t>(host_order)};
  return read_wire16(wire);
}

void icmp_build_echo_header(uint8_t header[ICMP_HEADER_SIZE], const IcmpRequest& request) {
  header[0] = ICMP_TYPE_ECHO_REQUEST;
  header[1] = 0;
  header[2] = header[3] = 0;
  memcpy(header + 4, &request.identifier, 2);
  memcpy(header + 6, &request.sequence, 2);
  uint16_t checksum = icmp_checksum(header, ICMP_HEADER_SIZE, request.data, request.size);
  memcpy(header + 2, &checksum, 2);
}

bool icmp_quotes_request(const uint8_t* quoted, size_t size, IPAddr quoted_destination,
                         const IcmpRequest& request) {
  if (size < ICMP_HEADER_SIZE || quoted_destination != request.destination) return false;
  if (quoted[0] != ICMP_TYPE_ECHO_REQUEST || quoted[1] != 0) return false;
  if (read_wire16(quoted + 4) != request.identifier) return false;
  if (read_wire16(quoted + 6) != request.sequence) return false;
  size_t carried = size - ICMP_HEADER_SIZE;
  if (carried > request.size) return false;
  return carried == 0 || memcmp(quoted + ICMP_HEADER_SIZE, request.data, carried) == 0;
}

IcmpVerdict icmp_classify_message(const uint8_t* message, size_t size, IPAddr source,
                                  const IcmpRequest& request) {
  if (size < ICMP_HEADER_SIZE) return ignore();
  if (message[0] == ICMP_TYPE_ECHO_REPLY) {
    if (message[1] != 0 || source != request.destination) return ignore();
    if (read_wire16(message + 4) != request.identifier) return ignore();
    if (read_wire16(message + 6) != request.sequence) return ignore();
    if (!data_matches(message + ICMP_HEADER_SIZE, size - ICMP_HEADER_SIZE, request)) {
      return ignore();
    }
    return IcmpVerdict{ICMP_VERDICT_REPLY, source, IP_SUCCESS, 0, 0, 0};
  }
  return classify_error(message, size, source, request);
}

IcmpVerdict icmp_classify_ip_packet(const uint8_t* packet, size_t size,
                                    const IcmpRequest& request) {
  if (size < IPV4_HEADER_MIN || (packet[0] >> 4) != 4) return ignore();
  size_t header = static_cast<size_t>(packet[0] & 0x0f) * 4;
  size_t total = (static_cast<size_t>(packet[2]) << 8) | packet[3];
  // A packet longer than what arrived was cut short; one shorter than its header is bad.
  if (header < IPV4_HEADER_MIN || total < header + ICMP_HEADER_SIZE || total > size) {
    return ignore();
  }
  if (packet[9] != IP_PROTOCOL_ICMP) return ignore();
  const uint8_t* message = packet + header;
  size_t message_size = total - header;
  // The kernel hands raw sockets ICMP messages before verifying them.
  if (icmp_checksum(message, message_size, nullptr, 0) != 0) return ignore();
  IPAddr source = read_wire32(packet + 12);
  IcmpVerdict verdict = icmp_classify_message(message, message_size, source, request);
  if (verdict.kind == ICMP_VERDICT_REPLY) {
    verdict.tos = packet[1];
    verdict.flags = static_cast<BYTE>(packet[6] >> 5);
    verdict.ttl = packet[8];
  }
  return verdict;
}

ULONG icmp_status_from_error(uint8_t type, uint8_t code) {
  switch (type) {
    case ICMP_TYPE_DEST_UNREACHABLE:
      switch (code) {
        case 0:   // network unreachable
        case 6:   // network unknown
        case 9:   // network administratively prohibited
        case 11:  // network unreachable for this type of service
          return IP_DEST_NET_UNREACHABLE;
        case 2:
          return IP_DEST_PROT_UNREACHABLE;
        case 3:
          return IP_DEST_PORT_UNREACHABLE;
        case 4:  // fragmentation needed but not allowed
          return IP_PACKET_TOO_BIG;
        case 5:  // source route failed
          return IP_BAD_ROUTE;
        default:  // host unreachable, unknown, isolated, prohibited, ...
          return IP_DEST_HOST_UNREACHABLE;
      }
    case ICMP_TYPE_TIME_EXCEEDED:
      return code == 1 ? IP_TTL_EXPIRED_REASSEM : IP_TTL_EXPIRED_TRANSIT;
    case ICMP_TYPE_PARAMETER_PROBLEM:
      return IP_PARAM_PROBLEM;
    case ICMP_TYPE_SOURCE_QUENCH:
      return IP_SOURCE_QUENCH;
    default:
      return IP_SUCCESS;
  }
}

ULONG icmp_status_from_errno(int error) {
  switch (error) {
    case ENETUNREACH:
    case ENETDOWN:
      return IP_DEST_NET_UNREACHABLE;
    case EHOSTUNREACH:
    case EHOSTDOWN:
      return IP_DEST_HOST_UNREACHABLE;
    case ECONNREFUSED:
      return IP_DEST_PORT_UNREACHABLE;
    case EMSGSIZE:
      return IP_PACKET_TOO_BIG;
    case ENOBUFS:
    case ENOMEM:
    case EAGAIN:
      return IP_NO_RESOURCES;
    case EINVAL:
      return IP_BAD_REQ;
    case EACCES:  // a broadcast address
      return IP_BAD_DESTINATION;
    default:
      return IP_GENERAL_FAILURE;
  }
}

bool icmp_destination_allowed(IPAddr destination) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&destination);
  if (destination == INADDR_ANY || destination == INADDR_NONE) return false;
  return (bytes[0] & 0xf0) != 0xe0;
}

void icmp_store_reply(void* reply_buffer, IPAddr source, ULONG round_trip_ms,
                      const uint8_t* data, WORD data_size, BYTE ttl, BYTE tos, BYTE flags) {
  uint8_t* behind_records = static_cast<uint8_t*>(reply_buffer) + sizeof(ICMP_ECHO_REPLY);
  // memmove: a caller may pass request data that lies in its own reply buffer.
  if (data_size > 0) memmove(behind_records, data, data_size);
  ICMP_ECHO_REPLY record{};
  record.Address = source;
  record.Status = IP_SUCCESS;
  record.RoundTripTime = round_trip_ms;
  record.DataSize = data_size;
  record.Data = behind_records;
  record.Options.Ttl = ttl;
  record.Options.Tos = tos;
  record.Options.Flags = flags;
  // The buffer need not be aligned for the record.
  memcpy(reply_buffer, &record, sizeof record);
}

void icmp_store_failure(void* reply_buffer, IPAddr address, ULONG status) {
  ICMP_ECHO_REPLY record{};
  record.Address = address;
  record.Status = status;
  memcpy(reply_buffer, &record, sizeof record);
}
