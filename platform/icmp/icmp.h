// ICMP echo functions: open an echo handle, send one IPv4 echo request and wait for its
// reply, close the handle; and the classic dotted-text address conversion.
#pragma once

#include <netinet/in.h>  // INADDR_NONE, INADDR_ANY

#include "platform/base/platform_types.h"

// IPv4 address in network byte order.
typedef uint32_t IPAddr;

// Options of a request, and the options seen on a reply. On a request only Ttl (0: the
// default) and Tos are applied; OptionsSize must be 0, since no IP options are sent.
struct IP_OPTION_INFORMATION {
  BYTE Ttl;
  BYTE Tos;
  BYTE Flags;        // IP header flags of a reply (IP_FLAG_DF, IP_FLAG_MF); always 0
                     // through a datagram socket, which never sees the reply's header
  BYTE OptionsSize;
  BYTE* OptionsData;  // null on replies: no option bytes are returned
};

// One reply record. On x86-64 the two pointers make it 40 bytes, laid out naturally:
// Address 0, Status 4, RoundTripTime 8, DataSize 12, Reserved 14, Data 16,
// Options.Ttl 24, Tos 25, Flags 26, OptionsSize 27, (4 bytes padding), OptionsData 32.
struct ICMP_ECHO_REPLY {
  IPAddr Address;        // host that replied, or that reported the error
  ULONG Status;          // IP_SUCCESS or one of the IP_* codes below
  ULONG RoundTripTime;   // whole milliseconds
  WORD DataSize;         // echoed bytes
  WORD Reserved;
  void* Data;            // the echoed bytes, inside the reply buffer behind the records
  IP_OPTION_INFORMATION Options;
};

constexpr BYTE IP_FLAG_MF = 0x1;
constexpr BYTE IP_FLAG_DF = 0x2;

constexpr ULONG IP_SUCCESS = 0;
constexpr ULONG IP_BUF_TOO_SMALL = 11001;
constexpr ULONG IP_DEST_NET_UNREACHABLE = 11002;
constexpr ULONG IP_DEST_HOST_UNREACHABLE = 11003;
constexpr ULONG IP_DEST_PROT_UNREACHABLE = 11004;
constexpr ULONG IP_DEST_PORT_UNREACHABLE = 11005;
constexpr ULONG IP_NO_RESOURCES = 11006;
constexpr ULONG IP_BAD_OPTION = 11007;
constexpr ULONG IP_HW_ERROR = 11008;
constexpr ULONG IP_PACKET_TOO_BIG = 11009;
constexpr ULONG IP_REQ_TIMED_OUT = 11010;
constexpr ULONG IP_BAD_REQ = 11011;
constexpr ULONG IP_BAD_ROUTE = 11012;
constexpr ULONG IP_TTL_EXPIRED_TRANSIT = 11013;
constexpr ULONG IP_TTL_EXPIRED_REASSEM = 11014;
constexpr ULONG IP_PARAM_PROBLEM = 11015;
constexpr ULONG IP_SOURCE_QUENCH = 11016;
// The destination cannot be probed at all: any, broadcast or multicast address.
constexpr ULONG IP_BAD_DESTINATION = 11018;
constexpr ULONG IP_GENERAL_FAILURE = 11050;

// Opens an echo handle: an unprivileged ICMP datagram socket where the system allows it,
// otherwise a raw ICMP socket. INVALID_HANDLE_VALUE when neither can be opened.
HANDLE IcmpCreateFile();

// Sends one echo request carrying exactly size bytes of data to destination and waits up
// to timeout_ms for its reply. Returns the number of reply records written (0 or 1).
// With 0, the first record (when the buffer holds one) carries a non-zero status, which
// is also the thread's last error. The buffer must hold one record plus size bytes; the
// echoed data is stored behind the records. A handle serves one request at a time;
// threads that probe at once each use a handle of their own.
DWORD IcmpSendEcho(HANDLE handle, IPAddr destination, const void* data, WORD size,
                   IP_OPTION_INFORMATION* options, void* reply_buffer, DWORD reply_size,
                   DWORD timeout_ms);

// FALSE when the handle is not an open echo handle.
BOOL IcmpCloseHandle(HANDLE handle);

// Dotted text ("a.b.c.d", also the classic shorter forms "a.b.c", "a.b", "a", each part
// decimal, octal with a leading 0 or hex with 0x) to an address in network byte order.
// INADDR_NONE for a null or unreadable text.
IPAddr inet_addr(const char* text);
