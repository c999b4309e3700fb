#include <gtest/gtest.h>

#include "link/connect.h"
#include "link/user_action.h"
#include "support/recording_bridge.h"
#include "support/recording_messenger.h"
#include "support/write_log_text.h"

namespace tonvisor {
namespace {

using testing::LogLines;
using testing::RecordingBridge;
using testing::RecordingMessenger;
using Lines = std::vector<std::string>;

struct ActionTest : ::testing::Test {
  RecordingBridge bridge;
  RecordingMessenger messages;
  DeviceLink link{bridge, messages};
};

TEST_F(ActionTest, AnActionShowsEachDistinctMessageOnceAndCountsEveryAccess) {
  link.settings().connectionType = "SPI";
  {
    UserAction action(link);
    link.Read(0x0002);
    link.Modify(0x0004, 0xFFFC, 1);
    link.Read(0x0006);
    link.Modify(0x0008, 0xFFFC, 1);
    link.Write(0x000A, 0x1234);
    EXPECT_EQ(messages.texts(), (Lines{" Read Register Not Supported", " Modify Register Not Supported"}));
    EXPECT_EQ(action.tally().accesses, 5u);
    EXPECT_EQ(action.tally().failed, 4u);
    EXPECT_EQ(action.tally().status, status::kOk);  // SPI's refusals have always returned 0
    EXPECT_EQ(action.failureSummary(),
              "4 of 5 register accesses did not reach the chip. The first: SPI cannot read register 0x0002 (it can "
              "only write).");
  }
  // The next action, and accesses outside any action, say it again.
  link.Read(0x0002);
  EXPECT_EQ(messages.texts().size(), 3u);
}

TEST_F(ActionTest, NestedTalliesEachCountWhatWasDoneWhileTheyWereOpen) {
  ASSERT_TRUE(Connect(link, {0x0A, {}, {}}, Owner::none()));
  UserAction outer(link);
  link.Write(0x0024, 1);
  {
    ScopedTally inner(link);
    bridge.setResult("i2c.write", bridge::kNoAcknowledge);
    link.Write(0x0024, 2);
    bridge.setResult("i2c.write", 0);
    link.Write(0x0024, 3);
    EXPECT_EQ(inner.tally().accesses, 2u);
    EXPECT_EQ(inner.tally().failed, 1u);
    EXPECT_EQ(inner.tally().status, status::kI2cWriteFailed);
  }
  EXPECT_EQ(outer.tally().accesses, 3u);
  EXPECT_EQ(outer.failureSummary(),
            "1 of 3 register accesses did not reach the chip. The first: no chip answering at I2C address 0x0A for "
            "the write of register 0x0024.");
  // Every I2C attempt is logged, also the one that failed.
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 0001", "W 0024 0002", "W 0024 0003"}));
}

TEST_F(ActionTest, AWatchHearsOfEveryAccessMadeWhileItLivesFailedOnesIncluded) {
  ASSERT_TRUE(Connect(link, {0x0A, {}, {}}, Owner::none()));
  std::vector<std::uint16_t> seen;
  link.Write(0x0010, 1);
  {
    AccessWatch watch(link, [&](const AccessResult& access) { seen.push_back(access.address); });
    link.Modify(0x0024, 0xFFFE, 1);  // a read and a write, one access
    bridge.setResult("i2c.write", bridge::kNoAcknowledge);
    link.Write(0x0026, 2);
    link.settings().connectionType = "SPI";
    link.Read(0x0028);  // refused, yet an access
  }
  link.Write(0x002A, 3);
  EXPECT_EQ(seen, (std::vector<std::uint16_t>{0x0024, 0x0026, 0x0028}));
}

TEST_F(ActionTest, WriteOverSpiLogsOnlyWhatWentThroughWhateverLinkIsChosen) {
  link.settings().connectionType = "I2C";
  EXPECT_TRUE(link.WriteOverSpi(0x0024, 0x0123).ok());
  bridge.setResult("spi.write", bridge::kDeviceNotFound);
  const AccessResult failed = link.WriteOverSpi(0x0026, 0x0456);
  EXPECT_EQ(failed.status, status::kSpiWriteFailed);
  EXPECT_EQ(DescribeFailure(failed, link.settings()),
            "SPI write of register 0x0026 failed: no USB bridge is plugged in");
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 0123"}));
  EXPECT_TRUE(bridge.callsTo("i2c").empty());
}

TEST_F(ActionTest, ConnectGivesBackTheChannelItOpenedAndTheLinkReleasesItAtTheEnd) {
  {
    DeviceLink own(bridge, messages);
    ASSERT_TRUE(Connect(own, {0x0A, {}, {}}, Owner::none()));
    own.settings().connectionType = "SPI";
    ASSERT_TRUE(Connect(own, {}, Owner::none()));
    // I2C and SPI share the bridge's first channel: the I2C one went back before SPI opened.
    EXPECT_EQ(bridge.calls, (Lines{"i2c open 100 kHz", "i2c close", "spi open 400 kHz mode 0"}));
    bridge.calls.clear();
  }
  EXPECT_EQ(bridge.calls, (Lines{"spi close"}));
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ActionTest, ConnectRefusesWhatItCannotUseAndEmptiesTheLogFirst) {
  struct Case {
    const char* type;
    ConnectRequest request;
    const char* message;
  };
  const Case cases[] = {
      {"I2C", {std::nullopt, {}, {}}, "The I2C Address must be a hexadecimal number, such as A or 0x0A."},
      {"Ethernet", {{}, "127.0.0.1", std::nullopt}, "The Port must be a whole number from 0 to 65535."},
      {"Ethernet", {{}, "0.0.0.0", 30}, " Invalid IP Address "},
      {"Ethernet", {{}, "127.0.0", 30}, " Invalid IP Address "},
      {"Ethernet", {{}, "127.0.0.1", 0}, " Invalid Socket "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    messages.clear();
    link.writeLog().appendComment("# before\n");
    link.settings().connectionType = c.type;
    EXPECT_FALSE(Connect(link, c.request, Owner::none()));
    EXPECT_EQ(messages.texts(), Lines{c.message});
    EXPECT_EQ(link.writeLog().count(), 0u);
  }
  EXPECT_TRUE(bridge.callsTo("i2c open").empty());
}

TEST_F(ActionTest, APinOrLevelThatDoesNotExistChangesNoPin) {
  BusBPins& pins = link.busB();
  ASSERT_EQ(pins.BusBWritePin(0, 1), status::kOk);
  bridge.calls.clear();
  for (const auto& [pin, level] : {std::pair{1, 2}, {3, -1}, {8, 1}, {-1, 0}}) {
    EXPECT_EQ(pins.BusBWritePin(pin, level), status::kInvalidArgument) << pin << " " << level;
  }
  EXPECT_EQ(pins.image(), 0x01);
  EXPECT_TRUE(bridge.calls.empty());
}

}  // namespace
}  // namespace tonvisor
