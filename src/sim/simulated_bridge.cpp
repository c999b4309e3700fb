#include "sim/simulated_bridge.h"

namespace tonvisor {
namespace {

constexpr std::int32_t kOk = bridge::kOk;
constexpr std::int32_t kInvalidHandle = bridge::kInvalidHandle;
constexpr std::int32_t kNoAcknowledge = bridge::kNoAcknowledge;
constexpr std::int32_t kInvalidArguments = bridge::kInvalidArguments;

// Handles the simulated libraries give out; 0 is never a valid handle.
constexpr BridgeHandle kI2cHandle = 0x12C1;
constexpr BridgeHandle kSpiHandle = 0x5B11;
constexpr BridgeHandle kPinHandle = 0xB0B0;

class SimI2c final : public I2cLibrary {
 public:
  explicit SimI2c(ChipModel& chip) : m_chip(chip) {}

  std::int32_t open(BridgeHandle* handle) override {
    if (handle == nullptr) return kInvalidArguments;
    *handle = kI2cHandle;
    m_open = true;
    m_ready = false;
    return kOk;
  }
  std::int32_t initDevice(BridgeHandle handle, std::uint32_t clockDivisor) override {
    if (!valid(handle)) return kInvalidHandle;
    return clockDivisor == 0 ? kInvalidArguments : kOk;
  }
  std::int32_t completeSetup(BridgeHandle handle, std::uint32_t) override {
    if (!valid(handle)) return kInvalidHandle;
    m_ready = true;
    return kOk;
  }
  std::int32_t close(BridgeHandle handle) override {
    if (!valid(handle)) return kInvalidHandle;
    m_open = m_ready = false;
    return kOk;
  }
  std::int32_t read(BridgeHandle handle, const std::uint8_t* control, std::uint32_t controlCount, std::uint32_t,
                    std::uint32_t, std::uint32_t, std::uint8_t* receive, std::uint32_t receiveCount) override {
    if (!valid(handle) || !m_ready) return kInvalidHandle;
    if (control == nullptr || controlCount != 3 || receive == nullptr || receiveCount != 2) return kInvalidArguments;
    if (!addressed(control[0], true)) return kNoAcknowledge;
    const std::uint16_t value = m_chip.read(static_cast<std::uint16_t>(control[1] << 8 | control[2]));
    receive[0] = static_cast<std::uint8_t>(value >> 8);
    receive[1] = static_cast<std::uint8_t>(value);
    return kOk;
  }
  std::int32_t write(BridgeHandle handle, const std::uint8_t* control, std::uint32_t controlCount, std::uint32_t,
                     std::uint32_t, std::uint32_t, std::uint32_t, const std::uint8_t* data, std::uint32_t dataCount,
                     std::uint32_t, std::uint32_t, const I2cPageRecord& pages) override {
    if (!valid(handle) || !m_ready) return kInvalidHandle;
    if (control == nullptr || controlCount != 3 || data == nullptr || dataCount != 2 ||
        pages.pages * pages.bytesPerPage != dataCount) {
      return kInvalidArguments;
    }
    if (!addressed(control[0], false)) return kNoAcknowledge;
    m_chip.write(static_cast<std::uint16_t>(control[1] << 8 | control[2]),
                 static_cast<std::uint16_t>(data[0] << 8 | data[1]));
    return kOk;
  }

 private:
  bool valid(BridgeHandle handle) const { return m_open && handle == kI2cHandle; }
  static bool addressed(std::uint8_t addressByte, bool read) {
    return (addressByte >> 1) == ChipModel::kI2cDeviceAddress && ((addressByte & 1) != 0) == read;
  }

  ChipModel& m_chip;
  bool m_open = false;
  bool m_ready = false;
};

class SimSpi final : public SpiLibrary {
 public:
  explicit SimSpi(ChipModel& chip) : m_chip(chip) {}

  std::int32_t open(BridgeHandle* handle) override {
    if (handle == nullptr) return kInvalidArguments;
    *handle = kSpiHandle;
    m_open = true;
    return kOk;
  }
  std::int32_t initDevice(BridgeHandle handle, std::uint32_t clockDivisor) override {
    if (!valid(handle)) return kInvalidHandle;
    return clockDivisor == 0 ? kInvalidArguments : kOk;
  }
  std::int32_t completeSetup(BridgeHandle handle) override { return valid(handle) ? kOk : kInvalidHandle; }
  std::int32_t setPinStates(BridgeHandle handle, const SpiPinStateRecordA&, const SpiPinStateRecordB&) override {
    return valid(handle) ? kOk : kInvalidHandle;
  }
  std::int32_t write(BridgeHandle handle, const SpiStartCondition&, std::uint32_t, std::uint32_t,
                     std::uint32_t addressBits, const std::uint8_t* address, std::uint32_t addressCount,
                     std::uint32_t, std::uint32_t dataBits, const std::uint8_t* value, std::uint32_t valueCount,
                     const SpiWaitRecord&, const SpiHighPinRecord&) override {
    if (!valid(handle)) return kInvalidHandle;
    if (address == nullptr || value == nullptr || addressBits != 16 || dataBits != 16 || addressCount != 2 ||
        valueCount != 2) {
      return kInvalidArguments;
    }
    m_chip.write(static_cast<std::uint16_t>(address[0] << 8 | address[1]),
                 static_cast<std::uint16_t>(value[0] << 8 | value[1]));
    return kOk;
  }
  std::int32_t close(BridgeHandle handle) override {
    if (!valid(handle)) return kInvalidHandle;
    m_open = false;
    return kOk;
  }

 private:
  bool valid(BridgeHandle handle) const { return m_open && handle == kSpiHandle; }

  ChipModel& m_chip;
  bool m_open = false;
};

class SimPins final : public PinLibrary {
 public:
  std::int32_t open(std::int32_t deviceIndex, BridgeHandle* handle) override {
    if (handle == nullptr || deviceIndex != 1) return kInvalidArguments;  // channel B is device 1
    *handle = kPinHandle;
    m_open = true;
    m_mode = false;
    return kOk;
  }
  std::int32_t setBitMode(BridgeHandle handle, std::uint8_t, std::uint8_t mode) override {
    if (!valid(handle)) return kInvalidHandle;
    m_mode = mode == 1;
    return m_mode ? kOk : kInvalidArguments;
  }
  std::int32_t read(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count, std::uint32_t* countRead) override {
    if (!valid(handle) || !m_mode) return kInvalidHandle;
    if (buffer == nullptr || count < 1) return kInvalidArguments;
    buffer[0] = m_pins;
    if (countRead != nullptr) *countRead = 1;
    return kOk;
  }
  std::int32_t write(BridgeHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                     std::uint32_t* countWritten) override {
    if (!valid(handle) || !m_mode) return kInvalidHandle;
    if (buffer == nullptr || count < 1) return kInvalidArguments;
    m_pins = buffer[count - 1];
    if (countWritten != nullptr) *countWritten = count;
    return kOk;
  }
  std::int32_t close(BridgeHandle handle) override {
    if (!valid(handle)) return kInvalidHandle;
    m_open = false;
    return kOk;
  }
  std::uint8_t pins() const { return m_pins; }

 private:
  bool valid(BridgeHandle handle) const { return m_open && handle == kPinHandle; }

  bool m_open = false;
  bool m_mode = false;
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
I2cLibrary& SimulatedBridge::i2c() { return m_impl->i2c; }
SpiLibrary& SimulatedBridge::spi() { return m_impl->spi; }
PinLibrary& SimulatedBridge::busB() { return m_impl->pins; }
std::uint8_t SimulatedBridge::busBPins() const { return m_impl->pins.pins(); }

}  // namespace tonvisor
