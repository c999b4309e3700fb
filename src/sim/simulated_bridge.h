#pragma once

#include <memory>

#include "link/usb_bridge.h"
#include "sim/chip_model.h"

namespace tonvisor {

// A USB bridge with a KRVL7300 behind it, in-process. It behaves like the real libraries
// where the transports can tell: a channel must be opened before it transfers, I2C transfers
// to any device address but the chip's fail like a missing chip, and bus B keeps its pin byte.
class SimulatedBridge final : public UsbBridge {
 public:
  explicit SimulatedBridge(ChipModel& chip);
  ~SimulatedBridge() override;

  I2cLibrary& i2c() override;
  SpiLibrary& spi() override;
  PinLibrary& busB() override;

  // The level of the pins the bus-B channel last wrote.
  std::uint8_t busBPins() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace tonvisor
