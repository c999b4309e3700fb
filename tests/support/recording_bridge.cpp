#include "support/recording_bridge.h"

#include <cstdio>

namespace tonvisor::testing {
namespace {

std::string hex2(unsigned byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", byte & 0xFFu);
  return text;
}

std::string bytesText(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (const std::uint8_t byte : bytes) text += " " + hex2(byte);
  return text;
}

std::string kilohertz(std::uint32_t hz) {
  return hz % 1000 == 0 ? std::to_string(hz / 1000) + " kHz" : std::to_string(hz) + " Hz";
}

}  // namespace

struct RecordingBridge::Impl {
  explicit Impl(RecordingBridge& owner) : i2c(owner), spi(owner), pins(owner) {}

  struct I2c final : I2cMaster {
    explicit I2c(RecordingBridge& b) : bridge(b) {}
    RecordingBridge& bridge;
    BridgeResult open(std::uint32_t clockHz) override {
      bridge.calls.push_back("i2c open " + kilohertz(clockHz));
      return bridge.resultOf("i2c.open");
    }
    void close() override { bridge.calls.push_back("i2c close"); }
    BridgeResult transfer(std::uint8_t device, std::span<const std::uint8_t> write,
                          std::span<std::uint8_t> read) override {
      std::string line = "i2c 0x" + hex2(device);
      if (!write.empty()) line += " write" + bytesText(write);
      if (!read.empty()) line += " read " + std::to_string(read.size());
      bridge.calls.push_back(line);
      // A result set for the transfer's kind ("i2c.write", "i2c.read") wins over one for all.
      const std::string kind = read.empty() ? "i2c.write" : "i2c.read";
      const BridgeResult result = bridge.resultOf(bridge.results.count(kind) ? kind : "i2c.transfer");
      if (result.ok()) {
        for (std::size_t i = 0; i < read.size(); ++i) read[i] = bridge.i2cReadBytes[i % 2];
      }
      return result;
    }
  } i2c;

  struct Spi final : SpiMaster {
    explicit Spi(RecordingBridge& b) : bridge(b) {}
    RecordingBridge& bridge;
    BridgeResult open(std::uint32_t clockHz, int mode) override {
      bridge.calls.push_back("spi open " + kilohertz(clockHz) + " mode " + std::to_string(mode));
      return bridge.resultOf("spi.open");
    }
    void close() override { bridge.calls.push_back("spi close"); }
    BridgeResult transfer(std::span<const std::uint8_t> bytes) override {
      bridge.calls.push_back("spi write" + bytesText(bytes));
      return bridge.resultOf(bridge.results.count("spi.write") ? "spi.write" : "spi.transfer");
    }
  } spi;

  struct Pins final : PinPort {
    explicit Pins(RecordingBridge& b) : bridge(b) {}
    RecordingBridge& bridge;
    BridgeResult open(std::uint8_t outputMask) override {
      bridge.calls.push_back("busB open " + hex2(outputMask));
      return bridge.resultOf("busB.open");
    }
    BridgeResult read(std::uint8_t& pins) override {
      bridge.calls.push_back("busB read");
      const BridgeResult result = bridge.resultOf("busB.read");
      if (result.ok()) pins = bridge.pinByte;
      return result;
    }
    BridgeResult write(std::uint8_t pins) override {
      bridge.calls.push_back("busB write " + hex2(pins));
      return bridge.resultOf("busB.write");
    }
    void close() override { bridge.calls.push_back("busB close"); }
  } pins;
};

RecordingBridge::RecordingBridge() : m_impl(new Impl(*this)) {}
RecordingBridge::~RecordingBridge() { delete m_impl; }
I2cMaster& RecordingBridge::i2c() { return m_impl->i2c; }
SpiMaster& RecordingBridge::spi() { return m_impl->spi; }
PinPort& RecordingBridge::busB() { return m_impl->pins; }

BridgeResult RecordingBridge::resultOf(const std::string& operation) const {
  const auto it = results.find(operation);
  return it == results.end() ? BridgeResult{} : it->second;
}

std::vector<std::string> RecordingBridge::callsTo(const std::string& prefix) const {
  std::vector<std::string> matching;
  for (const std::string& call : calls) {
    if (call.rfind(prefix, 0) == 0) matching.push_back(call);
  }
  return matching;
}

std::vector<std::string> RecordingBridge::i2cReads() const {
  std::vector<std::string> reads;
  for (const std::string& call : callsTo("i2c 0x")) {
    if (call.find(" read ") != std::string::npos) reads.push_back(call);
  }
  return reads;
}

}  // namespace tonvisor::testing
