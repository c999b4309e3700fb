#include "support/recording_bridge.h"

#include <cstdio>
#include <sstream>

namespace tonvisor::testing {
namespace {

class Line {
 public:
  explicit Line(const char* entry) { m_out << entry; }
  Line& n(std::uint64_t number) {
    m_out << ' ' << number;
    return *this;
  }
  Line& bytes(const std::uint8_t* data, std::uint32_t count) {
    m_out << " [";
    for (std::uint32_t i = 0; data != nullptr && i < count; ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02X", data[i]);
      m_out << (i ? " " : "") << hex;
    }
    m_out << ']';
    return *this;
  }
  template <typename Record>
  Line& record(const Record& values) {
    m_out << " {";
    for (std::size_t i = 0; i < values.size(); ++i) m_out << (i ? " " : "") << values[i];
    m_out << '}';
    return *this;
  }
  std::string str() const { return m_out.str(); }

 private:
  std::ostringstream m_out;
};

}  // namespace

struct RecordingBridge::Impl {
  explicit Impl(RecordingBridge& owner) : i2c(owner), spi(owner), pins(owner) {}

  struct I2c final : I2cLibrary {
    explicit I2c(RecordingBridge& b) : bridge(b) {}
    RecordingBridge& bridge;
    std::int32_t done(const Line& line, const char* entry) {
      bridge.calls.push_back(line.str());
      return bridge.resultOf(entry);
    }
    std::int32_t open(BridgeHandle* handle) override {
      if (handle) *handle = kI2cHandle;
      return done(Line("i2c.open"), "i2c.open");
    }
    std::int32_t initDevice(BridgeHandle h, std::uint32_t divisor) override {
      return done(Line("i2c.initDevice").n(h).n(divisor), "i2c.initDevice");
    }
    std::int32_t completeSetup(BridgeHandle h, std::uint32_t flag) override {
      return done(Line("i2c.completeSetup").n(h).n(flag), "i2c.completeSetup");
    }
    std::int32_t close(BridgeHandle h) override { return done(Line("i2c.close").n(h), "i2c.close"); }
    std::int32_t read(BridgeHandle h, const std::uint8_t* control, std::uint32_t controlCount, std::uint32_t ack,
                      std::uint32_t timeout, std::uint32_t type, std::uint8_t* receive,
                      std::uint32_t receiveCount) override {
      const std::int32_t result = done(Line("i2c.read").n(h).bytes(control, controlCount).n(controlCount).n(ack)
                                           .n(timeout).n(type).n(receiveCount),
                                       "i2c.read");
      if (result == 0 && receive != nullptr && receiveCount >= 2) {
        receive[0] = bridge.i2cReadBytes[0];
        receive[1] = bridge.i2cReadBytes[1];
      }
      return result;
    }
    std::int32_t write(BridgeHandle h, const std::uint8_t* control, std::uint32_t controlCount, std::uint32_t ack,
                       std::uint32_t timeout, std::uint32_t flag, std::uint32_t type, const std::uint8_t* data,
                       std::uint32_t dataCount, std::uint32_t dataAck, std::uint32_t dataTimeout,
                       const I2cPageRecord& pages) override {
      return done(Line("i2c.write").n(h).bytes(control, controlCount).n(controlCount).n(ack).n(timeout).n(flag)
                      .n(type).bytes(data, dataCount).n(dataCount).n(dataAck).n(dataTimeout)
                      .record(std::array<std::uint32_t, 2>{pages.pages, pages.bytesPerPage}),
                  "i2c.write");
    }
  } i2c;

  struct Spi final : SpiLibrary {
    explicit Spi(RecordingBridge& b) : bridge(b) {}
    RecordingBridge& bridge;
    std::int32_t done(const Line& line, const char* entry) {
      bridge.calls.push_back(line.str());
      return bridge.resultOf(entry);
    }
    std::int32_t open(BridgeHandle* handle) override {
      if (handle) *handle = kSpiHandle;
      return done(Line("spi.open"), "spi.open");
    }
    std::int32_t initDevice(BridgeHandle h, std::uint32_t divisor) override {
      return done(Line("spi.initDevice").n(h).n(divisor), "spi.initDevice");
    }
    std::int32_t completeSetup(BridgeHandle h) override {
      return done(Line("spi.completeSetup").n(h), "spi.completeSetup");
    }
    std::int32_t setPinStates(BridgeHandle h, const SpiPinStateRecordA& a, const SpiPinStateRecordB& b) override {
      return done(Line("spi.setPinStates").n(h).record(a).record(b), "spi.setPinStates");
    }
    std::int32_t write(BridgeHandle h, const SpiStartCondition& start, std::uint32_t control, std::uint32_t flag,
                       std::uint32_t addressBits, const std::uint8_t* address, std::uint32_t addressCount,
                       std::uint32_t writeData, std::uint32_t dataBits, const std::uint8_t* value,
                       std::uint32_t valueCount, const SpiWaitRecord& wait, const SpiHighPinRecord& high) override {
      return done(Line("spi.write").n(h).record(start).n(control).n(flag).n(addressBits).bytes(address, addressCount)
                      .n(addressCount).n(writeData).n(dataBits).bytes(value, valueCount).n(valueCount).record(wait)
                      .record(high),
                  "spi.write");
    }
    std::int32_t close(BridgeHandle h) override { return done(Line("spi.close").n(h), "spi.close"); }
  } spi;

  struct Pins final : PinLibrary {
    explicit Pins(RecordingBridge& b) : bridge(b) {}
    RecordingBridge& bridge;
    std::int32_t done(const Line& line, const char* entry) {
      bridge.calls.push_back(line.str());
      return bridge.resultOf(entry);
    }
    std::int32_t open(std::int32_t index, BridgeHandle* handle) override {
      if (handle) *handle = kPinHandle;
      return done(Line("busB.open").n(static_cast<std::uint64_t>(index)), "busB.open");
    }
    std::int32_t setBitMode(BridgeHandle h, std::uint8_t mask, std::uint8_t mode) override {
      return done(Line("busB.setBitMode").n(h).n(mask).n(mode), "busB.setBitMode");
    }
    std::int32_t read(BridgeHandle h, std::uint8_t* buffer, std::uint32_t count, std::uint32_t* countRead) override {
      const std::int32_t result = done(Line("busB.read").n(h).n(count), "busB.read");
      if (result == 0 && buffer != nullptr && count >= 1) buffer[0] = bridge.pinByte;
      if (result == 0 && countRead != nullptr) *countRead = 1;
      return result;
    }
    std::int32_t write(BridgeHandle h, const std::uint8_t* buffer, std::uint32_t count,
                       std::uint32_t* countWritten) override {
      const std::int32_t result = done(Line("busB.write").n(h).bytes(buffer, count).n(count), "busB.write");
      if (result == 0 && countWritten != nullptr) *countWritten = count;
      return result;
    }
    std::int32_t close(BridgeHandle h) override { return done(Line("busB.close").n(h), "busB.close"); }
  } pins;
};

RecordingBridge::RecordingBridge() : m_impl(new Impl(*this)) {}
RecordingBridge::~RecordingBridge() { delete m_impl; }
I2cLibrary& RecordingBridge::i2c() { return m_impl->i2c; }
SpiLibrary& RecordingBridge::spi() { return m_impl->spi; }
PinLibrary& RecordingBridge::busB() { return m_impl->pins; }

std::int32_t RecordingBridge::resultOf(const std::string& entry) const {
  const auto it = results.find(entry);
  return it == results.end() ? 0 : it->second;
}

std::vector<std::string> RecordingBridge::callsTo(const std::string& prefix) const {
  std::vector<std::string> matching;
  for (const std::string& call : calls) {
    if (call.rfind(prefix, 0) == 0) matching.push_back(call);
  }
  return matching;
}

}  // namespace tonvisor::testing
