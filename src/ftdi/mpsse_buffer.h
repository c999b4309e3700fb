#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// MPSSE command bytes for channel A of an FT2232H, built one whole transaction at a time so
// that it goes out in one USB write and its answer comes back in one read.
//
// Wiring (channel A's low byte): ADBUS0 SCL or SCK, ADBUS1 SDA out or MOSI, ADBUS2 SDA in
// (tied to ADBUS1 on the board), ADBUS3 SPI chip select.

namespace tonvisor::ftdi {

namespace mpsse {
inline constexpr std::uint8_t kSetLowPins = 0x80;      // value, direction (1 = output)
inline constexpr std::uint8_t kReadLowPins = 0x81;     // answers one byte
inline constexpr std::uint8_t kLoopbackOff = 0x85;
inline constexpr std::uint8_t kClockDivisor = 0x86;    // low, high
inline constexpr std::uint8_t kSendImmediate = 0x87;
inline constexpr std::uint8_t kDivideBy5Off = 0x8A;    // 60 MHz base clock
inline constexpr std::uint8_t kThreePhaseOn = 0x8C;
inline constexpr std::uint8_t kThreePhaseOff = 0x8D;
inline constexpr std::uint8_t kAdaptiveOff = 0x97;
inline constexpr std::uint8_t kBytesOutFalling = 0x11;  // MSB first, data changes on the falling edge
inline constexpr std::uint8_t kBitsOutFalling = 0x13;
inline constexpr std::uint8_t kBytesInRising = 0x20;    // MSB first, sampled on the rising edge
inline constexpr std::uint8_t kBitsInRising = 0x22;
inline constexpr std::uint8_t kBadCommand = 0xAA;       // no command: the chip answers 0xFA 0xAA
inline constexpr std::uint8_t kBadCommandAnswer = 0xFA;
}  // namespace mpsse

inline constexpr std::uint8_t kSclPin = 0x01;
inline constexpr std::uint8_t kSdaOutPin = 0x02;
inline constexpr std::uint8_t kSdaInPin = 0x04;
inline constexpr std::uint8_t kChipSelectPin = 0x08;

// The divisor for a clock rate on the 60 MHz base: two-phase clocking gives 60 MHz /
// (2 x (1 + divisor)), three-phase two thirds of that. Nothing when no divisor gives the
// rate to within 1 %.
std::optional<std::uint16_t> ClockDivisor(std::uint32_t hz, bool threePhase);

// The shortest a set-pins command may take on the FT2232H. Holds are counted in commands of
// this length: a slower command only holds longer. (Measured figures are 150 to 500 ns.)
inline constexpr std::chrono::nanoseconds kShortestPinCommand{100};

// How the I2C master keeps the bus times of a clock rate's mode, with a tenth to spare.
// Three-phase clocking splits each bit into three equal phases (data set up, SCL high, data
// held with SCL low), so SCL is high for one phase and low for two: the phase is chosen long
// enough for tHIGH and tLOW and short enough for the rate, which may make SCL slower than
// asked (about 76 kHz for 100 kHz: a third of 10 us is shorter than tHIGH's 4.0 us). The
// levels the bit clock does not time are held by repeating their set-pins command.
struct I2cClocking {
  std::uint16_t divisor = 0;
  std::chrono::nanoseconds phase{0};  // a third of an SCL period
  int busFree = 1;        // SDA let go before the START: tBUF after a STOP still rising
  int startHold = 1;      // SDA low, SCL high: tHD;STA
  int lowAfterStart = 1;  // SCL low after a START, before the first bit's set-up phase
  int lowBeforeRise = 1;  // SDA set with SCL low before SCL rises for a repeated START or STOP
  int startSetup = 1;     // SCL high before a repeated START: tSU;STA
  int stopSetup = 1;      // SCL high before the STOP: tSU;STO
};

// Nothing for 0 Hz, above 400 kHz, or below what the divisor reaches.
std::optional<I2cClocking> PlanI2cClocking(std::uint32_t clockHz);

class MpsseBuffer {
 public:
  // The set-up of a channel just put in MPSSE mode: 60 MHz base, adaptive clocking off,
  // three-phase clocking on for I2C (off for SPI), the pins' idle levels, the divisor,
  // loopback off.
  void setUpI2c(std::uint16_t divisor);
  void setUpSpi(std::uint16_t divisor);

  // I2C. The FT2232H has no open-drain outputs, so SDA is driven only for the bits the
  // bridge sends (low whenever it can) and let go for every bit the chip sends; the pull-up
  // raises it. Each level is held as long as the clocking says.
  void i2cIdleAndCheck(const I2cClocking& clocking);  // SCL high, SDA let go; one answer byte with the pins' levels
  void i2cStart(const I2cClocking& clocking);
  void i2cRepeatedStart(const I2cClocking& clocking);
  void i2cStop(const I2cClocking& clocking);
  void i2cWriteByte(std::uint8_t byte);          // one answer byte, bit 0 the acknowledge (0 = ACK)
  void i2cReadByte(bool acknowledge);            // one answer byte, the data

  // SPI mode 0: chip select low, the bytes out MSB first, chip select high.
  void spiFrame(std::span<const std::uint8_t> bytes);

  // Every low-byte pin an input: the board's lines are let go, pulled up as when nothing is
  // connected.
  void releasePins();

  void sendImmediate() { m_bytes.push_back(mpsse::kSendImmediate); }

  const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
  std::size_t answerBytes() const { return m_answers; }

 private:
  void setPins(std::uint8_t value, std::uint8_t direction, int times = 1);
  void setUp(bool threePhase, std::uint8_t value, std::uint8_t direction, std::uint16_t divisor);

  std::vector<std::uint8_t> m_bytes;
  std::size_t m_answers = 0;
};

}  // namespace tonvisor::ftdi
