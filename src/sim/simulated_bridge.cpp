#include "sim/simulated_bridge.h"

namespace tonvisor {
namespace {

BridgeResult ok() { return {}; }
BridgeResult fail(std::int32_t code) { return BridgeResult::Failure(code); }

class SimI2c final : public I2cMaster {
 public:
  explicit SimI2c(ChipModel& chip) : m_chip(chip) {}

  BridgeResult open(std::uint32_t clockHz) override {
    if (clockHz == 0) return fail(bridge::kInvalidArguments);
    m_open = true;
    return ok();
  }
  void close() override { m_open = false; }
  // The chip's I2C port: the first two bytes written set its register pointer, each further
  // pair writes the register there and moves the pointer on by 2; reads take pairs from the
  // pointer the same way.
  BridgeResult transfer(std::uint8_t device, std::span<const std::uint8_t> write,
                        std::span<std::uint8_t> read) override {
    if (!m_open) return fail(bridge::kInvalidHandle);
    if (write.size() % 2 != 0 || read.size() % 2 != 0 || (write.empty() && read.empty())) {
      return fail(bridge::kInvalidArguments);
    }
    if (device != ChipModel::kI2cDeviceAddress) return BridgeResult::NoAcknowledge(0);
    for (std::size_t i = 0; i < write.size(); i += 2) {
      const auto word = static_cast<std::uint16_t>(write[i] << 8 | write[i + 1]);
      if (i == 0) {
        m_pointer = word;
      } else {
        m_chip.write(m_pointer, word);
        m_pointer = static_cast<std::uint16_t>(m_pointer + 2);
      }
    }
    for (std::size_t i = 0; i < read.size(); i += 2) {
      const std::uint16_t value = m_chip.read(m_pointer);
      read[i] = static_cast<std::uint8_t>(value >> 8);
      read[i + 1] = static_cast<std::uint8_t>(value);
      m_pointer = static_cast<std::uint16_t>(m_pointer + 2);
    }
    return ok();
  }
  bool isOpen() const { return m_open; }

 private:
  ChipModel& m_chip;
  bool m_open = false;
  std::uint16_t m_pointer = 0;
};

// The chip's SPI port: 16 bits of register address, then 16 bits of value, per frame.
class SimSpi final : public SpiMaster {
 public:
  explicit SimSpi(ChipModel& chip) : m_chip(chip) {}

  BridgeResult open(std::uint32_t clockHz, int mode) override {
    if (clockHz == 0 || mode != 0) return fail(bridge::kInvalidArguments);
    m_open = true;
    return ok();
  }
  void close() override { m_open = false; }
  BridgeResult transfer(std::span<const std::uint8_t> bytes) override {
    if (!m_open) return fail(bridge::kInvalidHandle);
    if (bytes.size() != 4) return fail(bridge::kInvalidArguments);
    m_chip.write(static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]),
                 static_cast<std::uint16_t>(bytes[2] << 8 | bytes[3]));
    return ok();
  }
  bool isOpen() const { return m_open; }

 private:
  ChipModel& m_chip;
  bool m_open = false;
};

class SimPins final : public PinPort {
 public:
  BridgeResult open(std::uint8_t outputMask) override {
    m_open = true;
    m_mask = outputMask;
    return ok();
  }
  BridgeResult read(std::uint8_t& pins) override {
    if (!m_open) return fail(bridge::kInvalidHandle);
    pins = m_pins;
    return ok();
  }
  BridgeResult write(std::uint8_t pins) override {
    if (!m_open) return fail(bridge::kInvalidHandle);
    // Only the driven pins follow the byte; the inputs keep what they read.
    m_pins = static_cast<std::uint8_t>((m_pins & ~m_mask) | (pins & m_mask));
    return ok();
  }
  void close() override { m_open = false; }
  std::uint8_t pins() const { return m_pins; }

 private:
  bool m_open = false;
  std::uint8_t m_mask = 0;
  std::uint8_t m_pins = 0;
};

}  // namespace

struct SimulatedBridge::Impl {
  explicit Impl(ChipModel& chip) : i2c(chip), spi(chip) {}
  SimI2c i2c;
  SimSpi spi;
  SimPins pins;
};

SimulatedBridge::SimulatedBridge(ChipModel& chip) : m_impl(std::make_unique<Impl>(chip)) {}
SimulatedBridge::~SimulatedBridge() = default;
I2cMaster& SimulatedBridge::i2c() { return m_impl->i2c; }
SpiMaster& SimulatedBridge::spi() { return m_impl->spi; }
PinPort& SimulatedBridge::busB() { return m_impl->pins; }
std::uint8_t SimulatedBridge::busBPins() const { return m_impl->pins.pins(); }

std::string SimulatedBridge::deviceName() const {
  return m_impl->i2c.isOpen() || m_impl->spi.isOpen() ? "simulated bridge with a KRVL7300 model" : "";
}

}  // namespace tonvisor
