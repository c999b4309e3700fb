#include <gtest/gtest.h>

#include <functional>

#include "ftdi/ftdi_bridge.h"
#include "ftdi/mpsse_buffer.h"
#include "link/connect.h"
#include "link/device_link.h"
#include "sim/mpsse_emulator.h"
#include "support/recording_messenger.h"
#include "support/write_log_text.h"
#include "tools/script_file.h"
#include "tools/temp_files.h"

namespace tonvisor {
namespace {

using ftdi::Channel;
using testing::LogLines;
using testing::RecordingMessenger;
using Lines = std::vector<std::string>;

// The program's link on the FTDI backend, the backend's bytes going into an emulated FT2232H
// with the chip behind it.
struct FtdiLink : ::testing::Test {
  FtdiLink() { usb.attach(device); }

  bool connect(const std::string& type = "I2C", std::uint16_t address = 0x0A) {
    link.settings().connectionType = type;
    ConnectRequest request;
    request.i2cAddress = address;
    request.ethernetAddress = "127.0.0.1";
    request.port = 30;
    const bool connected = Connect(link, request, Owner::none());
    atConnect = device.stats();
    device.clearStats();
    device.clearTraces();
    return connected;
  }

  // Nothing a real bus would have punished: no fight over SDA, holds long enough.
  void expectCleanBus() const {
    const auto stats = device.stats();
    EXPECT_EQ(stats.contention, 0u);
    EXPECT_EQ(stats.holdViolations, 0u);
    EXPECT_EQ(stats.timingViolations, 0u);
    EXPECT_EQ(stats.badCommands, 0u);
    EXPECT_EQ(stats.latencyTimerWaits, 0u);
  }

  ChipModel chip;
  EmulatedFt2232h device{chip};
  EmulatedUsb usb;
  FtdiBridge bridge{usb, std::nullopt};
  RecordingMessenger messages;
  DeviceLink link{bridge, messages};
  EmulatedFt2232h::Stats atConnect;  // what the last connect() did on the USB
};

TEST_F(FtdiLink, I2cRegisterAccessReachesTheChipInOneRoundTripEach) {
  ASSERT_TRUE(connect()) << messages.texts().at(1);
  EXPECT_NEAR(device.sclHz(), 75758.0, 1.0);  // SCL high long enough for standard mode
  EXPECT_TRUE(device.threePhase());
  EXPECT_EQ(bridge.deviceName(), "FT2232H FT0EMU01 (Dual RS232-HS)");

  EXPECT_EQ(link.WriteRegister(0x0024, 0x1234), status::kOk);
  chip.write(0x0002, 0xA011);
  std::uint16_t value = 0;
  EXPECT_EQ(link.ReadRegister(0x0002, &value), status::kOk);
  EXPECT_EQ(value, 0xA011);
  EXPECT_EQ(chip.read(0x0024), 0x1234);
  EXPECT_EQ(device.i2cTrace(), (Lines{"S 14+ 00+ 24+ 12+ 34+ P", "S 14+ 00+ 02+ Sr 15+ A0+ 11- P"}));
  EXPECT_EQ(device.stats().roundTrips, 2u);
  expectCleanBus();

  // Read-modify-write merges under the keep-mask and logs only its write.
  chip.write(0x0004, 0x0003);
  EXPECT_EQ(link.ModifyRegister(0x0004, 0xFFF3, 0x0008), status::kOk);
  EXPECT_EQ(chip.read(0x0004), 0x000B);
  // While logging is off the write goes out and stays out of the log.
  link.settings().logRegisterWrites = 0;
  EXPECT_EQ(link.WriteRegister(0x0022, 0x3F3F), status::kOk);
  EXPECT_EQ(chip.read(0x0022), 0x3F3F);
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 1234", "W 0004 000B"}));
  EXPECT_TRUE(messages.messages.empty());
  expectCleanBus();
}

TEST_F(FtdiLink, TheDeviceAddressKeepsSevenBitsAndTheFastClockKeepsTheHolds) {
  link.settings().i2cClockHz = kI2cFastClockHz;
  ASSERT_TRUE(connect("I2C", 0x8A));
  EXPECT_DOUBLE_EQ(device.sclHz(), 400000.0);
  EXPECT_EQ(link.WriteRegister(0x0100, 0x0001), status::kOk);
  EXPECT_EQ(device.i2cTrace(), (Lines{"S 14+ 01+ 00+ 00+ 01+ P"}));
  expectCleanBus();
}

// Every bus time of both modes with a tenth to spare, on a bus whose pull-up gives SDA the
// slowest rise allowed and on a bridge whose pin commands take anything from the shortest
// the holds are counted in to slower than measured.
TEST_F(FtdiLink, BothClockModesKeepEveryBusTimeOnASlowBusAndARepeatedStartStaysOne) {
  using std::chrono::nanoseconds;
  const struct {
    std::uint32_t clockHz;
    nanoseconds pinCommand;
    nanoseconds riseTime;
  } buses[] = {
      {kI2cStandardClockHz, ftdi::kShortestPinCommand, nanoseconds(1000)},
      {kI2cStandardClockHz, nanoseconds(500), nanoseconds(300)},
      {kI2cFastClockHz, ftdi::kShortestPinCommand, nanoseconds(300)},
      {kI2cFastClockHz, nanoseconds(500), nanoseconds(300)},
  };
  for (const auto& bus : buses) {
    SCOPED_TRACE(std::to_string(bus.clockHz) + " Hz, pin command " + std::to_string(bus.pinCommand.count()) +
                 " ns, rise " + std::to_string(bus.riseTime.count()) + " ns");
    device.setTiming({.pinCommand = bus.pinCommand, .riseTime = bus.riseTime});
    link.settings().i2cClockHz = bus.clockHz;
    ASSERT_TRUE(connect());
    EXPECT_EQ(link.WriteRegister(0x0024, 0x1234), status::kOk);
    EXPECT_EQ(link.Read(0x0024).value, 0x1234);
    EXPECT_EQ(device.i2cTrace(), (Lines{"S 14+ 00+ 24+ 12+ 34+ P", "S 14+ 00+ 24+ Sr 15+ 12+ 34- P"}));

    const auto stats = device.stats();
    EXPECT_EQ(stats.timingViolations, 0u) << stats.firstTimingViolation;
    EXPECT_EQ(stats.contention + stats.holdViolations, 0u);
    EXPECT_LE(1e9 / static_cast<double>(stats.shortest.period.count()), bus.clockHz);
    // Each time was seen, so none of the checks above passed for want of one.
    for (const nanoseconds seen : {stats.shortest.high, stats.shortest.low, stats.shortest.startHold,
                                   stats.shortest.startSetup, stats.shortest.stopSetup, stats.shortest.busFree,
                                   stats.shortest.dataSetup}) {
      EXPECT_NE(seen, EmulatedFt2232h::I2cTimesSeen::kNone);
    }
  }
}

TEST_F(FtdiLink, NoChipAtTheAddressIsToldAndAFailedWriteIsStillLogged) {
  ASSERT_TRUE(connect("I2C", 0x1B));
  const AccessResult write = link.Write(0x0024, 0x0001);
  EXPECT_EQ(write.status, status::kI2cWriteFailed);
  EXPECT_EQ(DescribeFailure(write, link.settings()),
            "no chip answering at I2C address 0x1B for the write of register 0x0024");
  EXPECT_EQ(link.ModifyRegister(0x0024, 0xFFF3, 0x0008), status::kI2cReadFailed);  // and nothing written
  EXPECT_EQ(device.i2cTrace(), (Lines{"S 36- P", "S 36- Sr 37- P"}));
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 0001"}));
  EXPECT_EQ(chip.writeCount(), 0u);

  // The chip answers its address but not a byte after it: the write fails, and says which byte.
  ASSERT_TRUE(connect());
  device.refuseWrittenByte(4);
  const AccessResult refused = link.Write(0x0024, 0x0002);
  EXPECT_EQ(refused.status, status::kI2cWriteFailed);
  EXPECT_EQ(DescribeFailure(refused, link.settings()),
            "I2C write of register 0x0024 failed: the chip at I2C address 0x0A did not acknowledge the value's low "
            "byte");
  EXPECT_EQ(device.i2cTrace(), (Lines{"S 14+ 00+ 24+ 00+ 02- P"}));
  EXPECT_EQ(chip.writeCount(), 0u);
  expectCleanBus();
}

TEST_F(FtdiLink, UnpluggedMidScriptTheRunEndsWithOneMessageAndReconnectingWorks) {
  ASSERT_TRUE(connect());
  const std::string script = testing::WriteFile(
      "script.txt", "Write 0x0020 0x0001\nWrite 0x0022 0x0002\nWrite 0x0024 0x0003\nWrite 0x0026 0x0004\n");
  ScriptRunOptions options{Owner::none(), [this](std::size_t lines) {
                             if (lines == 2) device.unplug();
                             return true;
                           },
                           {}};
  const ScriptRunResult run = RunScriptFile(link, script, options);
  EXPECT_EQ(run.accesses.failed, 2u);
  EXPECT_EQ(messages.texts(),
            (Lines{"2 of 4 register writes of the script did not reach the chip. The first, line 3 \"Write 0x0024 "
                   "0x0003\": I2C write of register 0x0024 failed: the USB bridge was unplugged (plug it in and "
                   "press Connect again) (usb bulk write failed)."}));
  EXPECT_EQ(LogLines(link.writeLog()).size(), 4u);  // every attempt, as I2C always logs
  // Only the first failed write touched USB; the rest failed at once.
  EXPECT_EQ(device.stats().callsWhileGone, 1u);
  EXPECT_EQ(bridge.deviceName(), "");

  device.plugIn();
  messages.clear();
  ASSERT_TRUE(connect());
  EXPECT_EQ(link.WriteRegister(0x0024, 0x0003), status::kOk);
  EXPECT_EQ(chip.read(0x0024), 0x0003);
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(FtdiLink, AShortAnswerOrAStuckBusFailsTheAccessAndTheNextOneWorks) {
  ASSERT_TRUE(connect());
  device.loseAnswerBytes(1);
  EXPECT_EQ(DescribeFailure(link.Write(0x0024, 0x0001), link.settings()),
            "I2C write of register 0x0024 failed: the USB transfer failed (the bridge answered 5 of 6 bytes)");
  EXPECT_TRUE(link.Write(0x0024, 0x0002).ok());

  device.holdSdaLow(true);
  EXPECT_EQ(DescribeFailure(link.Read(0x0024), link.settings()),
            "I2C read of register 0x0024 failed: the I2C bus is stuck (SDA or SCL held low) (SDA was low before the "
            "START)");
  device.holdSdaLow(false);
  EXPECT_EQ(link.Read(0x0024).value, 0x0002);
}

TEST_F(FtdiLink, SpiWritesGoOutFramedAfterChipSelectOnBusB) {
  ASSERT_TRUE(connect("SPI"));
  EXPECT_DOUBLE_EQ(device.sclHz(), 400000.0);
  EXPECT_FALSE(device.threePhase());
  EXPECT_EQ(link.WriteRegister(0x0024, 0x1234), status::kOk);
  EXPECT_EQ(chip.read(0x0024), 0x1234);
  EXPECT_EQ(device.spiTrace(), (Lines{"00 24 12 34"}));
  EXPECT_EQ(device.busBMask(), 0x0B);
  EXPECT_EQ(device.busBLatch(), 0x00);  // pin 3 driven low first
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 1234"}));

  // Pin reads, the pin byte and the frame; no answer to wait for.
  device.clearStats();
  link.WriteRegister(0x0026, 0x0001);
  EXPECT_EQ(device.stats().roundTrips, 3u);

  // Bus B takes the whole image with each pin write.
  BusBPins& pins = link.busB();
  for (int pin = 0; pin < 8; ++pin) pins.BusBWritePin(pin, 1);
  pins.BusBWritePin(3, 0);
  EXPECT_EQ(device.busBLatch(), 0xF7);
  EXPECT_EQ(device.busBOutputs(), 0x03);

  // Over SPI nothing is read and nothing modified.
  device.clearStats();
  std::uint16_t value = 0x5555;
  EXPECT_EQ(link.ReadRegister(0x0024, &value), status::kOk);
  EXPECT_EQ(link.ModifyRegister(0x0024, 0xFFFE, 1), status::kOk);
  EXPECT_EQ(value, 0x5555);
  EXPECT_EQ(device.stats().bulkWrites + device.stats().controlTransfers, 0u);
  EXPECT_EQ(messages.texts(), (Lines{" Read Register Not Supported", " Modify Register Not Supported"}));
}

TEST_F(FtdiLink, WithNoBridgeAnSpiWriteTellsBusBTwiceAndStillTriesTheWrite) {
  device.unplug();
  link.settings().connectionType = "SPI";
  EXPECT_EQ(link.WriteRegister(0x0024, 0x0001), status::kSpiWriteFailed);
  EXPECT_EQ(messages.texts(), (Lines{" BusB Open Error", " BusB Open Error"}));
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(FtdiLink, AChannelThatWillNotOpenSaysWhyAndLeavesNothingClaimedOrSent) {
  const struct {
    const char* name;
    std::function<void()> fault;
    const char* why;
    std::uint64_t writes;  // bulk writes the open made before it gave up
  } faults[] = {
      {"unplugged", [this] { device.unplug(); }, "no USB bridge is plugged in", 0},
      {"no permission", [this] { device.denyPermission(true); },
       "this user may not open the USB bridge (install the udev rule, see README: Hardware) (inappropriate "
       "permissions on device!)",
       0},
      {"another program", [this] { device.claimElsewhere(Channel::A, true); },
       "the USB bridge is in use by another program (unable to claim usb device. Make sure the default FTDI "
       "driver is not in use)",
       0},
      // The MPSSE must answer a bad command in step before anything else is sent.
      {"an MPSSE out of step", [this] { device.loseAnswerBytes(1); },
       "the USB transfer failed (the bridge answered 1 of 2 bytes)", 1},
      {"a kernel driver that stays", [this] { device.bindKernelDriver(false); },
       "the USB bridge is in use by another program (unable to claim usb device. Make sure the default FTDI "
       "driver is not in use)",
       0},
  };
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.name);
    device.plugIn();
    device.denyPermission(false);
    device.claimElsewhere(Channel::A, false);
    fault.fault();
    messages.clear();
    EXPECT_FALSE(connect());
    EXPECT_EQ(messages.texts(), (Lines{"I2C Initialization Error",
                                       std::string("The I2C channel could not be opened: ") + fault.why + "."}));
    EXPECT_EQ(atConnect.bulkWrites, fault.writes);
    EXPECT_FALSE(device.claimed(Channel::A));
    EXPECT_FALSE(device.claimed(Channel::B));
    EXPECT_EQ(bridge.deviceName(), "");
  }
  EXPECT_EQ(chip.writeCount(), 0u);

  // The kernel's serial driver is detached when it lets go, and the channel opens.
  device.bindKernelDriver(true);
  EXPECT_TRUE(connect());
  EXPECT_EQ(atConnect.kernelDriverDetaches, 1u);
  EXPECT_EQ(link.WriteRegister(0x0024, 0x0001), status::kOk);
}

// Two bridges on the bus, the first with a blank EEPROM (no serial); --device picks one by
// serial or by its place in the list.
TEST(FtdiDeviceChoice, BySerialOrIndexAndOtherwiseSaysWhatIsThere) {
  ChipModel first, second;
  EmulatedFt2232h one{first, {"", "Dual RS232-HS", "FTDI"}};
  EmulatedFt2232h two{second, {"FT0EMU02", "Board B", "FTDI"}};
  EmulatedUsb usb;
  usb.attach(one);
  usb.attach(two);
  const struct {
    std::optional<std::string> device;
    ChipModel* reached;
  } choices[] = {{std::nullopt, &first}, {"FT0EMU02", &second}, {"1", &second}, {"0", &first}};
  for (const auto& choice : choices) {
    SCOPED_TRACE(choice.device.value_or("(none)"));
    FtdiBridge bridge{usb, choice.device};
    RecordingMessenger messages;
    DeviceLink link{bridge, messages};
    ConnectRequest request;
    request.i2cAddress = 0x0A;
    ASSERT_TRUE(Connect(link, request, Owner::none()));
    EXPECT_EQ(link.WriteRegister(0x0024, 0x00AA), status::kOk);
    EXPECT_EQ(choice.reached->read(0x0024), 0x00AA);
    choice.reached->write(0x0024, 0);
    // Bus B goes to the same bridge.
    link.busB().BusBWritePin(0, 1);
    EXPECT_EQ((choice.reached == &first ? one : two).busBLatch(), 0x01);
  }
  FtdiBridge bridge{usb, std::string("FT9")};
  EXPECT_EQ(DescribeOpenFailure(LinkKind::I2c, bridge.i2c().open(kI2cStandardClockHz)),
            "The I2C channel could not be opened: no USB bridge with that serial or index is plugged in (asked for "
            "\"FT9\"; plugged in: FT2232H #0 (Dual RS232-HS), FT2232H FT0EMU02 (Board B)).");

  // A bridge plugged in again between the list and the open is somewhere else: not opened.
  std::vector<ftdi::DeviceInfo> listed;
  ASSERT_TRUE(usb.list(listed).ok());
  two.unplug();
  two.plugIn();
  const std::unique_ptr<ftdi::FtdiPort> port = usb.makePort();
  EXPECT_EQ(port->open({listed[1].bus, listed[1].address}, Channel::A).error, ftdi::PortError::NotFound);
}

TEST_F(FtdiLink, ChannelsAreGivenBackOnReconnectOnALinkChangeAndAtTheEnd) {
  // A second Connect would find the channel claimed if the first were not given back.
  ASSERT_TRUE(connect());
  ASSERT_TRUE(connect());
  ASSERT_TRUE(connect("SPI"));
  link.WriteRegister(0x0024, 0x0001);
  EXPECT_TRUE(device.claimed(Channel::A));
  EXPECT_TRUE(device.claimed(Channel::B));

  // Choosing Ethernet releases the bridge, its pins inputs: not handed back to the UART,
  // which would drive SCL and SDA.
  ASSERT_TRUE(connect("Ethernet"));
  EXPECT_FALSE(device.claimed(Channel::A));
  EXPECT_FALSE(device.claimed(Channel::B));
  EXPECT_EQ(device.drivenPinsA(), 0x00);

  {
    FtdiBridge other{usb, std::nullopt};
    RecordingMessenger told;
    DeviceLink otherLink{other, told};
    otherLink.settings().connectionType = "SPI";
    ConnectRequest request;
    ASSERT_TRUE(Connect(otherLink, request, Owner::none()));
    otherLink.WriteRegister(0x0024, 0x0001);
    EXPECT_TRUE(device.claimed(Channel::A));
    otherLink.settings().connectionType = "I2C";
    request.i2cAddress = 0x0A;
    ASSERT_TRUE(Connect(otherLink, request, Owner::none())) << told.texts().back();
    EXPECT_NE(device.drivenPinsA(), 0x00);
    device.clearTraces();
  }
  // The program's end gives everything back, the bus let go.
  EXPECT_FALSE(device.claimed(Channel::A));
  EXPECT_FALSE(device.claimed(Channel::B));
  EXPECT_EQ(device.drivenPinsA(), 0x00);
  EXPECT_EQ(device.i2cTrace(), Lines{});  // and no START or STOP on the way out
}

}  // namespace
}  // namespace tonvisor
