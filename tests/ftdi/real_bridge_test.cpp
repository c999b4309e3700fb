#include <gtest/gtest.h>

#include <cstdlib>

#include "ftdi/ftdi_bridge.h"
#include "link/connect.h"
#include "link/device_link.h"
#include "link/typed_text.h"
#include "support/recording_messenger.h"

namespace tonvisor {
namespace {

// Against a real FT2232H with the board behind it, only when TONVISOR_FTDI_DEVICE names the
// bridge (its serial, or its index in `tonvisor-cli devices`). It only reads: the board's
// registers are left as they are.
TEST(RealBridge, ReadsTheChipOverI2cAndTheBusBPins) {
  const char* device = std::getenv("TONVISOR_FTDI_DEVICE");
  if (device == nullptr || *device == '\0') {
    GTEST_SKIP() << "set TONVISOR_FTDI_DEVICE to a bridge's serial or index to run this";
  }
  const std::unique_ptr<ftdi::FtdiUsb> usb = ftdi::MakeLibFtdiUsb();
  FtdiBridge bridge{*usb, std::string(device)};
  testing::RecordingMessenger messages;
  DeviceLink link{bridge, messages};
  ConnectRequest request;
  request.i2cAddress = 0x0A;
  ASSERT_TRUE(Connect(link, request, Owner::none())) << messages.texts().back();
  RecordProperty("bridge", bridge.deviceName());

  // CHIP_ID_REG twice: the same value both times, or the bus is not what it seems.
  const AccessResult first = link.Read(0x0000);
  ASSERT_TRUE(first.ok()) << DescribeFailure(first, link.settings());
  const AccessResult second = link.Read(0x0000);
  ASSERT_TRUE(second.ok()) << DescribeFailure(second, link.settings());
  EXPECT_EQ(first.value, second.value);
  RecordProperty("chip_id", FormatHex4(*first.value));

  std::uint8_t pins = 0;
  EXPECT_EQ(link.busB().BusBReadPins(&pins), status::kOk);
  EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
}  // namespace tonvisor
