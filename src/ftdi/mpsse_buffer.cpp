#include "ftdi/mpsse_buffer.h"

#include <algorithm>
#include <cmath>

#include "ftdi/i2c_timing.h"

namespace tonvisor::ftdi {

namespace {
using std::chrono::nanoseconds;

constexpr double kBaseHz = 60e6;
constexpr double kMargin = 1.1;

double withMargin(nanoseconds time) { return static_cast<double>(time.count()) * kMargin; }

// Set-pins commands that hold a level at least this long (one at the least).
int commandsFor(double ns) {
  return std::max(1, static_cast<int>(std::ceil(ns / static_cast<double>(kShortestPinCommand.count()))));
}
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

std::optional<I2cClocking> PlanI2cClocking(std::uint32_t clockHz) {
  if (clockHz == 0 || clockHz > kI2cFastMode.maxClockHz) return std::nullopt;
  const I2cBusTimes& mode = I2cModeFor(clockHz);
  const double phaseNs = std::max({1e9 / (3.0 * clockHz), withMargin(mode.high), withMargin(mode.low) / 2.0});
  // A phase lasts 1 + divisor cycles of the base clock; rounding up keeps it no shorter.
  const double cycles = std::ceil(phaseNs * kBaseHz / 1e9 - 1e-6);
  if (cycles > 65536.0) return std::nullopt;
  I2cClocking clocking;
  clocking.divisor = static_cast<std::uint16_t>(cycles - 1.0);
  clocking.phase = nanoseconds(static_cast<std::int64_t>(cycles * 1e9 / kBaseHz));
  const double phase = static_cast<double>(clocking.phase.count());
  // The bit clock adds one phase of SCL low before its first rise and after its last fall.
  // A pulse made by set-pins commands (a repeated START's, the STOP's) also keeps the period
  // of the rate, as bits do.
  const double lowLeft = std::max(withMargin(mode.low), 1e9 / mode.maxClockHz - phase) - phase;
  clocking.busFree = commandsFor(withMargin(mode.busFree) + static_cast<double>(mode.riseMax.count()));
  clocking.startHold = commandsFor(withMargin(mode.startHold));
  clocking.lowAfterStart = commandsFor(lowLeft);
  clocking.lowBeforeRise = std::max(commandsFor(lowLeft), commandsFor(withMargin(mode.dataSetup)));
  clocking.startSetup = commandsFor(withMargin(mode.startSetup));
  clocking.stopSetup = commandsFor(withMargin(mode.stopSetup));
  return clocking;
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

// Held for the bus-free time before the pins are read: a STOP just before (a batch queued
// behind another) may still be rising, and must not be read as SDA held low.
void MpsseBuffer::i2cIdleAndCheck(const I2cClocking& clocking) {
  setPins(kSclPin | kSdaOutPin, kSclPin, clocking.busFree);
  m_bytes.push_back(mpsse::kReadLowPins);
  ++m_answers;
}

void MpsseBuffer::i2cStart(const I2cClocking& clocking) {
  setPins(kSclPin, kSclPin | kSdaOutPin, clocking.startHold);  // SDA falls while SCL is high
  setPins(0, kSclPin | kSdaOutPin, clocking.lowAfterStart);     // SCL low, SDA held low
}

// SDA is driven high, not let go: through a slow pull-up it would still be rising when SCL
// goes up, and the chip would see a STOP and a new START instead.
void MpsseBuffer::i2cRepeatedStart(const I2cClocking& clocking) {
  setPins(kSdaOutPin, kSclPin | kSdaOutPin, clocking.lowBeforeRise);            // SDA high while SCL is low
  setPins(kSclPin | kSdaOutPin, kSclPin | kSdaOutPin, clocking.startSetup);  // SCL up: set-up time
  i2cStart(clocking);
}

void MpsseBuffer::i2cStop(const I2cClocking& clocking) {
  setPins(0, kSclPin | kSdaOutPin, clocking.lowBeforeRise);    // SDA low while SCL is low
  setPins(kSclPin, kSclPin | kSdaOutPin, clocking.stopSetup);  // SCL up: set-up time
  setPins(kSclPin | kSdaOutPin, kSclPin);                      // SDA let go: it rises while SCL is high
}

void MpsseBuffer::releasePins() { setPins(0, 0); }

// The chip starts its acknowledge as SCL falls after the eighth bit, while three-phase
// clocking still holds that bit for a phase: a last bit of 1 is therefore not driven but
// left to the pull-up, or the bridge would drive SDA high against the chip's acknowledge.
void MpsseBuffer::i2cWriteByte(std::uint8_t byte) {
  m_bytes.insert(m_bytes.end(), {mpsse::kBitsOutFalling, 0x06, byte});  // the first seven bits
  const bool lastHigh = (byte & 0x01) != 0;
  setPins(0, lastHigh ? kSclPin : kSclPin | kSdaOutPin);
  m_bytes.insert(m_bytes.end(), {mpsse::kBitsOutFalling, 0x00, static_cast<std::uint8_t>(byte << 7)});
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
