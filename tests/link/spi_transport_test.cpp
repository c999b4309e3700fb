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

TEST_F(SpiTest, OpenIsMode0At400kHzAndAFailedOneLeavesNothingOpen) {
  EXPECT_EQ(link.spi().SpiOpen(), status::kOk);
  EXPECT_EQ(link.spi().SpiOpen(), status::kOk);  // the first is given back before the second
  EXPECT_EQ(bridge.calls, (Lines{"spi open 400 kHz mode 0", "spi close", "spi open 400 kHz mode 0"}));

  bridge.calls.clear();
  bridge.setResult("spi.open", bridge::kDeviceBusy);
  EXPECT_EQ(link.spi().SpiOpen(), status::kSpiOpenFailed);
  EXPECT_FALSE(link.spi().isOpen());
  link.spi().SpiClose();
  EXPECT_EQ(bridge.calls, (Lines{"spi close", "spi open 400 kHz mode 0"}));
  EXPECT_EQ(DescribeOpenFailure(LinkKind::Spi, link.spi().openResult()),
            "The SPI channel could not be opened: the USB bridge is in use by another program.");
}

TEST_F(SpiTest, WriteDrivesChipSelectLowThenSendsAddressAndValue) {
  ASSERT_EQ(link.spi().SpiOpen(), status::kOk);
  bridge.calls.clear();
  EXPECT_EQ(link.WriteRegister(0x0024, 0x1234), status::kOk);
  EXPECT_EQ(bridge.calls, (Lines{"busB open 0B", "busB read", "busB close", "busB open 0B", "busB write 00",
                                 "busB close", "spi write 00 24 12 34"}));
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 1234"}));
}

TEST_F(SpiTest, FailedWriteReturnsItsCodeAndLogsNothing) {
  bridge.setResult("spi.transfer", BridgeResult::Failure(bridge::kDisconnected, "usb bulk write failed"));
  const AccessResult write = link.Write(0x0024, 0x1234);
  EXPECT_EQ(write.status, status::kSpiWriteFailed);
  EXPECT_EQ(DescribeFailure(write, link.settings()),
            "SPI write of register 0x0024 failed: the USB bridge was unplugged (plug it in and press Connect again) "
            "(usb bulk write failed)");
  EXPECT_EQ(link.writeLog().count(), 0u);
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(SpiTest, WritesAreLoggedWhateverTheLoggingFlagSays) {
  link.settings().logRegisterWrites = 0;
  link.WriteRegister(0x0022, 0x3F3F);
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0022 3F3F"}));
}

TEST_F(SpiTest, WithNoBridgeTheBusBFailuresAreShownAndTheWriteStillGoesOut) {
  bridge.setResult("busB.open", bridge::kDeviceNotFound);
  link.WriteRegister(0x0024, 0x0001);
  EXPECT_EQ(messages.texts(), (Lines{" BusB Open Error", " BusB Open Error"}));
  for (const Message& m : messages.messages) {
    EXPECT_EQ(m.caption, "Error");
    EXPECT_EQ(m.owner, Owner::none());
  }
  EXPECT_EQ(bridge.callsTo("spi write").size(), 1u);
  EXPECT_EQ(bridge.callsTo("busB close").size(), 0u);  // nothing was opened, nothing to close
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

  std::vector<std::string> written() const { return bridge.callsTo("busB write"); }
};

TEST_F(BusBTest, EachPinWriteSendsTheWholeImage) {
  pins.BusBWritePin(0, 1);
  pins.BusBWritePin(1, 0);
  pins.BusBWritePin(3, 0);
  EXPECT_EQ(written(), (Lines{"busB write 01", "busB write 01", "busB write 01"}));
  for (int pin = 0; pin < 8; ++pin) pins.BusBWritePin(pin, 1);
  pins.BusBWritePin(3, 0);
  EXPECT_EQ(written().back(), "busB write F7");
}

TEST_F(BusBTest, FailuresAreToldAndTheImageStillChanges) {
  // A channel that refuses its pin mode has been closed by the bridge: nothing is left open.
  bridge.setResult("busB.open", bridge::kPinModeFailed);
  EXPECT_EQ(pins.BusBWritePin(1, 1), status::kBusBSetModeFailed);
  EXPECT_EQ(pins.image(), 0x02);
  EXPECT_EQ(bridge.calls, (Lines{"busB open 0B"}));

  bridge.setResult("busB.open", bridge::kOk);
  bridge.setResult("busB.write", bridge::kUsbError);
  EXPECT_EQ(pins.BusBWritePin(0, 1), status::kBusBWriteFailed);
  EXPECT_EQ(bridge.calls.back(), "busB close");

  bridge.setResult("busB.read", bridge::kUsbError);
  std::uint8_t byte = 0x77;
  EXPECT_EQ(pins.BusBReadPins(&byte), status::kBusBReadFailed);
  EXPECT_EQ(byte, 0x77);
  EXPECT_EQ(bridge.calls.back(), "busB close");
  EXPECT_EQ(messages.texts(), (Lines{" BusB Set Mode Error", " BusB Write Error", " BusB Read Error"}));

  bridge.setResult("busB.read", bridge::kOk);
  bridge.pinByte = 0x5A;
  EXPECT_EQ(pins.BusBReadPins(&byte), status::kOk);
  EXPECT_EQ(byte, 0x5A);
}

}  // namespace
}  // namespace tonvisor
