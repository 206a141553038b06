// Matching rules of the echo facility on crafted packets: which packets answer our
// request, which errors are about it, and how the first record is written.
#include "platform/icmp/icmp_packet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/platform/icmp/icmp_test_packets.h"

namespace {

using namespace icmp_test;

const IPAddr TARGET = address(198, 51, 100, 10);
const IPAddr OTHER = address(198, 51, 100, 11);
const IPAddr US = address(10, 77, 1, 1);
const uint8_t PAYLOAD[] = {'E', 'c', 'h', 'o', ' ', 'T', 'h', 'i', 's', '.'};

IcmpRequest our_request() {
  return IcmpRequest{TARGET, 0x3412, 0x0700, PAYLOAD, sizeof PAYLOAD};
}

Bytes payload(size_t cut = 0) { return Bytes(PAYLOAD, PAYLOAD + sizeof PAYLOAD - cut); }

Bytes echo_reply(const Bytes& data = payload(), uint16_t identifier = 0x3412,
                 uint16_t sequence = 0x0700) {
  return icmp_message(ICMP_TYPE_ECHO_REPLY, 0, identifier, sequence, data);
}

// An ICMP error that quotes the IP header and start of a request.
Bytes quoting_error(uint8_t type, uint8_t code, const Bytes& quoted_request,
                    IPAddr quoted_destination = TARGET, size_t quoted_bytes = 8 + sizeof PAYLOAD) {
  return icmp_error(type, code, quoted_request, US, quoted_destination, quoted_bytes);
}

Bytes our_echo_request() {
  return icmp_message(ICMP_TYPE_ECHO_REQUEST, 0, 0x3412, 0x0700, payload());
}

IcmpVerdictKind classify_message(const Bytes& message, IPAddr source = TARGET) {
  return icmp_classify_message(message.data(), message.size(), source, our_request()).kind;
}

IcmpVerdictKind classify_packet(const Bytes& packet) {
  return icmp_classify_ip_packet(packet.data(), packet.size(), our_request()).kind;
}

TEST(IcmpEchoHeader, CarriesIdentifierSequenceAndAChecksumOverTheData) {
  uint8_t header[ICMP_HEADER_SIZE];
  IcmpRequest request = our_request();
  icmp_build_echo_header(header, request);
  EXPECT_EQ(header[0], ICMP_TYPE_ECHO_REQUEST);
  EXPECT_EQ(header[1], 0);
  EXPECT_EQ(memcmp(header + 4, &request.identifier, 2), 0);
  EXPECT_EQ(memcmp(header + 6, &request.sequence, 2), 0);
  // A correct checksum makes the sum over header and data come out as zero.
  EXPECT_EQ(icmp_checksum(header, sizeof header, PAYLOAD, sizeof PAYLOAD), 0);
}

TEST(IcmpChecksum, HandlesOddSizesAcrossTheTwoParts) {
  // Known value: the sum of the words 0x0001 0xf203 0xf4f5 0xf6f7 is 0xddf2 after folding;
  // its complement is 0x220d.
  const uint8_t whole[] = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
  uint16_t expected = icmp_checksum(whole, sizeof whole, nullptr, 0);
  const uint8_t wire[2] = {0x22, 0x0d};
  uint16_t known;
  memcpy(&known, wire, 2);
  EXPECT_EQ(expected, known);
  for (size_t split = 0; split <= sizeof whole; ++split) {
    EXPECT_EQ(icmp_checksum(whole, split, whole + split, sizeof whole - split), expected)
        << "split at " << split;
  }
}

TEST(IcmpMatching, OnlyTheExactEchoReplyFromTheTargetIsOurs) {
  struct Case {
    const char* what;
    Bytes message;
    IPAddr source;
    IcmpVerdictKind expected;
  };
  Bytes changed = payload();
  changed[9] = '!';
  Bytes longer = payload();
  longer.push_back('x');
  Bytes wrong_code = echo_reply();
  wrong_code[1] = 1;
  Bytes cut_header = echo_reply();
  cut_header.resize(7);
  const Case cases[] = {
      {"exact reply", echo_reply(), TARGET, ICMP_VERDICT_REPLY},
      {"another host", echo_reply(), OTHER, ICMP_VERDICT_IGNORE},
      {"other identifier", echo_reply(payload(), 0x3413), TARGET, ICMP_VERDICT_IGNORE},
      {"earlier sequence", echo_reply(payload(), 0x3412, 0x0600), TARGET, ICMP_VERDICT_IGNORE},
      {"later sequence", echo_reply(payload(), 0x3412, 0x0701), TARGET, ICMP_VERDICT_IGNORE},
      {"changed data", echo_reply(changed), TARGET, ICMP_VERDICT_IGNORE},
      {"data cut short", echo_reply(payload(1)), TARGET, ICMP_VERDICT_IGNORE},
      {"data too long", echo_reply(longer), TARGET, ICMP_VERDICT_IGNORE},
      {"non-zero code", wrong_code, TARGET, ICMP_VERDICT_IGNORE},
      {"our own request looped back", our_echo_request(), TARGET, ICMP_VERDICT_IGNORE},
      {"header cut short", cut_header, TARGET, ICMP_VERDICT_IGNORE},
      {"empty", Bytes(), TARGET, ICMP_VERDICT_IGNORE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(classify_message(c.message, c.source), c.expected) << c.what;
  }
}

TEST(IcmpMatching, EmptyDataMatchesAnEmptyRequest) {
  IcmpRequest empty{TARGET, 0x3412, 0x0700, nullptr, 0};
  Bytes reply = echo_reply(Bytes());
  EXPECT_EQ(icmp_classify_message(reply.data(), reply.size(), TARGET, empty).kind,
            ICMP_VERDICT_REPLY);
  Bytes with_data = echo_reply();
  EXPECT_EQ(icmp_classify_message(with_data.data(), with_data.size(), TARGET, empty).kind,
            ICMP_VERDICT_IGNORE);
}

TEST(IcmpMatching, ErrorsCountOnlyWhenTheyQuoteOurRequest) {
  Bytes other_sequence = icmp_message(ICMP_TYPE_ECHO_REQUEST, 0, 0x3412, 0x0701, payload());
  Bytes other_identifier = icmp_message(ICMP_TYPE_ECHO_REQUEST, 0, 0x3411, 0x0700, payload());
  Bytes other_data = payload();
  other_data[0] = 'e';
  Bytes changed_data = icmp_message(ICMP_TYPE_ECHO_REQUEST, 0, 0x3412, 0x0700, other_data);
  struct Case {
    const char* what;
    Bytes message;
    IcmpVerdictKind expected;
    ULONG status;
  };
  const Case cases[] = {
      {"host unreachable", quoting_error(3, 1, our_echo_request()), ICMP_VERDICT_ERROR,
       IP_DEST_HOST_UNREACHABLE},
      {"net unreachable", quoting_error(3, 0, our_echo_request()), ICMP_VERDICT_ERROR,
       IP_DEST_NET_UNREACHABLE},
      {"admin prohibited", quoting_error(3, 13, our_echo_request()), ICMP_VERDICT_ERROR,
       IP_DEST_HOST_UNREACHABLE},
      {"fragmentation needed", quoting_error(3, 4, our_echo_request()), ICMP_VERDICT_ERROR,
       IP_PACKET_TOO_BIG},
      {"ttl expired in transit", quoting_error(11, 0, our_echo_request()), ICMP_VERDICT_ERROR,
       IP_TTL_EXPIRED_TRANSIT},
      {"reassembly time exceeded", quoting_error(11, 1, our_echo_request()), ICMP_VERDICT_ERROR,
       IP_TTL_EXPIRED_REASSEM},
      {"parameter problem", quoting_error(12, 0, our_echo_request()), ICMP_VERDICT_ERROR,
       IP_PARAM_PROBLEM},
      {"source quench", quoting_error(4, 0, our_echo_request()), ICMP_VERDICT_ERROR,
       IP_SOURCE_QUENCH},
      {"quote holds only the 8 bytes of header", quoting_error(3, 1, our_echo_request(), TARGET, 8),
       ICMP_VERDICT_ERROR, IP_DEST_HOST_UNREACHABLE},
      {"redirect is not an error", quoting_error(5, 1, our_echo_request()), ICMP_VERDICT_IGNORE, 0},
      {"quote of another sequence", quoting_error(3, 1, other_sequence), ICMP_VERDICT_IGNORE, 0},
      {"quote of another identifier", quoting_error(3, 1, other_identifier), ICMP_VERDICT_IGNORE, 0},
      {"quote with other data", quoting_error(3, 1, changed_data), ICMP_VERDICT_IGNORE, 0},
      {"quote of a request to another host", quoting_error(3, 1, our_echo_request(), OTHER),
       ICMP_VERDICT_IGNORE, 0},
      {"quote of a reply, not a request", quoting_error(3, 1, echo_reply()), ICMP_VERDICT_IGNORE, 0},
      {"quote cut inside the ICMP header", quoting_error(3, 1, our_echo_request(), TARGET, 7),
       ICMP_VERDICT_IGNORE, 0},
  };
  for (const Case& c : cases) {
    IcmpVerdict verdict =
        icmp_classify_message(c.message.data(), c.message.size(), OTHER, our_request());
    EXPECT_EQ(verdict.kind, c.expected) << c.what;
    if (c.expected == ICMP_VERDICT_ERROR) {
      EXPECT_EQ(verdict.status, c.status) << c.what;
      EXPECT_EQ(verdict.source, OTHER) << c.what << ": the reporting host";
    }
  }
}

TEST(IcmpMatching, QuotedHeaderWithOptionsOrOfAnotherProtocol) {
  Bytes quoted = ip_packet(US, TARGET, our_echo_request(), 64, 0, 0x4000, 2);
  Bytes error = icmp_message(3, 1, 0, 0, quoted);
  EXPECT_EQ(classify_message(error, OTHER), ICMP_VERDICT_ERROR) << "quoted header options";
  quoted[9] = 17;  // UDP
  error = icmp_message(3, 1, 0, 0, quoted);
  EXPECT_EQ(classify_message(error, OTHER), ICMP_VERDICT_IGNORE) << "another protocol";
  quoted[9] = IP_PROTOCOL_ICMP;
  quoted[0] = 0x4f;  // claims a 60-byte header the quote does not hold
  quoted.resize(40);
  error = icmp_message(3, 1, 0, 0, quoted);
  EXPECT_EQ(classify_message(error, OTHER), ICMP_VERDICT_IGNORE) << "header beyond the quote";
}

TEST(IcmpRawPackets, ReplyCarriesTtlTosAndFlagsOfItsHeader) {
  Bytes packet = ip_packet(TARGET, US, echo_reply(), 57, 0x28, 0x4000);
  IcmpVerdict verdict = icmp_classify_ip_packet(packet.data(), packet.size(), our_request());
  ASSERT_EQ(verdict.kind, ICMP_VERDICT_REPLY);
  EXPECT_EQ(verdict.source, TARGET);
  EXPECT_EQ(verdict.ttl, 57);
  EXPECT_EQ(verdict.tos, 0x28);
  EXPECT_EQ(verdict.flags, IP_FLAG_DF);
  Bytes with_options = ip_packet(TARGET, US, echo_reply(), 57, 0, 0, 3);
  EXPECT_EQ(classify_packet(with_options), ICMP_VERDICT_REPLY) << "header with options";
}

TEST(IcmpRawPackets, MalformedOrForeignPacketsAreIgnored) {
  struct Case {
    const char* what;
    Bytes packet;
  };
  Bytes good = ip_packet(TARGET, US, echo_reply());
  Bytes bad_checksum = good;
  bad_checksum[IPV4_HEADER_MIN + 2] ^= 0x01;
  Bytes claims_longer = good;
  claims_longer[3] = static_cast<uint8_t>(claims_longer[3] + 1);
  Bytes short_total = good;
  short_total[2] = 0;
  short_total[3] = 27;  // shorter than header plus an ICMP header
  Bytes header_too_small = good;
  header_too_small[0] = 0x44;
  Bytes header_beyond = good;
  header_beyond[0] = 0x4f;
  header_beyond.resize(50);
  header_beyond[2] = 0;
  header_beyond[3] = 50;
  Bytes version6 = good;
  version6[0] = 0x65;
  Bytes udp = good;
  udp[9] = 17;
  const Case cases[] = {
      {"bad ICMP checksum", bad_checksum},
      {"total length beyond what arrived", claims_longer},
      {"total length below the headers", short_total},
      {"header length below 20", header_too_small},
      {"header length beyond the packet", header_beyond},
      {"not version 4", version6},
      {"not ICMP", udp},
      {"from another host", ip_packet(OTHER, US, echo_reply())},
      {"shorter than an IP header", Bytes(good.begin(), good.begin() + 19)},
  };
  for (const Case& c : cases) EXPECT_EQ(classify_packet(c.packet), ICMP_VERDICT_IGNORE) << c.what;
  EXPECT_EQ(classify_packet(good), ICMP_VERDICT_REPLY);
  // Trailing bytes beyond the total length (link padding) are not part of the data.
  Bytes padded = good;
  padded.push_back(0);
  padded.push_back(0);
  EXPECT_EQ(classify_packet(padded), ICMP_VERDICT_REPLY) << "link padding";
}

TEST(IcmpRawPackets, ErrorInsideAPacketNamesItsSender) {
  Bytes packet = ip_packet(OTHER, US, quoting_error(11, 0, our_echo_request()));
  IcmpVerdict verdict = icmp_classify_ip_packet(packet.data(), packet.size(), our_request());
  ASSERT_EQ(verdict.kind, ICMP_VERDICT_ERROR);
  EXPECT_EQ(verdict.status, IP_TTL_EXPIRED_TRANSIT);
  EXPECT_EQ(verdict.source, OTHER);
}

TEST(IcmpStatus, ErrnoOfAFailedSendMapsToAStatus) {
  struct Case {
    int error;
    ULONG status;
  };
  const Case cases[] = {
      {ENETUNREACH, IP_DEST_NET_UNREACHABLE}, {ENETDOWN, IP_DEST_NET_UNREACHABLE},
      {EHOSTUNREACH, IP_DEST_HOST_UNREACHABLE}, {EMSGSIZE, IP_PACKET_TOO_BIG},
      {ENOBUFS, IP_NO_RESOURCES}, {EACCES, IP_BAD_DESTINATION},
      {EPERM, IP_GENERAL_FAILURE}, {0, IP_GENERAL_FAILURE},
  };
  for (const Case& c : cases) EXPECT_EQ(icmp_status_from_errno(c.error), c.status) << c.error;
}

TEST(IcmpDestination, AnyBroadcastAndMulticastCannotBeProbed) {
  EXPECT_FALSE(icmp_destination_allowed(address(0, 0, 0, 0)));
  EXPECT_FALSE(icmp_destination_allowed(address(255, 255, 255, 255)));
  EXPECT_FALSE(icmp_destination_allowed(address(224, 0, 0, 1)));
  EXPECT_FALSE(icmp_destination_allowed(address(239, 255, 255, 250)));
  EXPECT_TRUE(icmp_destination_allowed(address(127, 0, 0, 1)));
  EXPECT_TRUE(icmp_destination_allowed(address(223, 255, 255, 255)));
  EXPECT_TRUE(icmp_destination_allowed(address(240, 0, 0, 1)));
}

TEST(IcmpRecords, ReplyDataLiesBehindTheRecordAndNothingBeyondIsWritten) {
  // A buffer with a guard region: exactly one record and the data, then guard bytes.
  const size_t used = sizeof(ICMP_ECHO_REPLY) + sizeof PAYLOAD;
  std::vector<uint8_t> buffer(used + 16, 0xcc);
  // Written one byte off alignment, as a caller's plain byte array may be.
  std::vector<uint8_t> unaligned(used + 17, 0xcc);
  for (uint8_t* start : {buffer.data(), unaligned.data() + 1}) {
    icmp_store_reply(start, TARGET, 7, PAYLOAD, sizeof PAYLOAD, 64, 0x10, IP_FLAG_DF);
    ICMP_ECHO_REPLY record;
    memcpy(&record, start, sizeof record);
    EXPECT_EQ(record.Address, TARGET);
    EXPECT_EQ(record.Status, IP_SUCCESS);
    EXPECT_EQ(record.RoundTripTime, 7u);
    EXPECT_EQ(record.DataSize, sizeof PAYLOAD);
    EXPECT_EQ(record.Data, start + sizeof(ICMP_ECHO_REPLY));
    EXPECT_EQ(memcmp(record.Data, PAYLOAD, sizeof PAYLOAD), 0);
    EXPECT_EQ(record.Options.Ttl, 64);
    EXPECT_EQ(record.Options.Tos, 0x10);
    EXPECT_EQ(record.Options.Flags, IP_FLAG_DF);
    EXPECT_EQ(record.Options.OptionsSize, 0);
    EXPECT_EQ(record.Options.OptionsData, nullptr);
    for (size_t i = used; i < used + 16; ++i) EXPECT_EQ(start[i], 0xcc) << "byte " << i;
  }
}

TEST(IcmpRecords, FailureWritesOnlyTheRecord) {
  std::vector<uint8_t> buffer(sizeof(ICMP_ECHO_REPLY) + 8, 0xcc);
  icmp_store_failure(buffer.data(), OTHER, IP_REQ_TIMED_OUT);
  ICMP_ECHO_REPLY record;
  memcpy(&record, buffer.data(), sizeof record);
  EXPECT_EQ(record.Address, OTHER);
  EXPECT_EQ(record.Status, IP_REQ_TIMED_OUT);
  EXPECT_EQ(record.DataSize, 0);
  EXPECT_EQ(record.Data, nullptr);
  for (size_t i = sizeof(ICMP_ECHO_REPLY); i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xcc);
}

TEST(IcmpRecords, LayoutIsTheNaturalOneOfThisMachine) {
  EXPECT_EQ(offsetof(ICMP_ECHO_REPLY, Address), 0u);
  EXPECT_EQ(offsetof(ICMP_ECHO_REPLY, Status), 4u);
  EXPECT_EQ(offsetof(ICMP_ECHO_REPLY, RoundTripTime), 8u);
  EXPECT_EQ(offsetof(ICMP_ECHO_REPLY, DataSize), 12u);
  EXPECT_EQ(offsetof(ICMP_ECHO_REPLY, Data), 16u);
  EXPECT_EQ(offsetof(ICMP_ECHO_REPLY, Options), 16u + sizeof(void*));
  EXPECT_EQ(sizeof(ICMP_ECHO_REPLY), 24u + 8u + sizeof(void*));
}

}  // namespace
