#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "link/usb_bridge.h"
#include "sim/chip_model.h"
#include "sim/simulated_bridge.h"

namespace tonvisor::testing {

// The simulated chip's bridge with its I2C writes tapped on the way through: each write is
// kept as "0022 1919" (register, value), also the ones the write log leaves out (ramp steps),
// and the next failWrites writes fail as a chip that does not acknowledge would.
class TappedBridge final : public UsbBridge, private I2cLibrary {
 public:
  explicit TappedBridge(ChipModel& chip) : m_inner(chip) {}

  I2cLibrary& i2c() override { return *this; }
  SpiLibrary& spi() override { return m_inner.spi(); }
  PinLibrary& busB() override { return m_inner.busB(); }

  std::vector<std::string> i2cWrites;  // failed ones end in " failed"
  int failWrites = 0;

 private:
  std::int32_t open(BridgeHandle* h) override { return m_inner.i2c().open(h); }
  std::int32_t initDevice(BridgeHandle h, std::uint32_t d) override { return m_inner.i2c().initDevice(h, d); }
  std::int32_t completeSetup(BridgeHandle h, std::uint32_t f) override { return m_inner.i2c().completeSetup(h, f); }
  std::int32_t close(BridgeHandle h) override { return m_inner.i2c().close(h); }
  std::int32_t read(BridgeHandle h, const std::uint8_t* c, std::uint32_t cc, std::uint32_t a, std::uint32_t t,
                    std::uint32_t rt, std::uint8_t* r, std::uint32_t rc) override {
    return m_inner.i2c().read(h, c, cc, a, t, rt, r, rc);
  }
  std::int32_t write(BridgeHandle h, const std::uint8_t* c, std::uint32_t cc, std::uint32_t a, std::uint32_t t,
                     std::uint32_t f, std::uint32_t wt, const std::uint8_t* d, std::uint32_t dc, std::uint32_t da,
                     std::uint32_t dt, const I2cPageRecord& p) override {
    char line[32];
    std::snprintf(line, sizeof line, "%02X%02X %02X%02X", c[1], c[2], d[0], d[1]);
    const bool fails = failWrites > 0;
    if (fails) --failWrites;
    i2cWrites.push_back(std::string(line) + (fails ? " failed" : ""));
    return fails ? 4 : m_inner.i2c().write(h, c, cc, a, t, f, wt, d, dc, da, dt, p);
  }

  SimulatedBridge m_inner;
};

}  // namespace tonvisor::testing
