// Echo request building and the recognition of the packets that answer one, kept free of
// sockets so that every matching rule can be tried on crafted packets.
#pragma once

#include "platform/icmp/icmp.h"

constexpr size_t ICMP_HEADER_SIZE = 8;
constexpr size_t IPV4_HEADER_MIN = 20;
constexpr uint8_t ICMP_TYPE_ECHO_REPLY = 0;
constexpr uint8_t ICMP_TYPE_DEST_UNREACHABLE = 3;
constexpr uint8_t ICMP_TYPE_SOURCE_QUENCH = 4;
constexpr uint8_t ICMP_TYPE_ECHO_REQUEST = 8;
constexpr uint8_t ICMP_TYPE_TIME_EXCEEDED = 11;
constexpr uint8_t ICMP_TYPE_PARAMETER_PROBLEM = 12;
constexpr uint8_t IP_PROTOCOL_ICMP = 1;

// The request being waited for. identifier and sequence are as on the wire: the two
// bytes in network order read as one 16-bit value.
struct IcmpRequest {
  IPAddr destination;
  uint16_t identifier;
  uint16_t sequence;
  const uint8_t* data;
  size_t size;
};

enum IcmpVerdictKind { ICMP_VERDICT_IGNORE, ICMP_VERDICT_REPLY, ICMP_VERDICT_ERROR };

// What one received packet means for the request.
struct IcmpVerdict {
  IcmpVerdictKind kind;
  IPAddr source;        // host that replied or reported the error
  ULONG status;         // ICMP_VERDICT_ERROR: the IP_* status
  BYTE ttl, tos, flags; // ICMP_VERDICT_REPLY from a whole IP packet
};

// Internet checksum over two consecutive parts (header and data), in network order.
uint16_t icmp_checksum(const void* first, size_t first_size, const void* second,
                       size_t second_size);

// The 8-byte echo request header; the checksum covers header and data.
void icmp_build_echo_header(uint8_t header[ICMP_HEADER_SIZE], const IcmpRequest& request);

// An ICMP message (header first), as a datagram socket delivers it, sent by source.
IcmpVerdict icmp_classify_message(const uint8_t* message, size_t size, IPAddr source,
                                  const IcmpRequest& request);

// A whole IPv4 packet, as a raw socket delivers it: our echo reply, an ICMP error that
// quotes our request, or anything else.
IcmpVerdict icmp_classify_ip_packet(const uint8_t* packet, size_t size,
                                    const IcmpRequest& request);

// Whether a quoted ICMP message (the start of a request that an error is about), sent to
// quoted_destination, is our request. The quote may be cut short after the header; the
// data bytes it does carry must match.
bool icmp_quotes_request(const uint8_t* quoted, size_t size, IPAddr quoted_destination,
                         const IcmpRequest& request);

// Status for an ICMP error of this type and code; IP_SUCCESS for types that say nothing
// about delivery (redirects, replies, requests).
ULONG icmp_status_from_error(uint8_t type, uint8_t code);

// Status for a failed send or a local error.
ULONG icmp_status_from_errno(int error);

// Any, limited broadcast and multicast addresses cannot be probed.
bool icmp_destination_allowed(IPAddr destination);

// Writes the first record and its data behind the records. The caller has checked that
// reply_size holds a record plus data_size bytes.
void icmp_store_reply(void* reply_buffer, IPAddr source, ULONG round_trip_ms,
                      const uint8_t* data, WORD data_size, BYTE ttl, BYTE tos, BYTE flags);

// Writes a first record that carries only a failure status. reply_buffer holds a record.
void icmp_store_failure(void* reply_buffer, IPAddr address, ULONG status);
