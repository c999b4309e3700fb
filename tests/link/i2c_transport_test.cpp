#include <gtest/gtest.h>

#include "link/connect.h"
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

TEST_F(I2cTest, OpenAtTheChosenClockKeepsTheAddressAndAReopenClosesFirst) {
  EXPECT_EQ(i2c.I2cOpen(0x1A), status::kOk);
  EXPECT_EQ(bridge.calls, (Lines{"i2c open 100 kHz"}));
  EXPECT_EQ(link.settings().i2cAddress, 0x1A);

  // A second open of a claimed USB interface fails on real hardware: the first is given back.
  link.settings().i2cClockHz = kI2cFastClockHz;
  EXPECT_EQ(i2c.I2cOpen(0x0A), status::kOk);
  EXPECT_EQ(bridge.calls, (Lines{"i2c open 100 kHz", "i2c close", "i2c open 400 kHz"}));
}

TEST_F(I2cTest, FailedOpenLeavesNothingOpenAndKeepsTheOldAddress) {
  bridge.setResult("i2c.open", BridgeResult::Failure(bridge::kPermissionDenied, "inappropriate permissions"));
  EXPECT_EQ(i2c.I2cOpen(0x1A), status::kI2cOpenFailed);
  EXPECT_FALSE(i2c.isOpen());
  EXPECT_EQ(i2c.openResult().code, bridge::kPermissionDenied);
  EXPECT_EQ(link.settings().i2cAddress, 0x0A);
  i2c.I2cClose();  // nothing to close
  EXPECT_EQ(bridge.calls, (Lines{"i2c open 100 kHz"}));
  EXPECT_TRUE(messages.messages.empty());  // Connect tells the user, not the transport
}

TEST_F(I2cTest, ConnectThatCannotOpenSaysTheMessageAndWhy) {
  bridge.setResult("i2c.open", BridgeResult::Failure(bridge::kPermissionDenied, "inappropriate permissions on device!"));
  ConnectRequest request;
  request.i2cAddress = 0x0A;
  EXPECT_FALSE(Connect(link, request, Owner::none()));
  EXPECT_EQ(messages.texts(),
            (Lines{"I2C Initialization Error",
                   "The I2C channel could not be opened: this user may not open the USB bridge (install the udev rule, "
                   "see README: Hardware) (inappropriate permissions on device!)."}));
}

TEST_F(I2cTest, WriteSendsRegisterAndValueHighByteFirstAndLogsIt) {
  ASSERT_EQ(i2c.I2cOpen(0x0A), status::kOk);
  bridge.calls.clear();
  EXPECT_EQ(link.WriteRegister(0x0024, 0x1234), status::kOk);
  EXPECT_EQ(bridge.calls, (Lines{"i2c 0x0A write 00 24 12 34"}));
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 1234"}));
}

TEST_F(I2cTest, ReadSendsTheRegisterThenReadsTwoBytesHighFirst) {
  bridge.i2cReadBytes[0] = 0xA0;
  bridge.i2cReadBytes[1] = 0x11;
  std::uint16_t value = 0;
  EXPECT_EQ(link.ReadRegister(0x0002, &value), status::kOk);
  EXPECT_EQ(value, 0xA011);
  EXPECT_EQ(bridge.calls, (Lines{"i2c 0x0A write 00 02 read 2"}));  // before any open, too
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(I2cTest, DeviceAddressKeepsOnlySevenBits) {
  ASSERT_EQ(i2c.I2cOpen(0x8A), status::kOk);
  bridge.calls.clear();
  link.WriteRegister(0x0100, 0x0001);
  EXPECT_EQ(bridge.calls, (Lines{"i2c 0x0A write 01 00 00 01"}));
}

TEST_F(I2cTest, FailuresReturnTheirCodesAndWritesAreLoggedAnyway) {
  bridge.setResult("i2c.transfer", bridge::kUsbError);
  EXPECT_EQ(link.WriteRegister(0x0024, 0x0001), status::kI2cWriteFailed);
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 0001"}));

  std::uint16_t value = 0xBEEF;
  EXPECT_EQ(link.ReadRegister(0x0024, &value), status::kI2cReadFailed);
  EXPECT_EQ(value, 0xBEEF);
  EXPECT_EQ(link.ReadRegister(0x0024, nullptr), status::kNoValuePlace);
}

TEST_F(I2cTest, AFailureSaysWhichByteWentUnansweredAndCarriesTheLibrarysWords) {
  const LinkSettings& settings = link.settings();
  link.settings().i2cAddress = 0x1B;
  bridge.setResult("i2c.transfer", BridgeResult::NoAcknowledge(0));
  EXPECT_EQ(DescribeFailure(link.Write(0x0024, 1), settings),
            "no chip answering at I2C address 0x1B for the write of register 0x0024");
  EXPECT_EQ(DescribeFailure(link.Modify(0x0024, 0, 1), settings),
            "no chip answering at I2C address 0x1B for the read-modify-write of register 0x0024");

  link.settings().i2cAddress = 0x0A;
  bridge.setResult("i2c.transfer", BridgeResult::NoAcknowledge(4));
  const AccessResult write = link.Write(0x0024, 1);
  EXPECT_EQ(write.status, status::kI2cWriteFailed);
  EXPECT_EQ(DescribeFailure(write, settings),
            "I2C write of register 0x0024 failed: the chip at I2C address 0x0A did not acknowledge the value's low "
            "byte");
  bridge.setResult("i2c.transfer", BridgeResult::NoAcknowledge(3));
  const AccessResult read = link.Read(0x0002);
  EXPECT_EQ(read.status, status::kI2cReadFailed);
  EXPECT_EQ(DescribeFailure(read, settings),
            "I2C read of register 0x0002 failed: the chip at I2C address 0x0A did not acknowledge the device-address "
            "byte of the read");

  bridge.setResult("i2c.transfer", BridgeResult::Failure(bridge::kDisconnected, "usb bulk write failed"));
  EXPECT_EQ(DescribeFailure(link.Write(0x0024, 1), settings),
            "I2C write of register 0x0024 failed: the USB bridge was unplugged (plug it in and press Connect again) "
            "(usb bulk write failed)");
}

TEST_F(I2cTest, ModifyMergesUnderTheKeepMaskAndLogsOnlyTheWrite) {
  bridge.i2cReadBytes[0] = 0x00;
  bridge.i2cReadBytes[1] = 0x03;
  EXPECT_EQ(link.ModifyRegister(0x0004, 0xFFF3, 0x0008), status::kOk);
  EXPECT_EQ(bridge.calls, (Lines{"i2c 0x0A write 00 04 read 2", "i2c 0x0A write 00 04 00 0B"}));
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
  bridge.setResult("i2c.transfer", BridgeResult::NoAcknowledge(0));
  EXPECT_EQ(link.ModifyRegister(0x0004, 0xFFF3, 0x0008), status::kI2cReadFailed);
  EXPECT_EQ(bridge.calls, (Lines{"i2c 0x0A write 00 04 read 2"}));
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(I2cTest, WritesAreNotLoggedWhileLoggingIsOff) {
  link.settings().logRegisterWrites = 0;
  link.WriteRegister(0x0022, 0x3F3F);
  EXPECT_EQ(bridge.callsTo("i2c 0x0A write").size(), 1u);
  EXPECT_EQ(link.writeLog().count(), 0u);
}

}  // namespace
}  // namespace tonvisor
