#include "link/usb_bridge.h"

namespace tonvisor {
namespace {

BridgeResult notFound() { return BridgeResult::Failure(bridge::kDeviceNotFound); }

class AbsentI2c final : public I2cMaster {
 public:
  BridgeResult open(std::uint32_t) override { return notFound(); }
  void close() override {}
  BridgeResult transfer(std::uint8_t, std::span<const std::uint8_t>, std::span<std::uint8_t>) override {
    return notFound();
  }
};

class AbsentSpi final : public SpiMaster {
 public:
  BridgeResult open(std::uint32_t, int) override { return notFound(); }
  void close() override {}
  BridgeResult transfer(std::span<const std::uint8_t>) override { return notFound(); }
};

class AbsentPins final : public PinPort {
 public:
  BridgeResult open(std::uint8_t) override { return notFound(); }
  BridgeResult read(std::uint8_t&) override { return notFound(); }
  BridgeResult write(std::uint8_t) override { return notFound(); }
  void close() override {}
};

class AbsentBridge final : public UsbBridge {
 public:
  I2cMaster& i2c() override { return m_i2c; }
  SpiMaster& spi() override { return m_spi; }
  PinPort& busB() override { return m_pins; }

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
    case bridge::kPermissionDenied:
      return "this user may not open the USB bridge (install the udev rule, see README: Hardware)";
    case bridge::kDeviceBusy:
      return "the USB bridge is in use by another program";
    case bridge::kDisconnected:
      return "the USB bridge was unplugged (plug it in and press Connect again)";
    case bridge::kUsbError:
      return "the USB transfer failed";
    case bridge::kBusError:
      return "the I2C bus is stuck (SDA or SCL held low)";
    case bridge::kPinModeFailed:
      return "bus B refused its pin mode";
    case bridge::kNoSuchDevice:
      return "no USB bridge with that serial or index is plugged in";
    default:
      return "error " + std::to_string(code);
  }
}

std::unique_ptr<UsbBridge> MakeAbsentBridge() { return std::make_unique<AbsentBridge>(); }

}  // namespace tonvisor
