// The echo functions for real against 127.0.0.1, and their answers to bad arguments. Run
// on the machine as it is, and again inside namespaces for each socket kind.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/icmp/icmp.h"
#include "platform/icmp/icmp_handle.h"

namespace {

const char PAYLOAD[] = "Echo This.";
const WORD PAYLOAD_SIZE = 10;
const IPAddr LOOPBACK = inet_addr("127.0.0.1");

ICMP_ECHO_REPLY first_record(const std::vector<uint8_t>& buffer) {
  ICMP_ECHO_REPLY record;
  memcpy(&record, buffer.data(), sizeof record);
  return record;
}

class Loopback : public ::testing::Test {
 protected:
  void SetUp() override {
    handle = IcmpCreateFile();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "no ICMP socket of either kind could be opened";
  }
  void TearDown() override {
    if (handle != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(IcmpCloseHandle(handle));
    }
  }
  HANDLE handle = INVALID_HANDLE_VALUE;
};

TEST_F(Loopback, AnswerFillsTheFirstRecordAndStoresTheDataBehindIt) {
  std::vector<uint8_t> buffer(108, 0xcc);
  SetLastError(0);
  DWORD replies = IcmpSendEcho(handle, LOOPBACK, PAYLOAD, PAYLOAD_SIZE, nullptr, buffer.data(),
                               static_cast<DWORD>(buffer.size()), 2000);
  ASSERT_EQ(replies, 1u);
  ICMP_ECHO_REPLY record = first_record(buffer);
  EXPECT_EQ(record.Address, LOOPBACK);
  EXPECT_EQ(record.Status, IP_SUCCESS);
  EXPECT_LT(record.RoundTripTime, 2000u);
  EXPECT_EQ(record.DataSize, PAYLOAD_SIZE);
  EXPECT_EQ(record.Data, buffer.data() + sizeof(ICMP_ECHO_REPLY));
  EXPECT_EQ(memcmp(buffer.data() + sizeof(ICMP_ECHO_REPLY), PAYLOAD, PAYLOAD_SIZE), 0);
  // The terminator was never sent, so nothing was echoed behind the ten bytes.
  EXPECT_EQ(buffer[sizeof(ICMP_ECHO_REPLY) + PAYLOAD_SIZE], 0xcc);
  EXPECT_EQ(record.Options.Ttl, 64) << "the reply leaves with the default time-to-live";
  EXPECT_EQ(record.Options.OptionsSize, 0);
}

TEST_F(Loopback, EverySizeFromNothingToTheLargestPacketIsEchoedExactly) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{11}, size_t{1472}, size_t{9000}, size_t{65507}}) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + size);
    std::vector<uint8_t> buffer(sizeof(ICMP_ECHO_REPLY) + size);
    DWORD replies = IcmpSendEcho(handle, LOOPBACK, data.data(), static_cast<WORD>(size),
                                 nullptr, buffer.data(), static_cast<DWORD>(buffer.size()), 2000);
    ASSERT_EQ(replies, 1u) << "size " << size << ", status " << first_record(buffer).Status;
    ICMP_ECHO_REPLY record = first_record(buffer);
    EXPECT_EQ(record.DataSize, size);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), buffer.begin() + sizeof(ICMP_ECHO_REPLY)))
        << "size " << size;
  }
}

TEST_F(Loopback, RequestLargerThanAnIpPacketFailsAtOnce) {
  std::vector<uint8_t> data(65508, 1);
  std::vector<uint8_t> buffer(sizeof(ICMP_ECHO_REPLY) + data.size());
  EXPECT_EQ(IcmpSendEcho(handle, LOOPBACK, data.data(), static_cast<WORD>(data.size()), nullptr,
                         buffer.data(), static_cast<DWORD>(buffer.size()), 2000),
            0u);
  EXPECT_EQ(first_record(buffer).Status, IP_PACKET_TOO_BIG);
  EXPECT_EQ(GetLastError(), IP_PACKET_TOO_BIG);
}

TEST_F(Loopback, ManyRequestsThroughOneHandleEachGetTheirOwnReply) {
  for (int i = 0; i < 50; ++i) {
    char data[16];
    snprintf(data, sizeof data, "request %04d", i);
    std::vector<uint8_t> buffer(sizeof(ICMP_ECHO_REPLY) + 16);
    uint16_t sequence = icmp_next_sequence();
    ASSERT_EQ(IcmpSendEcho(handle, LOOPBACK, data, 12, nullptr, buffer.data(),
                           static_cast<DWORD>(buffer.size()), 2000),
              1u)
        << i;
    EXPECT_NE(icmp_next_sequence(), sequence) << "each request takes a new sequence number";
    EXPECT_EQ(memcmp(buffer.data() + sizeof(ICMP_ECHO_REPLY), data, 12), 0) << i;
  }
}

TEST_F(Loopback, TypeOfServiceOfTheRequestComesBackOnTheReply) {
  IP_OPTION_INFORMATION options{};
  options.Tos = 0x28;
  options.Ttl = 5;
  std::vector<uint8_t> buffer(108);
  ASSERT_EQ(IcmpSendEcho(handle, LOOPBACK, PAYLOAD, PAYLOAD_SIZE, &options, buffer.data(), 108,
                         2000),
            1u);
  ICMP_ECHO_REPLY record = first_record(buffer);
  EXPECT_EQ(record.Options.Tos, 0x28);
  EXPECT_EQ(record.Options.Ttl, 64) << "the reply's own time-to-live, not the request's";
}

TEST_F(Loopback, BadRequestsFailWithoutSendingAndSayWhy) {
  IP_OPTION_INFORMATION with_option_bytes{};
  BYTE option_bytes[4] = {1, 1, 1, 0};
  with_option_bytes.OptionsSize = 4;
  with_option_bytes.OptionsData = option_bytes;
  struct Case {
    const char* what;
    IPAddr destination;
    const void* data;
    WORD size;
    IP_OPTION_INFORMATION* options;
    DWORD reply_size;
    ULONG status;
  };
  const DWORD record = sizeof(ICMP_ECHO_REPLY);
  const Case cases[] = {
      {"no room for the echoed data", LOOPBACK, PAYLOAD, PAYLOAD_SIZE, nullptr,
       record + PAYLOAD_SIZE - 1, IP_BUF_TOO_SMALL},
      {"data missing", LOOPBACK, nullptr, PAYLOAD_SIZE, nullptr, 108, IP_BAD_REQ},
      {"IP options asked for", LOOPBACK, PAYLOAD, PAYLOAD_SIZE, &with_option_bytes, 108,
       IP_BAD_OPTION},
      {"any address", inet_addr("0.0.0.0"), PAYLOAD, PAYLOAD_SIZE, nullptr, 108,
       IP_BAD_DESTINATION},
      {"broadcast (also an unreadable text)", INADDR_NONE, PAYLOAD, PAYLOAD_SIZE, nullptr, 108,
       IP_BAD_DESTINATION},
      {"multicast", inet_addr("224.0.0.1"), PAYLOAD, PAYLOAD_SIZE, nullptr, 108,
       IP_BAD_DESTINATION},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> buffer(108, 0xcc);
    EXPECT_EQ(IcmpSendEcho(handle, c.destination, c.data, c.size, c.options, buffer.data(),
                           c.reply_size, 2000),
              0u)
        << c.what;
    EXPECT_EQ(first_record(buffer).Status, c.status) << c.what;
    EXPECT_EQ(GetLastError(), c.status) << c.what;
  }
}

TEST_F(Loopback, BufferWithoutRoomForARecordIsLeftUntouched) {
  std::vector<uint8_t> buffer(sizeof(ICMP_ECHO_REPLY), 0xcc);
  for (DWORD size : {DWORD{0}, DWORD{1}, static_cast<DWORD>(sizeof(ICMP_ECHO_REPLY) - 1)}) {
    SetLastError(0);
    EXPECT_EQ(IcmpSendEcho(handle, LOOPBACK, PAYLOAD, PAYLOAD_SIZE, nullptr, buffer.data(), size,
                           2000),
              0u);
    EXPECT_EQ(GetLastError(), IP_BUF_TOO_SMALL);
    for (uint8_t byte : buffer) ASSERT_EQ(byte, 0xcc) << "size " << size;
  }
  EXPECT_EQ(IcmpSendEcho(handle, LOOPBACK, PAYLOAD, PAYLOAD_SIZE, nullptr, nullptr, 108, 2000), 0u);
  EXPECT_EQ(GetLastError(), IP_BUF_TOO_SMALL);
}

TEST(IcmpHandles, OnlyOpenEchoHandlesAreAccepted) {
  int udp = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(udp, 0);
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  HANDLE closed = IcmpCreateFile();
  ASSERT_NE(closed, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(IcmpCloseHandle(closed));
  struct Case {
    const char* what;
    HANDLE handle;
  };
  const Case cases[] = {
      {"invalid handle", INVALID_HANDLE_VALUE},
      {"closed handle", closed},
      {"a UDP socket", udp},
      {"a pipe", pipe_ends[0]},
      {"beyond any descriptor", HANDLE{1} << 40},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> buffer(108);
    EXPECT_EQ(icmp_socket_kind(c.handle), ICMP_SOCKET_NONE) << c.what;
    EXPECT_EQ(IcmpSendEcho(c.handle, LOOPBACK, PAYLOAD, PAYLOAD_SIZE, nullptr, buffer.data(), 108,
                           2000),
              0u)
        << c.what;
    EXPECT_EQ(first_record(buffer).Status, IP_GENERAL_FAILURE) << c.what;
    EXPECT_FALSE(IcmpCloseHandle(c.handle)) << c.what;
  }
  // Refusing to close them left the other descriptors open.
  EXPECT_NE(fcntl(udp, F_GETFD), -1);
  EXPECT_NE(fcntl(pipe_ends[0], F_GETFD), -1);
  close(udp);
  close(pipe_ends[0]);
  close(pipe_ends[1]);
}

TEST(IcmpHandles, HandleIsADatagramOrRawSocketThatEndsWithTheProcessImage) {
  HANDLE handle = IcmpCreateFile();
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  IcmpSocketKind kind = icmp_socket_kind(handle);
  EXPECT_TRUE(kind == ICMP_SOCKET_DATAGRAM || kind == ICMP_SOCKET_RAW);
  EXPECT_EQ(fcntl(static_cast<int>(handle), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC)
      << "a program started by ours must not inherit the socket";
  EXPECT_TRUE(IcmpCloseHandle(handle));
}

}  // namespace
