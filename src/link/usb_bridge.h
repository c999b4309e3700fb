#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace tonvisor {

// The USB-to-serial bridge as the transports see it: three libraries, each a small set of
// entries that return 0 on success and anything else on failure. A backend (the simulated
// bridge, a recording fake, a real FTDI device) implements all three and is chosen once at
// start-up. Arguments are passed exactly as the chip tool always passed them, so a backend
// sees the same calls whatever sits behind it.

using BridgeHandle = std::uint32_t;

// What the library entries return. Every backend uses these codes, so that a failure can be
// told to the user in words whatever sits behind the bridge.
namespace bridge {
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kInvalidHandle = 1;     // the channel is not open
inline constexpr std::int32_t kDeviceNotFound = 2;    // no bridge plugged in
inline constexpr std::int32_t kNoAcknowledge = 4;     // nothing answered at that I2C address
inline constexpr std::int32_t kInvalidArguments = 6;
}  // namespace bridge

// A library result in words: "the channel is not open (press Connect)", "no USB bridge is
// plugged in", ... or "error N" for a code no backend gives.
std::string BridgeErrorText(std::int32_t code);

// I2C channel (channel A in I2C mode).
struct I2cPageRecord {
  std::uint32_t pages = 0;
  std::uint32_t bytesPerPage = 0;
  bool operator==(const I2cPageRecord&) const = default;
};

class I2cLibrary {
 public:
  virtual ~I2cLibrary() = default;
  virtual std::int32_t open(BridgeHandle* handle) = 0;
  virtual std::int32_t initDevice(BridgeHandle handle, std::uint32_t clockDivisor) = 0;
  virtual std::int32_t completeSetup(BridgeHandle handle, std::uint32_t flag) = 0;
  virtual std::int32_t close(BridgeHandle handle) = 0;
  // Sends the control bytes (device-address byte in read form, register high, register low)
  // and reads receiveCount data bytes.
  virtual std::int32_t read(BridgeHandle handle, const std::uint8_t* controlBytes, std::uint32_t controlCount,
                            std::uint32_t controlAck, std::uint32_t controlAckTimeout, std::uint32_t readType,
                            std::uint8_t* receiveBytes, std::uint32_t receiveCount) = 0;
  // Sends the control bytes (write form) and then the data bytes as the pages of the record.
  virtual std::int32_t write(BridgeHandle handle, const std::uint8_t* controlBytes, std::uint32_t controlCount,
                             std::uint32_t controlAck, std::uint32_t controlAckTimeout, std::uint32_t writeFlag,
                             std::uint32_t writeType, const std::uint8_t* dataBytes, std::uint32_t dataCount,
                             std::uint32_t dataAck, std::uint32_t dataAckTimeout, const I2cPageRecord& pages) = 0;
};

// SPI channel (channel A in SPI mode).
using SpiPinStateRecordA = std::array<std::uint32_t, 5>;
using SpiPinStateRecordB = std::array<std::uint32_t, 8>;
using SpiStartCondition = std::array<std::uint32_t, 4>;
using SpiWaitRecord = std::array<std::uint32_t, 1>;
using SpiHighPinRecord = std::array<std::uint32_t, 8>;

class SpiLibrary {
 public:
  virtual ~SpiLibrary() = default;
  virtual std::int32_t open(BridgeHandle* handle) = 0;
  virtual std::int32_t initDevice(BridgeHandle handle, std::uint32_t clockDivisor) = 0;
  virtual std::int32_t completeSetup(BridgeHandle handle) = 0;
  virtual std::int32_t setPinStates(BridgeHandle handle, const SpiPinStateRecordA& initial,
                                    const SpiPinStateRecordB& states) = 0;
  // One write: addressBitCount bits from the address bytes, then dataBitCount bits from the
  // value bytes.
  virtual std::int32_t write(BridgeHandle handle, const SpiStartCondition& start, std::uint32_t writeControl,
                             std::uint32_t controlFlag, std::uint32_t addressBitCount,
                             const std::uint8_t* addressBytes, std::uint32_t addressByteCount,
                             std::uint32_t writeData, std::uint32_t dataBitCount, const std::uint8_t* valueBytes,
                             std::uint32_t valueByteCount, const SpiWaitRecord& wait,
                             const SpiHighPinRecord& highPins) = 0;
  virtual std::int32_t close(BridgeHandle handle) = 0;
};

// The bridge's second channel driven as a byte of output pins ("bus B").
class PinLibrary {
 public:
  virtual ~PinLibrary() = default;
  virtual std::int32_t open(std::int32_t deviceIndex, BridgeHandle* handle) = 0;
  virtual std::int32_t setBitMode(BridgeHandle handle, std::uint8_t mask, std::uint8_t mode) = 0;
  virtual std::int32_t read(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count,
                            std::uint32_t* countRead) = 0;
  virtual std::int32_t write(BridgeHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                             std::uint32_t* countWritten) = 0;
  virtual std::int32_t close(BridgeHandle handle) = 0;
};

class UsbBridge {
 public:
  virtual ~UsbBridge() = default;
  virtual I2cLibrary& i2c() = 0;
  virtual SpiLibrary& spi() = 0;
  virtual PinLibrary& busB() = 0;
};

// A bridge that is not there: every entry fails, as the libraries do with no device plugged
// in. The program uses it when no real backend is available.
std::unique_ptr<UsbBridge> MakeAbsentBridge();

}  // namespace tonvisor
