#include <gtest/gtest.h>

#include <chrono>

#include "link/device_link.h"
#include "support/recording_bridge.h"
#include "support/recording_messenger.h"

namespace tonvisor {
namespace {

using testing::RecordingBridge;
using testing::RecordingMessenger;

struct DispatchTest : ::testing::Test {
  RecordingBridge bridge;
  RecordingMessenger messages;
  DeviceLink link{bridge, messages};
};

TEST_F(DispatchTest, ConnectionTypeIsComparedWithoutRegardToCase) {
  link.settings().connectionType = "i2c";
  link.WriteRegister(0x0010, 0x3C3C);
  EXPECT_EQ(bridge.callsTo("i2c 0x0A write").size(), 1u);

  link.settings().connectionType = "sPi";
  link.WriteRegister(0x0010, 0x3C3C);
  EXPECT_EQ(bridge.callsTo("spi write").size(), 1u);
}

TEST_F(DispatchTest, AnUnknownConnectionTypeDoesNothingAtAll) {
  for (const char* type : {"", "USB", "I2C ", "Ether"}) {
    link.settings().connectionType = type;
    std::uint16_t value = 0x4242;
    EXPECT_EQ(link.ReadRegister(0x0002, &value), status::kOk);
    EXPECT_EQ(link.WriteRegister(0x0002, 1), status::kOk);
    EXPECT_EQ(link.ModifyRegister(0x0002, 0, 1), status::kOk);
    EXPECT_EQ(value, 0x4242);
  }
  EXPECT_TRUE(bridge.calls.empty());
  EXPECT_TRUE(messages.messages.empty());
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST(EqualsIgnoringCase, ComparesWholeTexts) {
  EXPECT_TRUE(EqualsIgnoringCase("ETHERNET", "Ethernet"));
  EXPECT_FALSE(EqualsIgnoringCase("Ethernet2", "Ethernet"));
  EXPECT_FALSE(EqualsIgnoringCase("", "I2C"));
}

// The board relies on the whole pause; ending it early would be a fault, ending late only slow.
TEST(PreciseSleep, NeverEndsEarly) {
  using Clock = std::chrono::steady_clock;
  for (const auto length : {std::chrono::milliseconds(0), std::chrono::milliseconds(1), std::chrono::milliseconds(5)}) {
    const auto start = Clock::now();
    PreciseSleep(length);
    EXPECT_GE(Clock::now() - start, length);
  }
}

}  // namespace
}  // namespace tonvisor
