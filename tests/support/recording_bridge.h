#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "link/usb_bridge.h"

namespace tonvisor::testing {

// A USB bridge that records every operation as one line of readable text:
//
//   "i2c open 100 kHz"                 "spi open 400 kHz mode 0"        "busB open 0B"
//   "i2c 0x0A write 00 24 12 34"        "spi write 00 24 12 34"          "busB read"
//   "i2c 0x0A write 00 02 read 2"       "spi close"                      "busB write 08"
//   "i2c close"                                                          "busB close"
//
// Each operation goes through unless a result was set for it ("i2c.open", "i2c.transfer",
// "spi.open", "spi.transfer", "busB.open", "busB.read", "busB.write"); an I2C transfer that
// only writes, or that reads, also takes a result set for "i2c.write" or "i2c.read", and an
// SPI transfer one set for "spi.write".
class RecordingBridge final : public UsbBridge {
 public:
  RecordingBridge();
  ~RecordingBridge() override;
  // It owns its libraries: a copy would free them twice.
  RecordingBridge(const RecordingBridge&) = delete;
  RecordingBridge& operator=(const RecordingBridge&) = delete;

  I2cMaster& i2c() override;
  SpiMaster& spi() override;
  PinPort& busB() override;

  void setResult(const std::string& operation, std::int32_t code) { setResult(operation, BridgeResult::Failure(code)); }
  void setResult(const std::string& operation, const BridgeResult& result) { results[operation] = result; }
  BridgeResult resultOf(const std::string& operation) const;

  std::vector<std::string> calls;
  // Calls whose line starts with the given prefix ("spi write", "busB ", "i2c 0x0A").
  std::vector<std::string> callsTo(const std::string& prefix) const;
  // The I2C transactions that read.
  std::vector<std::string> i2cReads() const;

  std::map<std::string, BridgeResult> results;
  std::uint8_t i2cReadBytes[2] = {0, 0};  // what an I2C read receives
  std::uint8_t pinByte = 0;               // what a bus-B read receives

 private:
  struct Impl;
  Impl* m_impl;
};

}  // namespace tonvisor::testing
