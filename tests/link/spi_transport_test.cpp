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

struct SpiTest : ::testing::Test {
  SpiTest() { link.settings().connectionType = "SPI"; }
  RecordingBridge bridge;
  RecordingMessenger messages;
  DeviceLink link{bridge, messages};
};

TEST_F(SpiTest, OpenSetsUpTheChannelAndItsPins) {
  EXPECT_EQ(link.spi().SpiOpen(), status::kOk);
  EXPECT_EQ(bridge.calls, (Lines{"spi.open", "spi.initDevice 34 14", "spi.completeSetup 34",
                                 "spi.setPinStates 34 {0 0 0 0 0} {1 0 1 0 1 0 1 0}"}));
}

TEST_F(SpiTest, FailedOpenStopsAtTheFailingStepAndCloses) {
  bridge.setResult("spi.completeSetup", 1);
  EXPECT_EQ(link.spi().SpiOpen(), status::kSpiOpenFailed);
  EXPECT_EQ(bridge.calls, (Lines{"spi.open", "spi.initDevice 34 14", "spi.completeSetup 34", "spi.close 34"}));

  bridge.calls.clear();
  bridge.setResult("spi.open", 1);
  EXPECT_EQ(link.spi().SpiOpen(), status::kSpiOpenFailed);
  EXPECT_EQ(bridge.calls, (Lines{"spi.open"}));
}

TEST_F(SpiTest, WriteDrivesChipSelectLowThenSendsAddressAndValue) {
  ASSERT_EQ(link.spi().SpiOpen(), status::kOk);
  bridge.calls.clear();
  EXPECT_EQ(link.WriteRegister(0x0024, 0x1234), status::kOk);
  EXPECT_EQ(bridge.calls,
            (Lines{"busB.open 1", "busB.setBitMode 51 11 1", "busB.read 51 1", "busB.close 51", "busB.open 1",
                   "busB.setBitMode 51 11 1", "busB.write 51 [00] 1", "busB.close 51",
                   "spi.write 34 {0 0 1 0} 1 0 16 [00 24] 2 1 16 [12 34] 2 {0} {0 0 0 0 0 0 0 0}"}));
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 1234"}));
}

TEST_F(SpiTest, FailedWriteReturnsItsCodeAndLogsNothing) {
  bridge.setResult("spi.write", 1);
  EXPECT_EQ(link.WriteRegister(0x0024, 0x1234), status::kSpiWriteFailed);
  EXPECT_EQ(link.writeLog().count(), 0u);
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(SpiTest, WritesAreLoggedWhateverTheLoggingFlagSays) {
  link.settings().logRegisterWrites = 0;
  link.WriteRegister(0x0022, 0x3F3F);
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0022 3F3F"}));
}

TEST_F(SpiTest, WithNoBridgeTheBusBFailuresAreShownAndTheWriteStillGoesOut) {
  bridge.setResult("busB.open", 2);
  link.WriteRegister(0x0024, 0x0001);
  EXPECT_EQ(messages.texts(), (Lines{" BusB Open Error", " BusB Open Error"}));
  for (const Message& m : messages.messages) {
    EXPECT_EQ(m.caption, "Error");
    EXPECT_EQ(m.owner, Owner::none());
  }
  EXPECT_EQ(bridge.callsTo("spi.write").size(), 1u);
  EXPECT_EQ(bridge.callsTo("busB.close").size(), 0u);  // nothing was opened, nothing to close
}

TEST_F(SpiTest, ReadAndModifyAreRefusedWithoutTouchingTheChip) {
  std::uint16_t value = 0x5555;
  EXPECT_EQ(link.ReadRegister(0x0002, &value), status::kOk);
  EXPECT_EQ(value, 0x5555);
  EXPECT_EQ(link.ModifyRegister(0x0002, 0xFFFE, 1), status::kOk);
  EXPECT_EQ(messages.texts(), (Lines{" Read Register Not Supported", " Modify Register Not Supported"}));
  EXPECT_EQ(messages.messages[0].caption, "Error");
  EXPECT_TRUE(bridge.calls.empty());
  EXPECT_EQ(link.writeLog().count(), 0u);
}

struct BusBTest : ::testing::Test {
  RecordingBridge bridge;
  RecordingMessenger messages;
  BusBPins pins{bridge.busB(), messages};

  std::vector<std::string> written() const { return bridge.callsTo("busB.write"); }
};

TEST_F(BusBTest, EachPinWriteSendsTheWholeImage) {
  pins.BusBWritePin(0, 1);
  pins.BusBWritePin(1, 0);
  pins.BusBWritePin(3, 0);
  EXPECT_EQ(written(), (Lines{"busB.write 51 [01] 1", "busB.write 51 [01] 1", "busB.write 51 [01] 1"}));
  for (int pin = 0; pin < 8; ++pin) pins.BusBWritePin(pin, 1);
  pins.BusBWritePin(3, 0);
  EXPECT_EQ(written().back(), "busB.write 51 [F7] 1");
}

TEST_F(BusBTest, FailuresAreToldAndTheImageStillChanges) {
  bridge.setResult("busB.setBitMode", 1);
  EXPECT_EQ(pins.BusBWritePin(1, 1), status::kBusBSetModeFailed);
  EXPECT_EQ(pins.image(), 0x02);
  EXPECT_EQ(bridge.calls.back(), "busB.close 51");

  bridge.setResult("busB.setBitMode", 0);
  bridge.setResult("busB.write", 1);
  EXPECT_EQ(pins.BusBWritePin(0, 1), status::kBusBWriteFailed);
  EXPECT_EQ(bridge.calls.back(), "busB.close 51");

  bridge.setResult("busB.read", 1);
  std::uint8_t byte = 0x77;
  EXPECT_EQ(pins.BusBReadPins(&byte), status::kBusBReadFailed);
  EXPECT_EQ(byte, 0x77);
  EXPECT_EQ(messages.texts(), (Lines{" BusB Set Mode Error", " BusB Write Error", " BusB Read Error"}));

  bridge.setResult("busB.read", 0);
  bridge.pinByte = 0x5A;
  EXPECT_EQ(pins.BusBReadPins(&byte), status::kOk);
  EXPECT_EQ(byte, 0x5A);
}

}  // namespace
}  // namespace tonvisor
