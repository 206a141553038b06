// The probe against real test hosts inside a private network namespace made by
// tools/netns/netns_run.sh, with the monitor's time-out of 2000 ms.
#include <time.h>

#include <gtest/gtest.h>

#include <string>

#include "app/echo_probe.h"
#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "runtime/strings.h"
#include "tests/platform/icmp/netns_guard.h"

namespace {

int64_t monotonic_ms() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

class EchoProbeNetns : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    MainHeap = HeapCreate(0, 4096, 0);
    string_manager_init();
  }
  void SetUp() override {
    std::string refusal = netns_guard::refusal();
    if (getenv("NETNS_PROBE") == nullptr) GTEST_SKIP() << refusal;
    ASSERT_EQ(refusal, "") << "refusing to send beyond loopback";
    no_socket = netns_guard::env_or_empty("ICMP_EXPECT_SOCKET") == "none";
  }
  bool no_socket = false;
  static std::string address(const char* name) {
    std::string text = netns_guard::env_or_empty(name);
    EXPECT_NE(text, "") << name << " unset";
    return text;
  }
};

TEST_F(EchoProbeNetns, AnsweringHostGivesARoundTripTime) {
  if (no_socket) GTEST_SKIP() << "no ICMP socket can be opened here";
  EXPECT_GE(echo_probe(address("ICMP_TEST_ANSWER").c_str(), 2000), 0);
}

TEST_F(EchoProbeNetns, HostIgnoringEchoGivesTheTimeOutAfterTwoSeconds) {
  if (no_socket) GTEST_SKIP() << "no ICMP socket can be opened here";
  int64_t started = monotonic_ms();
  EXPECT_EQ(echo_probe(address("ICMP_TEST_IGNORE").c_str(), 2000), -11010);
  EXPECT_GE(monotonic_ms() - started, 2000) << "the wait ended early";
}

TEST_F(EchoProbeNetns, AddressWithoutRouteGivesNetworkUnreachable) {
  if (no_socket) GTEST_SKIP() << "no ICMP socket can be opened here";
  EXPECT_EQ(echo_probe(address("ICMP_TEST_NO_ROUTE").c_str(), 2000), -11002);
}

TEST_F(EchoProbeNetns, RouterWithoutRouteGivesNetworkUnreachable) {
  if (no_socket) GTEST_SKIP() << "no ICMP socket can be opened here";
  EXPECT_EQ(echo_probe(address("ICMP_TEST_ROUTER_NO_ROUTE").c_str(), 2000), -11002);
}

TEST_F(EchoProbeNetns, HostBehindASilentNeighbourGivesHostUnreachable) {
  if (no_socket) GTEST_SKIP() << "no ICMP socket can be opened here";
  EXPECT_EQ(echo_probe(address("ICMP_TEST_VANISH").c_str(), 2000), -11003);
}

// Mended: a machine that cannot send probes at all must not show all-well.
TEST_F(EchoProbeNetns, WithoutAnyIcmpSocketEveryProbeIsAGeneralFailure) {
  if (!no_socket) GTEST_SKIP() << "ICMP sockets can be opened here";
  EXPECT_EQ(echo_probe(address("ICMP_TEST_ANSWER").c_str(), 2000), -11050);
  EXPECT_EQ(echo_probe("127.0.0.1", 2000), -11050);
}

}  // namespace
