#include "link/usb_bridge.h"

namespace tonvisor {
namespace {

constexpr std::int32_t kDeviceNotFound = bridge::kDeviceNotFound;

class AbsentI2c final : public I2cLibrary {
 public:
  std::int32_t open(BridgeHandle*) override { return kDeviceNotFound; }
  std::int32_t initDevice(BridgeHandle, std::uint32_t) override { return kDeviceNotFound; }
  std::int32_t completeSetup(BridgeHandle, std::uint32_t) override { return kDeviceNotFound; }
  std::int32_t close(BridgeHandle) override { return kDeviceNotFound; }
  std::int32_t read(BridgeHandle, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                    std::uint8_t*, std::uint32_t) override {
    return kDeviceNotFound;
  }
  std::int32_t write(BridgeHandle, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                     std::uint32_t, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t,
                     const I2cPageRecord&) override {
    return kDeviceNotFound;
  }
};

class AbsentSpi final : public SpiLibrary {
 public:
  std::int32_t open(BridgeHandle*) override { return kDeviceNotFound; }
  std::int32_t initDevice(BridgeHandle, std::uint32_t) override { return kDeviceNotFound; }
  std::int32_t completeSetup(BridgeHandle) override { return kDeviceNotFound; }
  std::int32_t setPinStates(BridgeHandle, const SpiPinStateRecordA&, const SpiPinStateRecordB&) override {
    return kDeviceNotFound;
  }
  std::int32_t write(BridgeHandle, const SpiStartCondition&, std::uint32_t, std::uint32_t, std::uint32_t,
                     const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, const std::uint8_t*,
                     std::uint32_t, const SpiWaitRecord&, const SpiHighPinRecord&) override {
    return kDeviceNotFound;
  }
  std::int32_t close(BridgeHandle) override { return kDeviceNotFound; }
};

class AbsentPins final : public PinLibrary {
 public:
  std::int32_t open(std::int32_t, BridgeHandle*) override { return kDeviceNotFound; }
  std::int32_t setBitMode(BridgeHandle, std::uint8_t, std::uint8_t) override { return kDeviceNotFound; }
  std::int32_t read(BridgeHandle, std::uint8_t*, std::uint32_t, std::uint32_t*) override { return kDeviceNotFound; }
  std::int32_t write(BridgeHandle, const std::uint8_t*, std::uint32_t, std::uint32_t*) override {
    return kDeviceNotFound;
  }
  std::int32_t close(BridgeHandle) override { return kDeviceNotFound; }
};

class AbsentBridge final : public UsbBridge {
 public:
  I2cLibrary& i2c() override { return m_i2c; }
  SpiLibrary& spi() override { return m_spi; }
  PinLibrary& busB() override { return m_pins; }

 private:
  AbsentI2c m_i2c;
  AbsentSpi m_spi;
  AbsentPins m_pins;
};

}  // namespace

std::string BridgeErrorText(std::int32_t code) {
  switch (code) {
    case bridge::kInvalidHandle:
      return "the channel is not open (press Connect)";
    case bridge::kDeviceNotFound:
      return "no USB bridge is plugged in";
    case bridge::kNoAcknowledge:
      return "no acknowledge";
    case bridge::kInvalidArguments:
      return "the bridge refused the transfer's arguments";
    default:
      return "error " + std::to_string(code);
  }
}

std::unique_ptr<UsbBridge> MakeAbsentBridge() { return std::make_unique<AbsentBridge>(); }

}  // namespace tonvisor
