// The probe's folding of the echo outcome into one number, and real probes of 127.0.0.1
// with the string manager running as in the program.
#include "app/echo_probe.h"

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "runtime/strings.h"

namespace {

ICMP_ECHO_REPLY record_with(ULONG status, ULONG round_trip_ms) {
  ICMP_ECHO_REPLY record{};
  record.Status = status;
  record.RoundTripTime = round_trip_ms;
  return record;
}

TEST(EchoProbeResult, ReplyGivesItsRoundTripTimeAndNoReplyANegativeStatus) {
  struct Case {
    const char* what;
    DWORD replies;
    ULONG status;
    ULONG round_trip_ms;
    int32_t expected;
  };
  const Case cases[] = {
      {"reply in under a millisecond", 1, IP_SUCCESS, 0, 0},
      {"reply after 37 ms", 1, IP_SUCCESS, 37, 37},
      {"reply whose record says otherwise", 1, IP_REQ_TIMED_OUT, 12, 12},
      {"two replies", 2, IP_SUCCESS, 3, 3},
      {"time-out", 0, IP_REQ_TIMED_OUT, 0, -11010},
      {"host unreachable", 0, IP_DEST_HOST_UNREACHABLE, 0, -11003},
      {"smallest status", 0, 1, 0, -1},
      {"largest negatable status", 0, 2147483647u, 0, -2147483647},
      {"status 2^31", 0, 0x80000000u, 0, INT32_MIN},
      // Mended: no reply must never read as all-well.
      {"no reply and no status", 0, IP_SUCCESS, 0, -11050},
      {"no reply, status that negates to a positive number", 0, 0xffffffffu, 0, -11050},
      {"no reply, status 2^31 + 1", 0, 0x80000001u, 0, -11050},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(echo_probe_result(c.replies, record_with(c.status, c.round_trip_ms)), c.expected)
        << c.what;
  }
}

class EchoProbe : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    MainHeap = HeapCreate(0, 4096, 0);
    string_manager_init();
  }
  static void TearDownTestSuite() {
    string_manager_shutdown();
    HeapDestroy(MainHeap);
    MainHeap = 0;
  }
  void TearDown() override { heap_fail_request(0); }
};

TEST_F(EchoProbe, LoopbackAnswersAndTheAddressCopyIsGivenBack) {
  HeapStats before = heap_stats(StringHeap);
  EXPECT_GE(echo_probe("127.0.0.1", 2000), 0);
  HeapStats after = heap_stats(StringHeap);
  EXPECT_EQ(after.live_blocks, before.live_blocks);
  EXPECT_EQ(after.live_bytes, before.live_bytes);
}

TEST_F(EchoProbe, TextsThatNameNoProbeableAddressGiveANegativeResult) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  // Nothing is sent for these: an unreadable text reads as the broadcast address.
  const Case cases[] = {
      {nullptr, -11050},
      {"", -11018},
      {"not an address", -11018},
      {"255.255.255.255", -11018},
      {"0.0.0.0", -11018},
      {"224.0.0.1", -11018},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(echo_probe(c.text, 2000), c.expected) << (c.text ? c.text : "(null)");
  }
}

TEST_F(EchoProbe, AddressCopyThatCannotBeMadeGivesAGeneralFailure) {
  HeapStats before = heap_stats(StringHeap);
  heap_fail_request(1);
  EXPECT_EQ(echo_probe("127.0.0.1", 2000), -11050);
  heap_fail_request(0);
  EXPECT_EQ(heap_stats(StringHeap).live_blocks, before.live_blocks);
  EXPECT_GE(echo_probe("127.0.0.1", 2000), 0) << "the next probe works again";
}

// Reads the requests on loopback through a raw socket of its own (root only).
TEST_F(EchoProbe, RequestCarriesExactlyTheTenCharactersOfThePayload) {
  int watcher = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (watcher < 0) GTEST_SKIP() << "a raw socket needs CAP_NET_RAW";
  timeval wait{2, 0};
  setsockopt(watcher, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  ASSERT_GE(echo_probe("127.0.0.1", 2000), 0);
  bool seen = false;
  uint8_t packet[2048];
  for (int i = 0; i < 64 && !seen; ++i) {
    ssize_t got = recv(watcher, packet, sizeof packet, MSG_DONTWAIT);
    if (got < 0) break;
    size_t header = static_cast<size_t>(packet[0] & 0x0f) * 4;
    if (static_cast<size_t>(got) < header + 8 || packet[header] != 8) continue;  // requests only
    if (memcmp(packet + header + 8, "Echo This.", 10) != 0) continue;
    seen = true;
    EXPECT_EQ(static_cast<size_t>(got), header + 8 + 10) << "bytes behind the payload were sent";
    EXPECT_EQ(header, 20u) << "the request carried IP options";
  }
  close(watcher);
  EXPECT_TRUE(seen) << "the request was not seen on loopback";
}

}  // namespace
