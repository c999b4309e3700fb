#include <gtest/gtest.h>

#include "link/device_link.h"
#include "support/recording_bridge.h"
#include "support/recording_messenger.h"
#include "support/write_log_text.h"

namespace tonvisor {
namespace {

using testing::LogLines;
using testing::RecordingBridge;
using testing::RecordingMessenger;
using Lines = std::vector<std::string>;

struct I2cTest : ::testing::Test {
  RecordingBridge bridge;
  RecordingMessenger messages;
  DeviceLink link{bridge, messages};
  I2cTransport& i2c = link.i2c();
};

TEST_F(I2cTest, OpenInitialisesTheChannelAndKeepsTheAddress) {
  EXPECT_EQ(i2c.I2cOpen(0x1A), status::kOk);
  EXPECT_EQ(bridge.calls, (Lines{"i2c.open", "i2c.initDevice 17 59", "i2c.completeSetup 17 1"}));
  EXPECT_EQ(link.settings().i2cAddress, 0x1A);
}

TEST_F(I2cTest, FailedOpenClosesWhatItOpenedAndKeepsTheOldAddress) {
  bridge.setResult("i2c.open", 3);
  EXPECT_EQ(i2c.I2cOpen(0x1A), status::kI2cOpenFailed);
  EXPECT_EQ(bridge.calls, (Lines{"i2c.open"}));  // nothing further after a failed open

  bridge.calls.clear();
  bridge.setResult("i2c.open", 0);
  bridge.setResult("i2c.initDevice", 1);
  EXPECT_EQ(i2c.I2cOpen(0x1A), status::kI2cOpenFailed);
  EXPECT_EQ(bridge.calls, (Lines{"i2c.open", "i2c.initDevice 17 59", "i2c.close 17"}));

  bridge.calls.clear();
  bridge.setResult("i2c.initDevice", 0);
  bridge.setResult("i2c.completeSetup", 1);
  EXPECT_EQ(i2c.I2cOpen(0x1A), status::kI2cOpenFailed);
  EXPECT_EQ(bridge.calls.back(), "i2c.close 17");
  EXPECT_EQ(link.settings().i2cAddress, 0x0A);
  EXPECT_TRUE(messages.messages.empty());  // the page tells the user, not the transport
}

TEST_F(I2cTest, WriteSendsAddressAndValueHighByteFirstAndLogsIt) {
  ASSERT_EQ(i2c.I2cOpen(0x0A), status::kOk);
  bridge.calls.clear();
  EXPECT_EQ(link.WriteRegister(0x0024, 0x1234), status::kOk);
  EXPECT_EQ(bridge.calls, (Lines{"i2c.write 17 [14 00 24] 3 1 150 1 2 [12 34] 2 1 150 {1 2}"}));
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 1234"}));
}

TEST_F(I2cTest, ReadUsesTheReadFormOfTheAddressByte) {
  bridge.i2cReadBytes[0] = 0xA0;
  bridge.i2cReadBytes[1] = 0x11;
  std::uint16_t value = 0;
  EXPECT_EQ(link.ReadRegister(0x0002, &value), status::kOk);
  EXPECT_EQ(value, 0xA011);
  EXPECT_EQ(bridge.calls, (Lines{"i2c.read 0 [15 00 02] 3 1 150 2 2"}));  // handle 0 before any open
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(I2cTest, DeviceAddressKeepsOnlySevenBits) {
  ASSERT_EQ(i2c.I2cOpen(0x8A), status::kOk);
  bridge.calls.clear();
  link.WriteRegister(0x0100, 0x0001);
  EXPECT_EQ(bridge.calls[0].substr(0, 27), "i2c.write 17 [14 01 00] 3 1");
}

TEST_F(I2cTest, FailuresReturnTheirCodesAndWritesAreLoggedAnyway) {
  bridge.setResult("i2c.write", 5);
  EXPECT_EQ(link.WriteRegister(0x0024, 0x0001), status::kI2cWriteFailed);
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 0001"}));

  bridge.setResult("i2c.read", 5);
  std::uint16_t value = 0xBEEF;
  EXPECT_EQ(link.ReadRegister(0x0024, &value), status::kI2cReadFailed);
  EXPECT_EQ(value, 0xBEEF);
  EXPECT_EQ(link.ReadRegister(0x0024, nullptr), status::kNoValuePlace);
}

TEST_F(I2cTest, ModifyMergesUnderTheKeepMaskAndLogsOnlyTheWrite) {
  bridge.i2cReadBytes[0] = 0x00;
  bridge.i2cReadBytes[1] = 0x03;
  EXPECT_EQ(link.ModifyRegister(0x0004, 0xFFF3, 0x0008), status::kOk);
  ASSERT_EQ(bridge.calls.size(), 2u);
  EXPECT_NE(bridge.calls[1].find("[00 0B]"), std::string::npos) << bridge.calls[1];
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0004 000B"}));

  // Bits of the value under the mask are discarded: only bit 4 comes from 0x0030.
  bridge.i2cReadBytes[1] = 0x00;
  link.ModifyRegister(0x0024, 0xFFEF, 0x0030);
  EXPECT_EQ(LogLines(link.writeLog()).back(), "W 0024 0010");
  bridge.i2cReadBytes[0] = 0x12;
  bridge.i2cReadBytes[1] = 0x34;
  link.ModifyRegister(0x0024, 0xFF0F, 0x0050);
  EXPECT_EQ(LogLines(link.writeLog()).back(), "W 0024 1254");
}

TEST_F(I2cTest, ModifyWhoseReadFailsWritesNothing) {
  bridge.setResult("i2c.read", 1);
  EXPECT_EQ(link.ModifyRegister(0x0004, 0xFFF3, 0x0008), status::kI2cReadFailed);
  EXPECT_TRUE(bridge.callsTo("i2c.write").empty());
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(I2cTest, WritesAreNotLoggedWhileLoggingIsOff) {
  link.settings().logRegisterWrites = 0;
  link.WriteRegister(0x0022, 0x3F3F);
  EXPECT_EQ(bridge.callsTo("i2c.write").size(), 1u);
  EXPECT_EQ(link.writeLog().count(), 0u);
}

}  // namespace
}  // namespace tonvisor
