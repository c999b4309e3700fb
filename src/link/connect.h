#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/device_link.h"

namespace tonvisor {

// What the user gave for Connect. A value the caller could not read from the user's text is
// missing, and Connect says so.
struct ConnectRequest {
  std::optional<std::uint16_t> i2cAddress;  // I2C: the 7-bit device address
  std::string ethernetAddress;              // Ethernet: the board's dotted IPv4 address, as typed
  std::optional<std::uint32_t> port;        // Ethernet: the board's TCP port, 0 to 65535
};

// Connect, for the Initialization page and the command-line tool alike: empties the write log
// (on every press, also one that then fails), closes the USB channel an earlier Connect
// opened, then opens the link the connection type selects: the I2C channel at the device
// address, the SPI channel, or for Ethernet checks and keeps the board's address and port
// (every Ethernet access connects afresh; a refused address or port keeps the ones in use).
// Tells the user why it stopped, messages owned by
// owner: a channel that would not open is told as "I2C Initialization Error" (or SPI), then
// why in words. True when the link is ready.
bool Connect(DeviceLink& link, const ConnectRequest& request, Owner owner);

}  // namespace tonvisor
