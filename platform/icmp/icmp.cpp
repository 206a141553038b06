// ICMP echo over Linux sockets. A handle is the socket descriptor itself, so the kernel
// tells whether a handle is open and of which kind; nothing is kept in the process but
// the sequence counter.
#include "platform/icmp/icmp.h"

#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/icmp/icmp_handle.h"
#include "platform/icmp/icmp_packet.h"

namespace {

// Largest IPv4 packet, plus one byte so that anything longer shows as cut short.
constexpr size_t RECEIVE_BUFFER_SIZE = 65536;
// Packets handled between two looks at the clock, so a flood cannot hold the wait open.
constexpr int PACKETS_PER_LOOK = 64;

std::atomic<uint16_t> sequence_counter{1};

uint16_t to_wire16(uint16_t host) {
  uint8_t bytes[2] = {static_cast<uint8_t>(host >> 8), static_cast<uint8_t>(host)};
  uint16_t wire;
  memcpy(&wire, bytes, 2);
  return wire;
}

int64_t monotonic_ns() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int socket_option(int fd, int option) {
  int value = 0;
  socklen_t size = sizeof value;
  if (getsockopt(fd, SOL_SOCKET, option, &value, &size) != 0) return -1;
  return value;
}

int handle_descriptor(HANDLE handle) {
  if (handle < 0 || handle > INT_MAX) return -1;
  return static_cast<int>(handle);
}

bool enable(int fd, int level, int option) {
  int on = 1;
  return setsockopt(fd, level, option, &on, sizeof on) == 0;
}

// The kernel picks the datagram socket's identifier when it is bound; bind now so that
// it is known before the first request.
bool prepare_datagram_socket(int fd) {
  sockaddr_in any{};
  any.sin_family = AF_INET;
  return bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0 &&
         enable(fd, IPPROTO_IP, IP_RECVTTL) && enable(fd, IPPROTO_IP, IP_RECVTOS) &&
         enable(fd, IPPROTO_IP, IP_RECVERR);
}

// A raw socket sees every ICMP message of the host; keep only replies and errors.
void prepare_raw_socket(int fd) {
  icmp_filter filter{};
  filter.data = ~((1u << ICMP_TYPE_ECHO_REPLY) | (1u << ICMP_TYPE_DEST_UNREACHABLE) |
                  (1u << ICMP_TYPE_SOURCE_QUENCH) | (1u << ICMP_TYPE_TIME_EXCEEDED) |
                  (1u << ICMP_TYPE_PARAMETER_PROBLEM));
  // Without the filter the same packets are sorted out when read.
  setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
}

DWORD fail(void* reply_buffer, IPAddr address, ULONG status) {
  icmp_store_failure(reply_buffer, address, status);
  SetLastError(status);
  return 0;
}

struct Wait {
  int fd;
  IcmpSocketKind kind;
  const IcmpRequest* request;
  uint8_t* packet;  // RECEIVE_BUFFER_SIZE bytes
  IcmpVerdict verdict;
};

// One message from a datagram socket's error queue. false when the queue is empty.
bool read_datagram_error(Wait& wait) {
  sockaddr_in quoted_destination{};
  alignas(cmsghdr) uint8_t control[512];
  iovec part{wait.packet, RECEIVE_BUFFER_SIZE};
  msghdr message{};
  message.msg_name = &quoted_destination;
  message.msg_namelen = sizeof quoted_destination;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  wait.verdict.kind = ICMP_VERDICT_IGNORE;
  ssize_t got = recvmsg(wait.fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
  if (got < 0) return false;
  if (message.msg_flags & MSG_TRUNC) return true;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) continue;
    if (c->cmsg_len < CMSG_LEN(sizeof(sock_extended_err))) continue;
    sock_extended_err error;
    memcpy(&error, CMSG_DATA(c), sizeof error);
    ULONG status = IP_SUCCESS;
    if (error.ee_origin == SO_EE_ORIGIN_ICMP) {
      status = icmp_status_from_error(error.ee_type, error.ee_code);
    } else if (error.ee_origin == SO_EE_ORIGIN_LOCAL) {
      status = icmp_status_from_errno(static_cast<int>(error.ee_errno));
    }
    if (status == IP_SUCCESS) continue;
    if (!icmp_quotes_request(wait.packet, static_cast<size_t>(got),
                             quoted_destination.sin_addr.s_addr, *wait.request)) {
      continue;
    }
    IPAddr reporter = wait.request->destination;
    size_t offender_end = sizeof(sock_extended_err) + sizeof(sockaddr_in);
    if (c->cmsg_len >= CMSG_LEN(offender_end)) {
      sockaddr_in offender;
      memcpy(&offender, CMSG_DATA(c) + sizeof(sock_extended_err), sizeof offender);
      if (offender.sin_family == AF_INET) reporter = offender.sin_addr.s_addr;
    }
    wait.verdict = IcmpVerdict{ICMP_VERDICT_ERROR, reporter, status, 0, 0, 0};
  }
  return true;
}

// One received packet. false when nothing is waiting.
bool read_packet(Wait& wait) {
  sockaddr_in source{};
  alignas(cmsghdr) uint8_t control[256];
  iovec part{wait.packet, RECEIVE_BUFFER_SIZE};
  msghdr message{};
  message.msg_name = &source;
  message.msg_namelen = sizeof source;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  wait.verdict.kind = ICMP_VERDICT_IGNORE;
  ssize_t got = recvmsg(wait.fd, &message, MSG_DONTWAIT);
  if (got < 0) {
    // A pending socket error is handed out once by a read; its details are in the error
    // queue. Anything else but an empty queue is retried on the next look.
    return errno != EAGAIN && errno != EWOULDBLOCK;
  }
  if (message.msg_flags & MSG_TRUNC) return true;
  size_t size = static_cast<size_t>(got);
  if (wait.kind == ICMP_SOCKET_RAW) {
    wait.verdict = icmp_classify_ip_packet(wait.packet, size, *wait.request);
    return true;
  }
  wait.verdict = icmp_classify_message(wait.packet, size, source.sin_addr.s_addr,
                                       *wait.request);
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != IPPROTO_IP) continue;
    if (c->cmsg_type == IP_TTL && c->cmsg_len >= CMSG_LEN(sizeof(int))) {
      int ttl;
      memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
      wait.verdict.ttl = static_cast<BYTE>(ttl);
    } else if (c->cmsg_type == IP_TOS && c->cmsg_len >= CMSG_LEN(1)) {
      wait.verdict.tos = *CMSG_DATA(c);
    }
  }
  return true;
}

// Up to PACKETS_PER_LOOK packets and errors; true when one of them settles the request.
bool read_waiting(Wait& wait, short events) {
  int handled = 0;
  if ((events & POLLERR) && wait.kind == ICMP_SOCKET_DATAGRAM) {
    while (handled < PACKETS_PER_LOOK && read_datagram_error(wait)) {
      ++handled;
      if (wait.verdict.kind != ICMP_VERDICT_IGNORE) return true;
    }
  }
  if (events & POLLERR) socket_option(wait.fd, SO_ERROR);  // clears the pending error
  while (handled < PACKETS_PER_LOOK && read_packet(wait)) {
    ++handled;
    if (wait.verdict.kind != ICMP_VERDICT_IGNORE) return true;
  }
  return false;
}

// Packets that arrived before the request is sent cannot answer it. Left queued, they
// would fill the socket's receive buffer (a raw socket gets every ICMP message of the
// host) so that the reply could be dropped.
void discard_queued_packets(int fd) {
  uint8_t unused[64];
  for (int i = 0; i < 4096; ++i) {
    if (recv(fd, unused, sizeof unused, MSG_DONTWAIT | MSG_TRUNC) < 0 && errno != EINTR) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
    }
  }
}

// Errors about earlier requests left on a datagram socket. The kernel would hand the
// pending one to our next send as that send's failure.
bool discard_old_errors(int fd) {
  uint8_t unused[64];
  iovec part{unused, sizeof unused};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  bool any = false;
  while (recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) >= 0) {
    any = true;
    message.msg_controllen = 0;
  }
  socket_option(fd, SO_ERROR);
  return any;
}

ssize_t send_request(int fd, const IcmpRequest& request, const IP_OPTION_INFORMATION* options) {
  uint8_t header[ICMP_HEADER_SIZE];
  icmp_build_echo_header(header, request);
  iovec parts[2] = {{header, sizeof header},
                    {const_cast<uint8_t*>(request.data), request.size}};
  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_addr.s_addr = request.destination;
  msghdr message{};
  message.msg_name = &destination;
  message.msg_namelen = sizeof destination;
  message.msg_iov = parts;
  message.msg_iovlen = request.size > 0 ? 2 : 1;
  alignas(cmsghdr) uint8_t control[CMSG_SPACE(sizeof(int)) * 2];
  if (options != nullptr) {
    memset(control, 0, sizeof control);
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    size_t used = 0;
    int values[2] = {options->Ttl, options->Tos};
    int types[2] = {IP_TTL, IP_TOS};
    for (int i = 0; i < 2; ++i) {
      if (i == 0 && options->Ttl == 0) continue;  // 0 keeps the default time-to-live
      c->cmsg_level = IPPROTO_IP;
      c->cmsg_type = types[i];
      c->cmsg_len = CMSG_LEN(sizeof(int));
      memcpy(CMSG_DATA(c), &values[i], sizeof(int));
      used += CMSG_SPACE(sizeof(int));
      c = reinterpret_cast<cmsghdr*>(control + used);
    }
    message.msg_controllen = used;
  }
  return sendmsg(fd, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
}

}  // namespace

IcmpSocketKind icmp_socket_kind(HANDLE handle) {
  int fd = handle_descriptor(handle);
  if (fd < 0) return ICMP_SOCKET_NONE;
  if (socket_option(fd, SO_DOMAIN) != AF_INET) return ICMP_SOCKET_NONE;
  if (socket_option(fd, SO_PROTOCOL) != IPPROTO_ICMP) return ICMP_SOCKET_NONE;
  switch (socket_option(fd, SO_TYPE)) {
    case SOCK_DGRAM:
      return ICMP_SOCKET_DATAGRAM;
    case SOCK_RAW:
      return ICMP_SOCKET_RAW;
    default:
      return ICMP_SOCKET_NONE;
  }
}

uint16_t icmp_handle_identifier(HANDLE handle) {
  switch (icmp_socket_kind(handle)) {
    case ICMP_SOCKET_DATAGRAM: {
      sockaddr_in bound{};
      socklen_t size = sizeof bound;
      if (getsockname(static_cast<int>(handle), reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
        return 0;
      }
      return bound.sin_port;
    }
    case ICMP_SOCKET_RAW:
      return to_wire16(static_cast<uint16_t>(getpid()));
    default:
      return 0;
  }
}

uint16_t icmp_next_sequence() { return to_wire16(sequence_counter.load()); }

HANDLE IcmpCreateFile() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd >= 0) {
    if (prepare_datagram_socket(fd)) return fd;
    close(fd);
    SetLastError(ERROR_GEN_FAILURE);
    return INVALID_HANDLE_VALUE;
  }
  switch (errno) {
    case EACCES:           // our group is outside net.ipv4.ping_group_range
    case EPERM:            // a security module forbids datagram ICMP sockets
    case EPROTONOSUPPORT:  // the kernel was built without them
      break;
    default:               // out of descriptors or memory: a raw socket would fail too
      SetLastError(ERROR_GEN_FAILURE);
      return INVALID_HANDLE_VALUE;
  }
  fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0) {
    SetLastError(ERROR_GEN_FAILURE);
    return INVALID_HANDLE_VALUE;
  }
  prepare_raw_socket(fd);
  return fd;
}

BOOL IcmpCloseHandle(HANDLE handle) {
  if (icmp_socket_kind(handle) == ICMP_SOCKET_NONE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  close(static_cast<int>(handle));
  return TRUE;
}

DWORD IcmpSendEcho(HANDLE handle, IPAddr destination, const void* data, WORD size,
                   IP_OPTION_INFORMATION* options, void* reply_buffer, DWORD reply_size,
                   DWORD timeout_ms) {
  if (reply_buffer == nullptr || reply_size < sizeof(ICMP_ECHO_REPLY)) {
    SetLastError(IP_BUF_TOO_SMALL);
    return 0;
  }
  IcmpSocketKind kind = icmp_socket_kind(handle);
  if (kind == ICMP_SOCKET_NONE) return fail(reply_buffer, destination, IP_GENERAL_FAILURE);
  if (data == nullptr && size > 0) return fail(reply_buffer, destination, IP_BAD_REQ);
  if (reply_size - sizeof(ICMP_ECHO_REPLY) < size) {
    return fail(reply_buffer, destination, IP_BUF_TOO_SMALL);
  }
  if (options != nullptr && options->OptionsSize != 0) {
    return fail(reply_buffer, destination, IP_BAD_OPTION);
  }
  if (!icmp_destination_allowed(destination)) {
    return fail(reply_buffer, destination, IP_BAD_DESTINATION);
  }

  int fd = static_cast<int>(handle);
  IcmpRequest request{destination, icmp_handle_identifier(handle),
                      to_wire16(sequence_counter.fetch_add(1)),
                      static_cast<const uint8_t*>(data), size};
  int64_t sent_at = 0;
  // An error about an earlier request can arrive just before the send and fail it; such
  // a send is tried again, a few times at most.
  for (int attempt = 0;; ++attempt) {
    discard_queued_packets(fd);
    if (kind == ICMP_SOCKET_DATAGRAM) discard_old_errors(fd);
    sent_at = monotonic_ns();
    if (send_request(fd, request, options) >= 0) break;
    int error = errno;
    if (kind != ICMP_SOCKET_DATAGRAM || attempt == 3 || !discard_old_errors(fd)) {
      return fail(reply_buffer, destination, icmp_status_from_errno(error));
    }
  }

  int64_t deadline = sent_at + static_cast<int64_t>(timeout_ms) * 1000000;
  uint8_t packet[RECEIVE_BUFFER_SIZE];
  Wait wait{fd, kind, &request, packet, {}};
  for (;;) {
    int64_t now = monotonic_ns();
    int64_t left = deadline > now ? deadline - now : 0;
    timespec wait_for{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
    pollfd watch{fd, POLLIN, 0};
    int ready = ppoll(&watch, 1, &wait_for, nullptr);
    if (ready < 0 && errno != EINTR) return fail(reply_buffer, destination, IP_GENERAL_FAILURE);
    if (ready > 0 && read_waiting(wait, watch.revents)) {
      if (wait.verdict.kind == ICMP_VERDICT_ERROR) {
        return fail(reply_buffer, wait.verdict.source, wait.verdict.status);
      }
      int64_t round_trip_ms = (monotonic_ns() - sent_at) / 1000000;
      // The echoed bytes were compared with ours, so ours are what is stored.
      icmp_store_reply(reply_buffer, wait.verdict.source, static_cast<ULONG>(round_trip_ms),
                       request.data, size, wait.verdict.ttl, wait.verdict.tos,
                       wait.verdict.flags);
      return 1;
    }
    if (monotonic_ns() >= deadline) return fail(reply_buffer, destination, IP_REQ_TIMED_OUT);
  }
}
