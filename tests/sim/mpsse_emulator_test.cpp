#include <gtest/gtest.h>

#include <vector>

#include "sim/mpsse_emulator.h"

namespace tonvisor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;
using ftdi::Channel;
using ftdi::PortError;

// Hand-written MPSSE, straight from the command set: what the emulator must understand
// whoever builds it.
void Append(Bytes& bytes, std::initializer_list<std::uint8_t> more) { bytes.insert(bytes.end(), more); }

void Repeat(Bytes& bytes, int times, std::uint8_t value, std::uint8_t direction) {
  for (int i = 0; i < times; ++i) Append(bytes, {0x80, value, direction});
}

// START, STOP and bytes with the hold each phase needs in standard mode: 32 commands of
// 150 ns for the set-up and hold times, 4 more of SCL low on top of the bit clock's phase.
void Start(Bytes& b) {
  Repeat(b, 32, 0x03, 0x03);
  Repeat(b, 32, 0x01, 0x03);
  Repeat(b, 4, 0x00, 0x03);
}
void Stop(Bytes& b) {
  Repeat(b, 4, 0x00, 0x03);
  Repeat(b, 32, 0x01, 0x03);
  Repeat(b, 32, 0x03, 0x03);
  Repeat(b, 1, 0x03, 0x01);  // SDA let go
}
// Seven bits driven; the eighth let go when it is 1, as the chip's acknowledge starts while
// three-phase clocking still holds it.
void WriteByte(Bytes& b, std::uint8_t byte) {
  const std::uint8_t last = (byte & 1) != 0 ? 0x01 : 0x03;
  Append(b, {0x13, 0x06, byte, 0x80, 0x00, last, 0x13, 0x00, static_cast<std::uint8_t>(byte << 7)});
  Append(b, {0x80, 0x00, 0x01, 0x22, 0x00, 0x80, 0x02, 0x03});
}
void ReadByte(Bytes& b, bool last) {
  Append(b, {0x80, 0x00, 0x01, 0x20, 0x00, 0x00, 0x80, 0x02, 0x03, 0x13, 0x00, static_cast<std::uint8_t>(last ? 0xFF : 0x00)});
}

struct Emulator : ::testing::Test {
  Emulator() {
    usb.attach(device);
    EXPECT_TRUE(port->open(device.location(), Channel::A).ok());
    EXPECT_TRUE(port->setBitmode(0, ftdi::kModeMpsse).ok());
    // 60 MHz base, three-phase, divisor 263: phases of 4.4 us, SCL 75.8 kHz; loopback off.
    send({0x8A, 0x97, 0x8C, 0x80, 0x03, 0x01, 0x86, 0x07, 0x01, 0x85});
    device.clearStats();
  }

  void send(const Bytes& bytes) { ASSERT_TRUE(port->write(bytes).ok()); }
  Bytes answer() {
    Bytes bytes(64);
    std::size_t received = 0;
    EXPECT_TRUE(port->read(bytes, received).ok());
    bytes.resize(received);
    return bytes;
  }

  ChipModel chip;
  EmulatedFt2232h device{chip};
  EmulatedUsb usb;
  std::unique_ptr<ftdi::FtdiPort> port = usb.makePort();
};

TEST_F(Emulator, AnswersBadCommandsAsTheChipDoesAndCarriesOn) {
  // 0xAA is no command; 0x9E (drive only zeros) exists on the FT232H alone.
  send({0xAA, 0x9E, 0x81, 0x87});
  EXPECT_EQ(answer(), (Bytes{0xFA, 0xAA, 0xFA, 0x9E, 0xFF}));
  EXPECT_EQ(device.stats().badCommands, 2u);
  EXPECT_NEAR(device.sclHz(), 75758.0, 1.0);
}

TEST_F(Emulator, AnI2cWriteAndReadOfTheChipByTheRecipe) {
  Bytes write;
  Start(write);
  for (std::uint8_t byte : {0x14, 0x00, 0x24, 0x12, 0x34}) WriteByte(write, byte);
  Stop(write);
  Append(write, {0x87});
  send(write);
  EXPECT_EQ(answer(), Bytes(5, 0x00));  // five acknowledges
  EXPECT_EQ(chip.read(0x0024), 0x1234);

  chip.write(0x0026, 0xA011);
  Bytes read;
  Start(read);
  for (std::uint8_t byte : {0x14, 0x00, 0x26}) WriteByte(read, byte);
  Repeat(read, 32, 0x02, 0x03);  // repeated START: SDA up, SCL up, SDA down
  Repeat(read, 32, 0x03, 0x03);
  Repeat(read, 32, 0x01, 0x03);
  Repeat(read, 4, 0x00, 0x03);
  WriteByte(read, 0x15);
  ReadByte(read, false);
  ReadByte(read, true);
  Stop(read);
  Append(read, {0x87});
  send(read);
  EXPECT_EQ(answer(), (Bytes{0x00, 0x00, 0x00, 0x00, 0xA0, 0x11}));

  EXPECT_EQ(device.i2cTrace(), (Lines{"S 14+ 00+ 24+ 12+ 34+ P", "S 14+ 00+ 26+ Sr 15+ A0+ 11- P"}));
  const auto stats = device.stats();
  EXPECT_EQ(stats.contention, 0u);
  EXPECT_EQ(stats.holdViolations, 0u);
  EXPECT_EQ(stats.timingViolations, 0u) << stats.firstTimingViolation;
  EXPECT_EQ(stats.roundTrips, 2u);  // one per transaction: its commands out, its answer back
  EXPECT_EQ(stats.latencyTimerWaits, 0u);
}

// The same repeated START with SDA let go (not driven high) one command before SCL rises:
// too little data set-up even with an instant rise, and through a pull-up with a 300 ns rise
// SDA is still low when SCL goes up, so its rise is a STOP. And at 100 kHz a third of the
// period as SCL's last low phase leaves the low after a START short of standard mode's.
TEST_F(Emulator, SeesASlowRiseAsAStopAndMeasuresTheBusTimes) {
  const struct {
    const char* name;
    std::chrono::nanoseconds rise;
    std::uint8_t divisor;  // 0x07 0x01 as set up, or 199 (100 kHz)
    Lines trace;
    const char* firstViolation;
  } cases[] = {
      {"no rise time", std::chrono::nanoseconds(0), 0, {"S 14+ 00+ 26+ Sr 15+ 00- P"},
       "tSU;DAT 0.150 us, at least 0.250 us"},
      {"300 ns", std::chrono::nanoseconds(300), 0, {"S 14+ 00+ 26+ P", "S 15+ 00- P"},
       "tSU;STO 0.150 us, at least 4.000 us"},
      {"100 kHz", std::chrono::nanoseconds(0), 199, {"S 14+ 00+ 26+ Sr 15+ 00- P"}, "tLOW 3.933 us, at least 4.700 us"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    device.setTiming({.riseTime = c.rise});
    if (c.divisor != 0) send({0x86, c.divisor, 0x00});
    device.clearStats();
    device.clearTraces();
    Bytes read;
    Start(read);
    for (std::uint8_t byte : {0x14, 0x00, 0x26}) WriteByte(read, byte);
    Repeat(read, 32, 0x00, 0x03);
    Repeat(read, 1, 0x02, 0x01);   // SDA let go
    Repeat(read, 32, 0x03, 0x01);  // SCL up one command later
    Repeat(read, 32, 0x01, 0x03);
    Repeat(read, 4, 0x00, 0x03);
    WriteByte(read, 0x15);
    ReadByte(read, true);
    Stop(read);
    send(read);
    EXPECT_EQ(device.i2cTrace(), c.trace);
    EXPECT_EQ(device.stats().firstTimingViolation, c.firstViolation);
  }
}

TEST_F(Emulator, CatchesWhatARealBusWouldPunish) {
  // Nobody at 0x1B: every acknowledge reads high.
  Bytes nobody;
  Start(nobody);
  for (std::uint8_t byte : {0x36, 0x00, 0x24}) WriteByte(nobody, byte);
  Stop(nobody);
  Append(nobody, {0x87});
  send(nobody);
  EXPECT_EQ(answer(), (Bytes{0x01, 0x01, 0x01}));
  EXPECT_EQ(device.i2cTrace().back(), "S 36- P");

  // SDA driven high through the chip's acknowledge, two-phase clocking, a START held 150 ns.
  Bytes careless = {0x8D};
  Repeat(careless, 1, 0x03, 0x03);
  Repeat(careless, 1, 0x01, 0x03);
  Repeat(careless, 1, 0x00, 0x03);
  Append(careless, {0x11, 0x00, 0x00, 0x15, 0x22, 0x00, 0x87});  // ACK clocked with SDA still driven
  send(careless);
  answer();
  const auto stats = device.stats();
  EXPECT_GE(stats.timingViolations, 1u);
  EXPECT_GE(stats.holdViolations, 1u);
  EXPECT_EQ(stats.contention, 1u);

  // Held low by the board: the pins say so.
  device.holdSdaLow(true);
  send({0x80, 0x03, 0x01, 0x81, 0x87});
  EXPECT_EQ(answer(), (Bytes{0xF9}));
}

TEST_F(Emulator, SpiFramesOfThirtyTwoBitsReachTheChipInModeZero) {
  send({0x8D, 0x80, 0x08, 0x0B, 0x86, 74, 0x00});  // 400 kHz, chip select high
  EXPECT_DOUBLE_EQ(device.sclHz(), 400000.0);
  send({0x80, 0x00, 0x0B, 0x11, 0x03, 0x00, 0x00, 0x24, 0xBE, 0xEF, 0x80, 0x08, 0x0B});
  send({0x80, 0x00, 0x0B, 0x11, 0x02, 0x00, 0x00, 0x26, 0x01, 0x80, 0x08, 0x0B});
  EXPECT_EQ(chip.read(0x0024), 0xBEEF);
  EXPECT_EQ(device.spiTrace(), (Lines{"00 24 BE EF", "bad frame of 24 bits"}));
  EXPECT_EQ(chip.read(0x0026), 0);
  EXPECT_EQ(device.stats().holdViolations, 0u);  // SPI data changes on the falling edge by design
}

TEST_F(Emulator, ChannelsAreClaimedOnceAndGoAwayWhenUnplugged) {
  auto second = usb.makePort();
  EXPECT_EQ(second->open(device.location(), Channel::A).error, PortError::Busy);
  ASSERT_TRUE(second->open(device.location(), Channel::B).ok());
  // Bus B does nothing as pins until it is in bit-bang mode.
  ASSERT_TRUE(second->write(Bytes{0x0B}).ok());
  EXPECT_EQ(device.busBOutputs(), 0x00);
  EXPECT_EQ(device.stats().uartBytes, 1u);
  ASSERT_TRUE(second->setBitmode(0x0B, ftdi::kModeBitbang).ok());
  ASSERT_TRUE(second->write(Bytes{0xFF}).ok());
  EXPECT_EQ(device.busBOutputs(), 0x0B);
  std::uint8_t pins = 0;
  ASSERT_TRUE(second->readPins(pins).ok());
  EXPECT_EQ(pins, 0xFF);
  second->close();
  EXPECT_FALSE(device.claimed(Channel::B));

  std::vector<ftdi::DeviceInfo> listed;
  ASSERT_TRUE(usb.list(listed).ok());
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].serial, "FT0EMU01");

  const ftdi::DeviceSelector before = device.location();
  device.unplug();
  EXPECT_EQ(port->write(Bytes{0x87}).error, PortError::Gone);
  std::size_t received = 0;
  Bytes into(4);
  EXPECT_EQ(port->read(into, received).error, PortError::Gone);
  ASSERT_TRUE(usb.list(listed).ok());
  EXPECT_TRUE(listed.empty());
  EXPECT_EQ(second->open(before, Channel::A).error, PortError::NotFound);
  device.plugIn();
  EXPECT_EQ(port->write(Bytes{0x87}).error, PortError::Gone);  // a handle from before stays dead
  // Plugged in again it has a new address: the old one finds nothing, the new one opens.
  EXPECT_EQ(second->open(before, Channel::A).error, PortError::NotFound);
  EXPECT_TRUE(second->open(device.location(), Channel::A).ok());
}

}  // namespace
}  // namespace tonvisor
