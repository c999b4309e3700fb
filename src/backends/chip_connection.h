#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/access.h"
#include "link/device_link.h"
#include "link/link_settings.h"

namespace tonvisor {

// The link to the chip and how to reach it over that link, as the command-line tool and the
// Python module take them from their callers.
struct ChipConnection {
  LinkKind link = LinkKind::I2c;
  std::uint16_t i2cAddress = 0x0A;  // I2C: the codec's 7-bit device address
  std::uint32_t i2cClockHz = kI2cStandardClockHz;
  std::optional<std::string> host;  // Ethernet: the board's dotted IPv4 address
  std::uint32_t port = 30;          // Ethernet: the board's TCP port
};

// A 7-bit device address: the bus shifts it left by one to make room for the read/write bit,
// so anything above 7F cannot be reached.
inline constexpr std::uint16_t kMaxI2cDeviceAddress = 0x7F;

// The I2C clock rates the bridge offers, in kHz: 100 (standard) and 400 (fast mode).
bool IsI2cClockKhz(long long kilohertz);

// Selects the link and connects as the Initialization page's Connect does (the write log is
// emptied, the USB channel opened or the board's address checked), telling the link's
// messenger why it could not. True when the link is ready.
bool ConnectChip(DeviceLink& link, const ChipConnection& connection);

}  // namespace tonvisor
