// The echo functions against real test hosts inside a private network namespace made by
// tools/netns/netns_run.sh: a host that answers, one that ignores echo, one behind a
// neighbour that never answers, an address without a route, other programs' pings, and
// forged packets that nearly match a request.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/icmp/icmp.h"
#include "platform/icmp/icmp_handle.h"
#include "tests/platform/icmp/icmp_test_packets.h"
#include "tests/platform/icmp/netns_guard.h"

extern char** environ;

namespace {

using namespace icmp_test;

const char PAYLOAD[] = "Echo This.";
const WORD PAYLOAD_SIZE = 10;

int64_t monotonic_ms() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

ICMP_ECHO_REPLY first_record(const uint8_t* buffer) {
  ICMP_ECHO_REPLY record;
  memcpy(&record, buffer, sizeof record);
  return record;
}

// The local address that packets to destination leave from.
IPAddr source_address_towards(IPAddr destination) {
  int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(9);
  to.sin_addr.s_addr = destination;
  sockaddr_in from{};
  socklen_t size = sizeof from;
  IPAddr result = 0;
  if (connect(udp, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
      getsockname(udp, reinterpret_cast<sockaddr*>(&from), &size) == 0) {
    result = from.sin_addr.s_addr;
  }
  close(udp);
  return result;
}

class Netns : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string refusal = netns_guard::refusal();
    if (getenv("NETNS_PROBE") == nullptr) GTEST_SKIP() << refusal;
    ASSERT_EQ(refusal, "") << "refusing to send beyond loopback";
    if (netns_guard::env_or_empty("ICMP_EXPECT_SOCKET") == "none") {
      GTEST_SKIP() << "no ICMP socket can be opened here";
    }
    answer = read_address("ICMP_TEST_ANSWER");
    ignore = read_address("ICMP_TEST_IGNORE");
    vanish = read_address("ICMP_TEST_VANISH");
    no_route = read_address("ICMP_TEST_NO_ROUTE");
    routed = read_address("ICMP_TEST_ROUTED");
    router_no_route = read_address("ICMP_TEST_ROUTER_NO_ROUTE");
    handle = IcmpCreateFile();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    if (handle != INVALID_HANDLE_VALUE) IcmpCloseHandle(handle);
  }
  static IPAddr read_address(const char* name) {
    IPAddr value = inet_addr(netns_guard::env_or_empty(name).c_str());
    EXPECT_NE(value, INADDR_NONE) << name << " names no address";
    return value;
  }
  // Sends PAYLOAD to destination; the record and the call's duration come back.
  DWORD send(IPAddr destination, DWORD timeout_ms, ICMP_ECHO_REPLY& record,
             int64_t* elapsed_ms = nullptr) {
    alignas(ICMP_ECHO_REPLY) uint8_t buffer[108] = {};
    int64_t started = monotonic_ms();
    DWORD replies = IcmpSendEcho(handle, destination, PAYLOAD, PAYLOAD_SIZE, nullptr, buffer,
                                 sizeof buffer, timeout_ms);
    if (elapsed_ms != nullptr) *elapsed_ms = monotonic_ms() - started;
    record = first_record(buffer);
    if (replies == 1) {
      EXPECT_EQ(memcmp(buffer + sizeof(ICMP_ECHO_REPLY), PAYLOAD, PAYLOAD_SIZE), 0);
    }
    return replies;
  }

  HANDLE handle = INVALID_HANDLE_VALUE;
  IPAddr answer = 0, ignore = 0, vanish = 0, no_route = 0, routed = 0, router_no_route = 0;
};

TEST_F(Netns, HandleIsTheSocketKindTheNamespaceAllows) {
  std::string expected = netns_guard::env_or_empty("ICMP_EXPECT_SOCKET");
  ASSERT_TRUE(expected == "datagram" || expected == "raw") << "ICMP_EXPECT_SOCKET unset";
  EXPECT_EQ(icmp_socket_kind(handle), expected == "datagram" ? ICMP_SOCKET_DATAGRAM : ICMP_SOCKET_RAW);
}

TEST_F(Netns, AnsweringHostReplies) {
  ICMP_ECHO_REPLY record;
  ASSERT_EQ(send(answer, 2000, record), 1u) << "status " << record.Status;
  EXPECT_EQ(record.Address, answer);
  EXPECT_EQ(record.Status, IP_SUCCESS);
  EXPECT_EQ(record.DataSize, PAYLOAD_SIZE);
  EXPECT_EQ(record.Options.Ttl, 64);
}

TEST_F(Netns, HostIgnoringEchoTimesOutAfterTheWholeWait) {
  ICMP_ECHO_REPLY record;
  int64_t elapsed = 0;
  SetLastError(0);
  EXPECT_EQ(send(ignore, 700, record, &elapsed), 0u);
  EXPECT_EQ(record.Status, IP_REQ_TIMED_OUT);
  EXPECT_EQ(GetLastError(), IP_REQ_TIMED_OUT);
  EXPECT_GE(elapsed, 700) << "the wait ended early";
}

TEST_F(Netns, AddressWithoutRouteFailsAsNetworkUnreachable) {
  ICMP_ECHO_REPLY record;
  EXPECT_EQ(send(no_route, 5000, record), 0u);
  EXPECT_EQ(record.Status, IP_DEST_NET_UNREACHABLE) << "a time-out would say 11010";
}

TEST_F(Netns, HostBehindASilentNeighbourIsReportedUnreachable) {
  for (int attempt = 0; attempt < 2; ++attempt) {  // the second meets a failed neighbour entry
    ICMP_ECHO_REPLY record;
    EXPECT_EQ(send(vanish, 10000, record), 0u);
    EXPECT_EQ(record.Status, IP_DEST_HOST_UNREACHABLE) << "attempt " << attempt;
  }
}

TEST_F(Netns, HostBehindARouterRepliesWithTheTtlItArrivedWith) {
  ICMP_ECHO_REPLY record;
  ASSERT_EQ(send(routed, 2000, record), 1u) << "status " << record.Status;
  EXPECT_EQ(record.Address, routed);
  EXPECT_EQ(record.Options.Ttl, 63) << "64 less the router's hop";
}

TEST_F(Netns, RequestWhoseTtlRunsOutAtTheRouterIsReportedByTheRouter) {
  IP_OPTION_INFORMATION options{};
  options.Ttl = 1;
  alignas(ICMP_ECHO_REPLY) uint8_t buffer[108] = {};
  EXPECT_EQ(IcmpSendEcho(handle, routed, PAYLOAD, PAYLOAD_SIZE, &options, buffer, sizeof buffer,
                         5000),
            0u);
  ICMP_ECHO_REPLY record = first_record(buffer);
  EXPECT_EQ(record.Status, IP_TTL_EXPIRED_TRANSIT);
  EXPECT_NE(record.Address, routed) << "the router reported it, not the host";
  EXPECT_NE(record.Address, 0u);
  // The time-to-live asked for applied to that request only.
  ASSERT_EQ(send(routed, 2000, record), 1u) << "status " << record.Status;
}

TEST_F(Netns, RouterWithoutARouteAnswersNetworkUnreachable) {
  ICMP_ECHO_REPLY record;
  EXPECT_EQ(send(router_no_route, 5000, record), 0u);
  EXPECT_EQ(record.Status, IP_DEST_NET_UNREACHABLE);
  EXPECT_NE(record.Address, router_no_route) << "the router reported it";
  EXPECT_NE(record.Address, 0u);
}

TEST_F(Netns, AnotherProgramPingingTheSameHostFastDoesNotConfuseTheMatching) {
  std::string target = netns_guard::env_or_empty("ICMP_TEST_ANSWER");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const char* argv[] = {"ping", "-q", "-n", "-i", "0.002", "-c", "5000", "-w", "20",
                        "-s", "10", target.c_str(), nullptr};
  pid_t ping = 0;
  ASSERT_EQ(posix_spawnp(&ping, "ping", &actions, nullptr, const_cast<char**>(argv), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  usleep(100 * 1000);
  int status = 0;
  ASSERT_EQ(waitpid(ping, &status, WNOHANG), 0) << "ping did not keep running";

  // Two seconds of requests, one a millisecond, while ping sends one every 2 ms.
  int requests = 0;
  for (int64_t end = monotonic_ms() + 2000; monotonic_ms() < end; ++requests) {
    const int i = requests;
    usleep(1000);
    char data[16];
    snprintf(data, sizeof data, "Echo %05d", i);
    alignas(ICMP_ECHO_REPLY) uint8_t buffer[108] = {};
    ASSERT_EQ(IcmpSendEcho(handle, answer, data, PAYLOAD_SIZE, nullptr, buffer, sizeof buffer, 2000),
              1u)
        << "request " << i << ", status " << first_record(buffer).Status;
    ICMP_ECHO_REPLY record = first_record(buffer);
    EXPECT_EQ(record.Address, answer);
    EXPECT_EQ(record.DataSize, PAYLOAD_SIZE);
    EXPECT_EQ(memcmp(buffer + sizeof(ICMP_ECHO_REPLY), data, PAYLOAD_SIZE), 0) << i;
  }
  EXPECT_GT(requests, 100);
  EXPECT_EQ(waitpid(ping, &status, WNOHANG), 0) << "ping ended before our requests did";
  kill(ping, SIGTERM);
  waitpid(ping, &status, 0);
}

TEST_F(Netns, RequestsOnSeveralHandlesAtOnceEachGetTheirOwnReply) {
  std::atomic<int> answered{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      HANDLE own = IcmpCreateFile();
      for (int i = 0; i < 100; ++i) {
        char data[16];
        snprintf(data, sizeof data, "T%d %06d", t, i);
        alignas(ICMP_ECHO_REPLY) uint8_t buffer[108] = {};
        if (IcmpSendEcho(own, answer, data, PAYLOAD_SIZE, nullptr, buffer, sizeof buffer, 2000) ==
                1 &&
            memcmp(buffer + sizeof(ICMP_ECHO_REPLY), data, PAYLOAD_SIZE) == 0) {
          ++answered;
        }
      }
      IcmpCloseHandle(own);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(answered.load(), 400);
}

// Unprivileged, where the namespace allows nobody datagram ICMP sockets.
TEST(NetnsWithoutSockets, NoHandleOpensAndRequestsThroughItFail) {
  if (netns_guard::env_or_empty("ICMP_EXPECT_SOCKET") != "none") {
    GTEST_SKIP() << "ICMP sockets can be opened here";
  }
  ASSERT_EQ(netns_guard::refusal(), "");
  HANDLE handle = IcmpCreateFile();
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  alignas(ICMP_ECHO_REPLY) uint8_t buffer[108] = {};
  EXPECT_EQ(IcmpSendEcho(handle, inet_addr("127.0.0.1"), PAYLOAD, PAYLOAD_SIZE, nullptr, buffer,
                         sizeof buffer, 2000),
            0u);
  EXPECT_EQ(first_record(buffer).Status, IP_GENERAL_FAILURE);
}

// Raw sockets inside the ignoring host's namespace, to forge packets from that host.
class Forger {
 public:
  bool open(const std::string& host_namespace, IPAddr host_address, IPAddr our_address) {
    int ours = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    int theirs = ::open(("/run/netns/" + host_namespace).c_str(), O_RDONLY | O_CLOEXEC);
    bool entered = ours >= 0 && theirs >= 0 && setns(theirs, CLONE_NEWNET) == 0;
    if (entered) {
      from_host_ = bound_raw_socket(host_address);
      link_address_ = source_address_towards(our_address);
      from_link_ = bound_raw_socket(link_address_);
      if (setns(ours, CLONE_NEWNET) != 0) abort();  // never carry on in the wrong namespace
    }
    if (ours >= 0) close(ours);
    if (theirs >= 0) close(theirs);
    to_.sin_family = AF_INET;
    to_.sin_addr.s_addr = our_address;
    return from_host_ >= 0 && from_link_ >= 0 && link_address_ != 0;
  }
  ~Forger() {
    if (from_host_ >= 0) close(from_host_);
    if (from_link_ >= 0) close(from_link_);
  }
  void from_host(const Bytes& message) const { send_from(from_host_, message); }
  void from_link(const Bytes& message) const { send_from(from_link_, message); }

 private:
  static int bound_raw_socket(IPAddr source) {
    int fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = source;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }
  void send_from(int fd, const Bytes& message) const {
    sendto(fd, message.data(), message.size(), MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to_),
           sizeof to_);
  }
  int from_host_ = -1, from_link_ = -1;
  IPAddr link_address_ = 0;
  sockaddr_in to_{};
};

// While a request to the ignoring host waits, that host sends packets that nearly match
// it, then (depending on the case) the one packet that does.
TEST_F(Netns, NearlyMatchingRepliesAndErrorsNeitherAnswerNorEndTheWait) {
  if (geteuid() != 0) GTEST_SKIP() << "forging packets in the host's namespace needs root";
  std::string variable = "NETNS_HOST_" + netns_guard::env_or_empty("ICMP_TEST_IGNORE");
  for (char& c : variable) {
    if (c == '.') c = '_';
  }
  std::string host_namespace = netns_guard::env_or_empty(variable.c_str());
  ASSERT_NE(host_namespace, "") << variable << " unset";
  IPAddr us = source_address_towards(ignore);
  ASSERT_NE(us, 0u);
  Forger forger;
  ASSERT_TRUE(forger.open(host_namespace, ignore, us));

  const Bytes data(PAYLOAD, PAYLOAD + PAYLOAD_SIZE);
  enum Ending { NOTHING, EXACT_REPLY, EXACT_ERROR };
  struct Case {
    const char* what;
    Ending ending;
    DWORD replies;
    ULONG status;
  };
  const Case cases[] = {
      {"near misses only", NOTHING, 0, IP_REQ_TIMED_OUT},
      {"then the exact reply", EXACT_REPLY, 1, IP_SUCCESS},
      {"then an error quoting the request", EXACT_ERROR, 0, IP_DEST_HOST_UNREACHABLE},
  };
  for (const Case& c : cases) {
    const uint16_t id = icmp_handle_identifier(handle);
    const uint16_t seq = icmp_next_sequence();
    Bytes changed = data;
    changed[9] = '!';
    Bytes shorter(data.begin(), data.end() - 1);
    Bytes longer = data;
    longer.push_back('x');
    Bytes request = icmp_message(ICMP_TYPE_ECHO_REQUEST, 0, id, seq, data);
    Bytes later_request = icmp_message(ICMP_TYPE_ECHO_REQUEST, 0, id, wire_plus(seq, 1), data);
    Bytes other_id_request = icmp_message(ICMP_TYPE_ECHO_REQUEST, 0, wire_plus(id, 1), seq, data);
    Bytes reply = icmp_message(ICMP_TYPE_ECHO_REPLY, 0, id, seq, data);
    Bytes bad_code = icmp_message(ICMP_TYPE_ECHO_REPLY, 1, id, seq, data);
    Bytes bad_checksum = reply;
    bad_checksum[2] ^= 0x40;
    const size_t quoted = ICMP_HEADER_SIZE + PAYLOAD_SIZE;
    const std::vector<Bytes> near_misses = {
        icmp_message(ICMP_TYPE_ECHO_REPLY, 0, id, wire_plus(seq, 1), data),
        icmp_message(ICMP_TYPE_ECHO_REPLY, 0, id, wire_plus(seq, -1), data),
        icmp_message(ICMP_TYPE_ECHO_REPLY, 0, wire_plus(id, 1), seq, data),
        icmp_message(ICMP_TYPE_ECHO_REPLY, 0, id, seq, changed),
        icmp_message(ICMP_TYPE_ECHO_REPLY, 0, id, seq, shorter),
        icmp_message(ICMP_TYPE_ECHO_REPLY, 0, id, seq, longer),
        bad_code,
        bad_checksum,
        icmp_error(3, 1, later_request, us, ignore, quoted),
        icmp_error(3, 1, request, us, answer, quoted),
        icmp_error(3, 1, reply, us, ignore, quoted),
        icmp_error(11, 0, other_id_request, us, ignore, quoted),
    };
    std::atomic<bool> stop{false};
    std::thread sender([&] {
      int64_t started = monotonic_ms();
      bool ended = false;
      while (!stop.load()) {
        for (const Bytes& near_miss : near_misses) forger.from_host(near_miss);
        forger.from_link(reply);  // exact, but from the wrong address
        if (!ended && monotonic_ms() - started >= 300) {
          if (c.ending == EXACT_REPLY) forger.from_host(reply);
          if (c.ending == EXACT_ERROR) forger.from_host(icmp_error(3, 1, request, us, ignore, quoted));
          ended = true;
        }
        usleep(2000);
      }
    });
    ICMP_ECHO_REPLY record;
    int64_t elapsed = 0;
    DWORD replies = send(ignore, 1500, record, &elapsed);
    stop = true;
    sender.join();
    EXPECT_EQ(replies, c.replies) << c.what;
    EXPECT_EQ(record.Status, c.status) << c.what;
    if (c.ending == NOTHING) {
      EXPECT_GE(elapsed, 1500) << c.what << ": the wait ended early";
    } else {
      EXPECT_EQ(record.Address, ignore) << c.what;
    }
  }
}

}  // namespace
