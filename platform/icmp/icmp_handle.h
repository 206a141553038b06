// What an echo handle is underneath: its socket kind, the identifier its requests carry,
// and the sequence number the next request of the process will use. For tests and
// diagnosis; the echo functions need none of it.
#pragma once

#include "platform/icmp/icmp.h"

enum IcmpSocketKind { ICMP_SOCKET_NONE, ICMP_SOCKET_DATAGRAM, ICMP_SOCKET_RAW };

// ICMP_SOCKET_NONE for anything that is not an open echo handle.
IcmpSocketKind icmp_socket_kind(HANDLE handle);

// Identifier of the handle's requests as on the wire (network order); 0 for a bad handle.
// On a datagram socket the kernel chooses it.
uint16_t icmp_handle_identifier(HANDLE handle);

// Sequence number of the next request sent through any handle, as on the wire.
uint16_t icmp_next_sequence();
