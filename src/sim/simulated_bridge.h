#pragma once

#include <memory>

#include "link/usb_bridge.h"
#include "sim/chip_model.h"

namespace tonvisor {

// A USB bridge with a KRVL7300 behind it, in-process. It behaves like a real bridge where the
// transports can tell: a channel must be opened before it transfers, an I2C transaction to
// any device address but the chip's is not acknowledged, and bus B keeps its pin byte.
class SimulatedBridge final : public UsbBridge {
 public:
  explicit SimulatedBridge(ChipModel& chip);
  ~SimulatedBridge() override;

  I2cMaster& i2c() override;
  SpiMaster& spi() override;
  PinPort& busB() override;
  std::string deviceName() const override;

  // The level of the pins the bus-B channel last wrote.
  std::uint8_t busBPins() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace tonvisor
