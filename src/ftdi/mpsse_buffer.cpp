#include "ftdi/mpsse_buffer.h"

#include <cmath>

namespace tonvisor::ftdi {

namespace {
constexpr double kBaseHz = 60e6;
constexpr double kPinCommandNs = 150.0;
// The longest of tSU;STA, tHD;STA and tSU;STO: standard mode (to 100 kHz), fast mode above.
constexpr double kStandardHoldNs = 4700.0;
constexpr double kFastHoldNs = 600.0;
}  // namespace

std::optional<std::uint16_t> ClockDivisor(std::uint32_t hz, bool threePhase) {
  if (hz == 0) return std::nullopt;
  const double perPeriod = threePhase ? 3.0 : 2.0;
  const double exact = kBaseHz / (perPeriod * hz) - 1.0;
  if (exact < -0.5 || exact > 65535.5) return std::nullopt;
  const auto divisor = static_cast<std::uint16_t>(std::lround(exact < 0 ? 0 : exact));
  const double actual = kBaseHz / (perPeriod * (1.0 + divisor));
  if (std::abs(actual - hz) > hz * 0.01) return std::nullopt;
  return divisor;
}

int I2cHoldCommands(std::uint32_t clockHz) {
  const double hold = clockHz <= 100000 ? kStandardHoldNs : kFastHoldNs;
  return static_cast<int>(std::ceil(hold / kPinCommandNs));
}

void MpsseBuffer::setPins(std::uint8_t value, std::uint8_t direction, int times) {
  for (int i = 0; i < times; ++i) m_bytes.insert(m_bytes.end(), {mpsse::kSetLowPins, value, direction});
}

void MpsseBuffer::setUp(bool threePhase, std::uint8_t value, std::uint8_t direction, std::uint16_t divisor) {
  m_bytes.insert(m_bytes.end(), {mpsse::kDivideBy5Off, mpsse::kAdaptiveOff,
                                 threePhase ? mpsse::kThreePhaseOn : mpsse::kThreePhaseOff});
  setPins(value, direction);
  m_bytes.insert(m_bytes.end(), {mpsse::kClockDivisor, static_cast<std::uint8_t>(divisor & 0xFF),
                                 static_cast<std::uint8_t>(divisor >> 8), mpsse::kLoopbackOff});
}

// Three-phase clocking holds SDA a third of a period past SCL's falling edge, as I2C needs.
void MpsseBuffer::setUpI2c(std::uint16_t divisor) { setUp(true, kSclPin | kSdaOutPin, kSclPin, divisor); }

// SCK low (mode 0), MOSI low, chip select high.
void MpsseBuffer::setUpSpi(std::uint16_t divisor) {
  setUp(false, kChipSelectPin, kSclPin | kSdaOutPin | kChipSelectPin, divisor);
}

void MpsseBuffer::i2cIdleAndCheck() {
  setPins(kSclPin | kSdaOutPin, kSclPin);
  m_bytes.push_back(mpsse::kReadLowPins);
  ++m_answers;
}

void MpsseBuffer::i2cStart(int holdCommands) {
  setPins(kSclPin, kSclPin | kSdaOutPin, holdCommands);  // SDA falls while SCL is high
  setPins(0, kSclPin | kSdaOutPin);                      // SCL low, SDA held low
}

void MpsseBuffer::i2cRepeatedStart(int holdCommands) {
  setPins(kSdaOutPin, kSclPin);                                    // SDA let go while SCL is low
  setPins(kSclPin | kSdaOutPin, kSclPin, holdCommands);            // SCL up: set-up time
  i2cStart(holdCommands);
}

void MpsseBuffer::i2cStop(int holdCommands) {
  setPins(0, kSclPin | kSdaOutPin);                      // SDA low while SCL is low
  setPins(kSclPin, kSclPin | kSdaOutPin, holdCommands);  // SCL up: set-up time
  setPins(kSclPin | kSdaOutPin, kSclPin);                // SDA let go: it rises while SCL is high
}

void MpsseBuffer::i2cWriteByte(std::uint8_t byte) {
  m_bytes.insert(m_bytes.end(), {mpsse::kBytesOutFalling, 0x00, 0x00, byte});
  setPins(0, kSclPin);                                   // SDA let go for the chip's acknowledge
  m_bytes.insert(m_bytes.end(), {mpsse::kBitsInRising, 0x00});
  ++m_answers;
  setPins(0, kSclPin | kSdaOutPin);                      // SDA held low again
}

void MpsseBuffer::i2cReadByte(bool acknowledge) {
  setPins(0, kSclPin);                                   // SDA let go: the chip sends
  m_bytes.insert(m_bytes.end(), {mpsse::kBytesInRising, 0x00, 0x00});
  ++m_answers;
  // The answer bit: low asks for another byte; high (no acknowledge) ends the read.
  const std::uint8_t level = acknowledge ? 0 : kSdaOutPin;
  setPins(level, kSclPin | kSdaOutPin);
  m_bytes.insert(m_bytes.end(), {mpsse::kBitsOutFalling, 0x00, static_cast<std::uint8_t>(acknowledge ? 0x00 : 0xFF)});
  setPins(0, kSclPin | kSdaOutPin);
}

void MpsseBuffer::spiFrame(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  setPins(0, kSclPin | kSdaOutPin | kChipSelectPin);
  const std::size_t length = bytes.size() - 1;
  m_bytes.insert(m_bytes.end(), {mpsse::kBytesOutFalling, static_cast<std::uint8_t>(length & 0xFF),
                                 static_cast<std::uint8_t>(length >> 8)});
  m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
  setPins(kChipSelectPin, kSclPin | kSdaOutPin | kChipSelectPin);
}

}  // namespace tonvisor::ftdi
