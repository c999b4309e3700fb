#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "link/usb_bridge.h"
#include "sim/chip_model.h"
#include "sim/simulated_bridge.h"

namespace tonvisor::testing {

// The simulated chip's bridge with its I2C writes tapped on the way through: each write is
// kept as "0022 1919" (register, value), also the ones the write log leaves out (ramp steps),
// and the next failWrites writes fail as a chip that does not acknowledge would.
class TappedBridge final : public UsbBridge, private I2cMaster {
 public:
  explicit TappedBridge(ChipModel& chip) : m_inner(chip) {}

  I2cMaster& i2c() override { return *this; }
  SpiMaster& spi() override { return m_inner.spi(); }
  PinPort& busB() override { return m_inner.busB(); }

  std::vector<std::string> i2cWrites;  // failed ones end in " failed"
  int failWrites = 0;

 private:
  BridgeResult open(std::uint32_t clockHz) override { return m_inner.i2c().open(clockHz); }
  void close() override { m_inner.i2c().close(); }
  BridgeResult transfer(std::uint8_t device, std::span<const std::uint8_t> write,
                        std::span<std::uint8_t> read) override {
    if (!read.empty()) return m_inner.i2c().transfer(device, write, read);
    char line[32];
    std::snprintf(line, sizeof line, "%02X%02X %02X%02X", write[0], write[1], write[2], write[3]);
    const bool fails = failWrites > 0;
    if (fails) --failWrites;
    i2cWrites.push_back(std::string(line) + (fails ? " failed" : ""));
    // A failed write is one the chip did not acknowledge at its value.
    return fails ? BridgeResult::NoAcknowledge(3) : m_inner.i2c().transfer(device, write, read);
  }

  SimulatedBridge m_inner;
};

}  // namespace tonvisor::testing
