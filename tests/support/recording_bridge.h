#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "link/usb_bridge.h"

namespace tonvisor::testing {

// A USB bridge that records every library call as one line of text, with every argument in
// the order it was passed: numbers in decimal, byte buffers as [hex bytes], records as
// {numbers}. Each entry returns 0 unless a result was set for it.
//
//   "i2c.write 17 [14 00 24] 3 1 150 1 2 [12 34] 2 1 150 {1 2}"
class RecordingBridge final : public UsbBridge {
 public:
  static constexpr BridgeHandle kI2cHandle = 17;
  static constexpr BridgeHandle kSpiHandle = 34;
  static constexpr BridgeHandle kPinHandle = 51;

  RecordingBridge();
  ~RecordingBridge() override;
  // It owns its libraries: a copy would free them twice.
  RecordingBridge(const RecordingBridge&) = delete;
  RecordingBridge& operator=(const RecordingBridge&) = delete;

  I2cLibrary& i2c() override;
  SpiLibrary& spi() override;
  PinLibrary& busB() override;

  // Result for an entry such as "i2c.read" or "busB.open" (0 unless set).
  void setResult(const std::string& entry, std::int32_t result) { results[entry] = result; }
  std::int32_t resultOf(const std::string& entry) const;

  std::vector<std::string> calls;
  // Calls whose line starts with the given prefix ("spi.write", "busB.").
  std::vector<std::string> callsTo(const std::string& prefix) const;

  std::map<std::string, std::int32_t> results;
  std::uint8_t i2cReadBytes[2] = {0, 0};  // what an I2C read receives
  std::uint8_t pinByte = 0;               // what a bus-B read receives

 private:
  struct Impl;
  Impl* m_impl;
};

}  // namespace tonvisor::testing
