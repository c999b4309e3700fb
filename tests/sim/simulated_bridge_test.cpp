#include <gtest/gtest.h>

#include "link/device_link.h"
#include "sim/simulated_bridge.h"
#include "support/recording_messenger.h"

namespace tonvisor {
namespace {

struct SimulatedLink : ::testing::Test {
  ChipModel chip;
  SimulatedBridge bridge{chip};
  testing::RecordingMessenger messages;
  DeviceLink link{bridge, messages};
};

TEST_F(SimulatedLink, NothingTransfersBeforeTheChannelIsOpened) {
  EXPECT_EQ(link.WriteRegister(0x0024, 0x1234), status::kI2cWriteFailed);
  EXPECT_EQ(chip.read(0x0024), 0);
}

TEST_F(SimulatedLink, I2cReachesTheChipOnlyAtItsDeviceAddress) {
  ASSERT_EQ(link.i2c().I2cOpen(0x0A), status::kOk);
  EXPECT_EQ(link.WriteRegister(0x0024, 0x1234), status::kOk);
  EXPECT_EQ(chip.read(0x0024), 0x1234);
  EXPECT_EQ(link.ModifyRegister(0x0024, 0xFF0F, 0x0050), status::kOk);
  std::uint16_t value = 0;
  EXPECT_EQ(link.ReadRegister(0x0024, &value), status::kOk);
  EXPECT_EQ(value, 0x1254);

  ASSERT_EQ(link.i2c().I2cOpen(0x1A), status::kOk);  // nothing answers there
  EXPECT_EQ(link.ReadRegister(0x0024, &value), status::kI2cReadFailed);
  EXPECT_EQ(link.WriteRegister(0x0024, 0), status::kI2cWriteFailed);
  EXPECT_EQ(chip.read(0x0024), 0x1254);
}

TEST_F(SimulatedLink, SpiWritesReachTheChipAndDriveChipSelectLow) {
  link.settings().connectionType = "SPI";
  ASSERT_EQ(link.spi().SpiOpen(), status::kOk);
  link.busB().BusBWritePin(3, 1);
  EXPECT_EQ(bridge.busBPins(), 0x08);
  EXPECT_EQ(link.WriteRegister(0x0110, 0xABCD), status::kOk);
  EXPECT_EQ(chip.read(0x0110), 0xABCD);
  EXPECT_EQ(bridge.busBPins(), 0x00);
  EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
}  // namespace tonvisor
