#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

namespace tonvisor {

// The USB-to-serial bridge as the transports see it, in bus terms: an I2C master, an SPI
// master and the second channel's pins ("bus B"). A backend (the simulated bridge, a
// recording fake, an FTDI device through libftdi1) implements all three and is chosen once
// at start-up; how it gets the bytes onto the wires is its own business.

// What the bridge's operations return. Every backend uses these codes, so that a failure can
// be told to the user in words whatever sits behind the bridge.
namespace bridge {
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kInvalidHandle = 1;     // the channel is not open
inline constexpr std::int32_t kDeviceNotFound = 2;    // no bridge plugged in (or none that was asked for)
inline constexpr std::int32_t kNoAcknowledge = 4;     // a byte of an I2C transaction was not acknowledged
inline constexpr std::int32_t kInvalidArguments = 6;
inline constexpr std::int32_t kPermissionDenied = 7;  // the bridge is there, but this user may not open it
inline constexpr std::int32_t kDeviceBusy = 8;        // another program or a kernel driver holds the channel
inline constexpr std::int32_t kDisconnected = 9;      // the bridge went away (unplugged) while in use
inline constexpr std::int32_t kUsbError = 10;         // a USB transfer failed, or its answer came back short
inline constexpr std::int32_t kBusError = 11;         // the I2C bus is not free: SDA or SCL held low
inline constexpr std::int32_t kPinModeFailed = 12;    // bus B was opened but refused its pin mode
inline constexpr std::int32_t kNoSuchDevice = 13;     // bridges are plugged in, but not the one asked for
}  // namespace bridge

// What one bridge operation came to.
struct BridgeResult {
  std::int32_t code = bridge::kOk;
  // kNoAcknowledge: the byte that was not acknowledged, counted on the wire from 0: the
  // device-address byte, then the bytes written, then (when the transaction reads) the
  // device-address byte in read form.
  int unacknowledgedByte = -1;
  std::string detail;  // the library's own words about the failure, when it gave any

  bool ok() const { return code == bridge::kOk; }
  static BridgeResult Failure(std::int32_t code, std::string detail = {}) {
    BridgeResult result;
    result.code = code;
    result.detail = std::move(detail);
    return result;
  }
  static BridgeResult NoAcknowledge(int byte) {
    BridgeResult result;
    result.code = bridge::kNoAcknowledge;
    result.unacknowledgedByte = byte;
    return result;
  }
};

// A bridge code in words: "the channel is not open (press Connect)", "no USB bridge is
// plugged in", ... or "error N" for a code no backend gives.
std::string BridgeErrorText(std::int32_t code);

// Channel A as an I2C master.
class I2cMaster {
 public:
  virtual ~I2cMaster() = default;
  // Opens the channel with SCL at clockHz at most, keeping the bus times of that rate's mode
  // (standard up to 100 kHz, fast up to 400 kHz). A failed open leaves nothing open.
  virtual BridgeResult open(std::uint32_t clockHz) = 0;
  virtual void close() = 0;
  // One transaction with a 7-bit device address: START, the address byte in write form and
  // the bytes of `write`; when `read` is not empty, a repeated START, the address byte in read
  // form and read.size() bytes, each acknowledged but the last; STOP. With `write` empty
  // only the read phase is made. `read` is filled only when the transaction went through.
  virtual BridgeResult transfer(std::uint8_t device, std::span<const std::uint8_t> write,
                                std::span<std::uint8_t> read) = 0;
};

// Channel A as an SPI master (write-only: the chip's SPI port is not read).
class SpiMaster {
 public:
  virtual ~SpiMaster() = default;
  // Opens the channel with SCK at clockHz in SPI mode 0 to 3 (only 0 is used).
  virtual BridgeResult open(std::uint32_t clockHz, int mode) = 0;
  virtual void close() = 0;
  // One framed transfer: chip select asserted, the bytes clocked out, chip select released.
  virtual BridgeResult transfer(std::span<const std::uint8_t> bytes) = 0;
};

// The bridge's second channel as a byte of pins.
class PinPort {
 public:
  virtual ~PinPort() = default;
  // Opens the channel with the pins of outputMask driven and the others inputs. A failed open
  // leaves nothing open; kPinModeFailed says the channel opened but refused the pin mode.
  virtual BridgeResult open(std::uint8_t outputMask) = 0;
  virtual BridgeResult read(std::uint8_t& pins) = 0;
  virtual BridgeResult write(std::uint8_t pins) = 0;
  virtual void close() = 0;
};

class UsbBridge {
 public:
  virtual ~UsbBridge() = default;
  virtual I2cMaster& i2c() = 0;
  virtual SpiMaster& spi() = 0;
  virtual PinPort& busB() = 0;
  // The device channel A was last opened on, in words for people ("FT2232H FT6Z1ABC (Dual
  // RS232-HS)"); empty while none is open.
  virtual std::string deviceName() const { return {}; }
};

// A bridge that is not there: every operation fails, as with no device plugged in. The
// program uses it when no real backend is available.
std::unique_ptr<UsbBridge> MakeAbsentBridge();

}  // namespace tonvisor
