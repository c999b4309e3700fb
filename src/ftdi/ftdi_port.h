#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

// Where the FTDI backend hands bytes to libftdi. The real port calls libftdi1; the tests put
// an emulated FT2232H here, so the backend's own code runs unchanged against it.

namespace tonvisor::ftdi {

// The usual FT2232H: FTDI's vendor ID and the dual high-speed bridge's product ID.
inline constexpr std::uint16_t kVendorId = 0x0403;
inline constexpr std::uint16_t kFt2232hProductId = 0x6010;

// The two channels of an FT2232H (libftdi's INTERFACE_A and INTERFACE_B).
enum class Channel { A, B };

// Bit modes of ftdi_set_bitmode that the backend uses.
inline constexpr std::uint8_t kModeReset = 0x00;
inline constexpr std::uint8_t kModeBitbang = 0x01;
inline constexpr std::uint8_t kModeMpsse = 0x02;

// A bridge on the bus as listed, in the order libftdi finds them.
struct DeviceInfo {
  int index = 0;  // place in the list, from 0
  // Where it sits on the USB: it keeps these until it is unplugged.
  std::uint8_t bus = 0;
  std::uint8_t address = 0;
  std::string serial;  // empty for a bridge whose EEPROM has none
  std::string description;
  std::string manufacturer;
  // Why the strings above are empty (for example no permission to open the device).
  std::string problem;
};

// Which bridge to open: the one listed at this place on the USB.
struct DeviceSelector {
  std::uint8_t bus = 0;
  std::uint8_t address = 0;
};

// Why a port operation failed, as far as the backend needs to tell failures apart.
enum class PortError {
  None,
  NotFound,          // no such device on the bus
  PermissionDenied,  // the device node may not be opened by this user
  Busy,              // the channel is claimed by another program or a kernel driver that would not let go
  Gone,              // the device left the bus (unplugged)
  Io,                // a transfer failed otherwise
};

struct PortStatus {
  PortError error = PortError::None;
  std::string text;  // the library's own words

  bool ok() const { return error == PortError::None; }
  static PortStatus Fail(PortError error, std::string text) { return {error, std::move(text)}; }
};

// One channel of one bridge, with libftdi's calls and nothing more.
class FtdiPort {
 public:
  virtual ~FtdiPort() = default;
  // Opens the channel of the selected bridge and claims it (a kernel serial driver bound to
  // it is detached first).
  virtual PortStatus open(const DeviceSelector& device, Channel channel) = 0;
  // Releases the channel. Safe to call when nothing is open, and after the device is gone.
  virtual void close() = 0;
  virtual PortStatus reset() = 0;                        // ftdi_usb_reset
  virtual PortStatus purge() = 0;                        // ftdi_tcioflush: both directions
  virtual PortStatus setLatencyTimer(std::uint8_t milliseconds) = 0;
  virtual PortStatus setBitmode(std::uint8_t mask, std::uint8_t mode) = 0;
  // Sends every byte, or fails.
  virtual PortStatus write(std::span<const std::uint8_t> bytes) = 0;
  // Takes what has arrived, up to into.size() bytes, into `received`; waits at most about one
  // latency-timer period when nothing has. Nothing arriving is not a failure.
  virtual PortStatus read(std::span<std::uint8_t> into, std::size_t& received) = 0;
  virtual PortStatus readPins(std::uint8_t& pins) = 0;
};

// The USB bus as far as FT2232H bridges go: what is plugged in, and ports to open on it.
class FtdiUsb {
 public:
  virtual ~FtdiUsb() = default;
  virtual PortStatus list(std::vector<DeviceInfo>& devices) = 0;
  virtual std::unique_ptr<FtdiPort> makePort() = 0;
};

// The bus through libftdi1 (and libusb below it).
std::unique_ptr<FtdiUsb> MakeLibFtdiUsb();

}  // namespace tonvisor::ftdi
