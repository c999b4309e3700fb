#include <gtest/gtest.h>

#include "codec/register_map.h"
#include "support/recording_messenger.h"

namespace tonvisor {
namespace {

TEST(RegisterMap, NamesAreFoundOnlyWholeAndWithTheirCase) {
  testing::RecordingMessenger messages;
  const int owner = 0;
  EXPECT_EQ(FindRegisterAddress("CHIP_ANA_POWER_REG", messages, Owner::of(&owner)), 0x0030);
  EXPECT_EQ(FindRegisterAddress("CHIP_ID_REG", messages, Owner::of(&owner)), 0x0000);
  EXPECT_EQ(FindRegisterAddress("DAP_COEF_WR_A2_LSB_REG", messages, Owner::of(&owner)), 0x013A);
  EXPECT_TRUE(messages.messages.empty());

  for (const char* unknown : {"chip_ana_power_reg", "DAP_COEF_WR_B0", "CHIP_ANA_POWER_REG_X", "", "0x0030"}) {
    SCOPED_TRACE(unknown);
    messages.clear();
    EXPECT_EQ(FindRegisterAddress(unknown, messages, Owner::of(&owner)), std::nullopt);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Invalid Register Name in the Script");
    EXPECT_EQ(messages.messages[0].caption, "Tonvisor");
    EXPECT_EQ(messages.messages[0].owner, Owner::of(&owner));
  }
}

TEST(RegisterMap, AddressesAreNamedByTheirLowSixteenBits) {
  EXPECT_EQ(FindRegisterName(0x010A), "DAP_KRVL_SURROUND_REG");
  EXPECT_EQ(FindRegisterName(0x0000), "CHIP_ID_REG");
  EXPECT_EQ(FindRegisterName(0x013A), "DAP_COEF_WR_A2_LSB_REG");
  EXPECT_EQ(FindRegisterName(0x30022), "CHIP_ANA_HP_CTRL_REG");
  for (const std::uint32_t unnamed : {0x000Cu, 0x0016u, 0x001Eu, 0x0112u, 0x0114u, 0x013Cu, 0xFFFFu}) {
    EXPECT_FALSE(FindRegisterName(unnamed).has_value()) << std::hex << unnamed;
  }
}

}  // namespace
}  // namespace tonvisor
