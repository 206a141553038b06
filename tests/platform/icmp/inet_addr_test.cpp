// The dotted-text conversion against the classic rules, including the forms people rarely
// write but the rules accept, and the texts that must give INADDR_NONE.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/icmp/icmp.h"

namespace {

IPAddr wire(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  uint8_t bytes[4] = {a, b, c, d};
  IPAddr value;
  memcpy(&value, bytes, 4);
  return value;
}

TEST(InetAddr, ReadsTheClassicForms) {
  struct Case {
    const char* text;
    IPAddr expected;
  };
  const Case cases[] = {
      {"9.9.9.9", wire(9, 9, 9, 9)},
      {"127.0.0.1", wire(127, 0, 0, 1)},
      {"0.0.0.0", wire(0, 0, 0, 0)},
      {"1.2.3.4 trailing words", wire(1, 2, 3, 4)},
      {"1.2.3.4\n", wire(1, 2, 3, 4)},
      {"010.0x10.0X1f.7", wire(8, 16, 31, 7)},
      {"1.2.772", wire(1, 2, 3, 4)},          // last part fills two bytes
      {"1.131844", wire(1, 2, 3, 4)},         // last part fills three bytes
      {"16909060", wire(1, 2, 3, 4)},         // one part: the whole address
      {"0x7f000001", wire(127, 0, 0, 1)},
      {"017700000001", wire(127, 0, 0, 1)},
      {"255.255.255.254", wire(255, 255, 255, 254)},
      {"0", wire(0, 0, 0, 0)},
      {"4294967294", wire(255, 255, 255, 254)},
  };
  for (const Case& c : cases) EXPECT_EQ(inet_addr(c.text), c.expected) << c.text;
}

TEST(InetAddr, UnreadableTextsGiveNone) {
  const char* texts[] = {
      nullptr, "", " 1.2.3.4", "1.2.3.4.", "1.2.3.4.5", "1..2.3", ".1.2.3", "1.2.3.256",
      "256.1.1.1", "1.2.65536", "1.16777216", "4294967296", "08.1.1.1", "1.2.3.09",
      "0x", "1.0x.3.4", "0x100000000", "1.2.3.4x", "a.b.c.d", "1,2,3,4", "-1.2.3.4",
      "+1.2.3.4", "99999999999999999999", "1.2.3.-4",
  };
  for (const char* text : texts) {
    EXPECT_EQ(inet_addr(text), INADDR_NONE) << (text ? text : "(null)");
  }
}

TEST(InetAddr, TheAllOnesAddressReadsAsNone) {
  // The classic ambiguity: the broadcast address cannot be told from a failure.
  EXPECT_EQ(inet_addr("255.255.255.255"), INADDR_NONE);
}

}  // namespace
