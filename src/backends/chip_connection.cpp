#include "backends/chip_connection.h"

#include "link/connect.h"

namespace tonvisor {

bool IsI2cClockKhz(long long kilohertz) {
  return kilohertz * 1000 == kI2cStandardClockHz || kilohertz * 1000 == kI2cFastClockHz;
}

bool ConnectChip(DeviceLink& link, const ChipConnection& connection) {
  LinkSettings& settings = link.settings();
  settings.i2cClockHz = connection.i2cClockHz;
  ConnectRequest request;
  switch (connection.link) {
    case LinkKind::I2c:
      settings.connectionType = "I2C";
      request.i2cAddress = connection.i2cAddress;
      break;
    case LinkKind::Spi:
      settings.connectionType = "SPI";
      break;
    case LinkKind::Ethernet:
      settings.connectionType = "Ethernet";
      request.ethernetAddress = connection.host.value_or("");
      request.port = connection.port;
      break;
    case LinkKind::None:
      settings.connectionType.clear();
      break;
  }
  return Connect(link, request, Owner::none());
}

}  // namespace tonvisor
