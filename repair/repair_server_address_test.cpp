#include "repair/repair_server_address.h"

#include <gtest/gtest.h>

TEST(RepairServerAddress, ParseSetting) {
  struct Case {
    const char* setting;
    bool valid;
    const char* host;
    std::uint16_t port;
  };
  const Case cases[] = {
      {"repair.example.com", true, "repair.example.com", 6000},
      {"127.0.0.1:6001", true, "127.0.0.1", 6001},
      {"  host:65535 ", true, "host", 65535},
      {"host:1", true, "host", 1},
      {"", false, "", 0},
      {":6000", false, "", 0},
      {"host:", false, "", 0},
      {"host:0", false, "", 0},
      {"host:65536", false, "", 0},
      {"host:60x0", false, "", 0},
      {"host:123456", false, "", 0},
      {"two words", false, "", 0},
      {"::1", false, "", 0},
  };
  for (const Case& c : cases) {
    RepairServerName name;
    EXPECT_EQ(ParseRepairServerSetting(c.setting, &name), c.valid) << c.setting;
    if (c.valid) {
      EXPECT_EQ(name.host, c.host) << c.setting;
      EXPECT_EQ(name.port, c.port) << c.setting;
    } else {
      EXPECT_EQ(name.host, REPAIR_SERVER_HOST) << c.setting;  // untouched
    }
  }
}

TEST(RepairServerAddress, ResolvesToHostByteOrder) {
  // Only names that need no network: a numeric address and localhost.
  for (const char* host : {"127.0.0.1", "localhost"}) {
    BramSocketAddress address;
    ASSERT_TRUE(ResolveRepairServer(RepairServerName{host, 6123}, &address)) << host;
    EXPECT_EQ(address.m_address, BRAM_LOOPBACK_ADDRESS) << host;
    EXPECT_EQ(address.m_port, 6123) << host;
  }
  BramSocketAddress address;
  ASSERT_TRUE(ResolveRepairServer(RepairServerName{"10.1.2.3", 6000}, &address));
  EXPECT_EQ(address.m_address, 0x0A010203u);
}
