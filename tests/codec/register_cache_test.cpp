// The link's register cache as the codec describes the chip to it: what each access leaves
// behind, on the simulated chip over I2C.
#include <gtest/gtest.h>

#include "codec/cached_field.h"
#include "codec/register_map.h"
#include "link/connect.h"
#include "link/user_action.h"
#include "codec_fixture.h"

namespace tonvisor::testing {
namespace {

using Origin = CacheOrigin;

struct CacheOnChip : CodecOnChip {
  const CachedRegister& entry(std::uint16_t address) {
    const CachedRegister* cached = link.cache().find(address);
    EXPECT_NE(cached, nullptr);
    static const CachedRegister kNone;
    return cached != nullptr ? *cached : kNone;
  }
};

// One access after another, and what the cache holds for the register afterwards.
struct Step {
  const char* what;
  std::uint16_t address;
  void (*access)(CacheOnChip&, std::uint16_t address);
  std::optional<std::uint16_t> value;
  Origin origin;
  bool lost = false;
};

void Read(CacheOnChip& t, std::uint16_t a) { t.link.Read(a); }
void Write1234(CacheOnChip& t, std::uint16_t a) { t.link.Write(a, 0x1234); }
void FailedWrite(CacheOnChip& t, std::uint16_t a) {
  t.bridge.failWrites = 1;
  t.link.Write(a, 0x4321);
}
void ModifyLowByte(CacheOnChip& t, std::uint16_t a) { t.link.Modify(a, 0xFF00, 0x00AB); }

TEST_F(CacheOnChip, EachAccessLeavesWhatTheChipHoldsAndWhereItCameFrom) {
  chip.write(reg::CHIP_ANA_CTRL_REG, 0x0111);
  chip.write(reg::CHIP_ANA_STATUS_REG, 0x0007);
  chip.write(reg::CHIP_ID_REG, 0xA011);
  const Step steps[] = {
      {"a read is the chip's value", reg::CHIP_ANA_CTRL_REG, Read, 0x0111, Origin::Read},
      {"a write is the value written", reg::CHIP_ANA_CTRL_REG, Write1234, 0x1234, Origin::Written},
      {"a modify keeps the merged value", reg::CHIP_ANA_CTRL_REG, ModifyLowByte, 0x12AB, Origin::Written},
      {"a failed write is unknown, not the value meant", reg::CHIP_ANA_CTRL_REG, FailedWrite, std::nullopt,
       Origin::Unknown, true},
      {"a read brings it back", reg::CHIP_ANA_CTRL_REG, Read, 0x12AB, Origin::Read},
      {"the status register is never kept", reg::CHIP_ANA_STATUS_REG, Read, std::nullopt, Origin::Unknown},
      {"the chip ignores a write to its ID", reg::CHIP_ID_REG, Read, 0xA011, Origin::Read},
      {"...and so does the cache", reg::CHIP_ID_REG, Write1234, 0xA011, Origin::Read},
      {"a coefficient keeps what was written", reg::DAP_COEF_WR_B0_MSB_REG, Write1234, 0x1234, Origin::Written},
      {"...whatever a read gives back", reg::DAP_COEF_WR_B0_MSB_REG, Read, 0x1234, Origin::Written},
  };
  for (const Step& step : steps) {
    step.access(*this, step.address);
    const CachedRegister& cached = entry(step.address);
    EXPECT_EQ(cached.value, step.value) << step.what;
    EXPECT_EQ(cached.origin, step.origin) << step.what;
    EXPECT_EQ(cached.lost, step.lost) << step.what;
  }
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(CacheOnChip, EveryRouteKeepsItCurrentAndFieldsReadFromIt) {
  codec.ConfigureSampleRate(1);        // a field operation
  codec.ConfigureDacVolume(-20.0);     // a composite write
  codec.RampHpVolume(0x20);            // ramp steps the write log leaves out
  EXPECT_EQ(FieldInCache(link.cache(), FieldPlace::Of(field::ConfigureSampleRate)).code, 1);
  EXPECT_EQ(link.cache().value(reg::CHIP_DAC_VOL_REG), chip.read(reg::CHIP_DAC_VOL_REG));
  EXPECT_EQ(link.cache().value(reg::CHIP_ANA_HP_CTRL_REG), 0x2020);
  codec.WriteDacMute(1);
  EXPECT_EQ(FieldInCache(link.cache(), FieldPlace::Of(field::WriteDacMute)).code, 1);
}

TEST_F(CacheOnChip, AValueChangedOutsideIsToldOncePerActionAndMarked) {
  link.Write(reg::CHIP_ANA_CTRL_REG, 0x0111);
  link.Write(reg::CHIP_DAC_VOL_REG, 0x3C3C);
  chip.write(reg::CHIP_ANA_CTRL_REG, 0x0000);  // a brown-out, another master
  chip.write(reg::CHIP_DAC_VOL_REG, 0x0000);
  {
    UserAction action(link);
    link.Read(reg::CHIP_ANA_CTRL_REG);
    link.Read(reg::CHIP_DAC_VOL_REG);
    link.Read(reg::CHIP_ANA_CTRL_REG);
    EXPECT_TRUE(messages.messages.empty()) << "told when the action is over";
  }
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text,
            "Changed outside this program: CHIP_ANA_CTRL_REG (written 0x0111, now 0x0000), CHIP_DAC_VOL_REG "
            "(written 0x3C3C, now 0x0000). The chip may have been reset or powered down, or another master wrote "
            "to it.");
  EXPECT_TRUE(entry(reg::CHIP_ANA_CTRL_REG).changedOutside);
  EXPECT_EQ(entry(reg::CHIP_ANA_CTRL_REG).writtenBefore, 0x0111);
  // A value read back unchanged, or written again, is not news.
  link.Read(reg::CHIP_ANA_CTRL_REG);
  link.Write(reg::CHIP_ANA_CTRL_REG, 0x0002);
  EXPECT_FALSE(entry(reg::CHIP_ANA_CTRL_REG).changedOutside);
  EXPECT_EQ(messages.messages.size(), 1u);
}

TEST_F(CacheOnChip, ConnectAndAnotherLinkForgetEverything) {
  link.Write(reg::CHIP_ANA_CTRL_REG, 0x0111);
  link.settings().connectionType = "Ethernet";
  link.followLinkSettings();
  EXPECT_EQ(entry(reg::CHIP_ANA_CTRL_REG).origin, Origin::Unknown);

  link.settings().connectionType = "I2C";
  link.Write(reg::CHIP_ANA_CTRL_REG, 0x0111);
  ConnectRequest request;
  request.i2cAddress = ChipModel::kI2cDeviceAddress;
  ASSERT_TRUE(Connect(link, request, Owner::none()));
  EXPECT_EQ(entry(reg::CHIP_ANA_CTRL_REG).value, std::nullopt);
  EXPECT_FALSE(entry(reg::CHIP_ANA_CTRL_REG).lost) << "forgotten, not lost";
}

TEST_F(CacheOnChip, OverSpiRefusedAccessesLeaveItAsItWasAndWritesAreKept) {
  link.Write(reg::CHIP_ANA_CTRL_REG, 0x0111);
  useSpi();
  link.Write(reg::CHIP_DAC_VOL_REG, 0x3D3D);
  codec.WriteAdcMute(0);  // refused: SPI cannot read
  EXPECT_EQ(link.cache().value(reg::CHIP_DAC_VOL_REG), 0x3D3D);
  EXPECT_EQ(link.cache().value(reg::CHIP_ANA_CTRL_REG), std::nullopt) << "another link, another chip";
}

}  // namespace
}  // namespace tonvisor::testing
