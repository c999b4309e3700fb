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

// START, STOP and bytes with the hold each phase needs at 100 kHz (32 commands of 150 ns).
void Start(Bytes& b) {
  Repeat(b, 32, 0x03, 0x03);
  Repeat(b, 32, 0x01, 0x03);
  Repeat(b, 1, 0x00, 0x03);
}
void Stop(Bytes& b) {
  Repeat(b, 1, 0x00, 0x03);
  Repeat(b, 32, 0x01, 0x03);
  Repeat(b, 32, 0x03, 0x03);
  Repeat(b, 1, 0x03, 0x01);  // SDA let go
}
void WriteByte(Bytes& b, std::uint8_t byte) {
  Append(b, {0x11, 0x00, 0x00, byte, 0x80, 0x00, 0x01, 0x22, 0x00, 0x80, 0x02, 0x03});
}
void ReadByte(Bytes& b, bool last) {
  Append(b, {0x80, 0x00, 0x01, 0x20, 0x00, 0x00, 0x80, 0x02, 0x03, 0x13, 0x00, static_cast<std::uint8_t>(last ? 0xFF : 0x00)});
}

struct Emulator : ::testing::Test {
  Emulator() {
    usb.attach(device);
    EXPECT_TRUE(port->open({}, Channel::A).ok());
    EXPECT_TRUE(port->setBitmode(0, ftdi::kModeMpsse).ok());
    // 60 MHz base, three-phase, divisor 199: 100 kHz SCL; loopback off.
    send({0x8A, 0x97, 0x8C, 0x80, 0x03, 0x01, 0x86, 199, 0x00, 0x85});
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
  EXPECT_DOUBLE_EQ(device.sclHz(), 100000.0);
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
  Repeat(read, 1, 0x00, 0x03);
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
  EXPECT_EQ(stats.timingViolations, 0u);
  EXPECT_EQ(stats.roundTrips, 2u);  // one per transaction: its commands out, its answer back
  EXPECT_EQ(stats.latencyTimerWaits, 0u);
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
  EXPECT_EQ(second->open({}, Channel::A).error, PortError::Busy);
  ASSERT_TRUE(second->open({}, Channel::B).ok());
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

  device.unplug();
  EXPECT_EQ(port->write(Bytes{0x87}).error, PortError::Gone);
  std::size_t received = 0;
  Bytes into(4);
  EXPECT_EQ(port->read(into, received).error, PortError::Gone);
  ASSERT_TRUE(usb.list(listed).ok());
  EXPECT_TRUE(listed.empty());
  EXPECT_EQ(second->open({}, Channel::A).error, PortError::NotFound);
  device.plugIn();
  EXPECT_EQ(port->write(Bytes{0x87}).error, PortError::Gone);  // a handle from before stays dead
  EXPECT_TRUE(second->open({.serial = "FT0EMU01", .index = 0}, Channel::A).ok());
}

}  // namespace
}  // namespace tonvisor
