#include "link/connect.h"

#include "link/typed_text.h"

namespace tonvisor {

namespace {

void tell(DeviceLink& link, std::string_view text, Owner owner) {
  link.messenger().show(text, kApplicationTitle, owner);
}

bool connectEthernet(DeviceLink& link, const ConnectRequest& request, Owner owner) {
  // Checked before anything is kept: a refused Connect leaves the board in use as it was.
  if (!request.port || *request.port > 0xFFFF) {
    tell(link, "The Port must be a whole number from 0 to 65535.", owner);
    return false;
  }
  const std::optional<std::uint32_t> address = ReadDottedIpv4(request.ethernetAddress);
  if (!address || *address == 0) {
    tell(link, " Invalid IP Address ", owner);
    return false;
  }
  if (*request.port == 0) {
    tell(link, " Invalid Socket ", owner);
    return false;
  }
  LinkSettings& settings = link.settings();
  settings.ethernetAddress = request.ethernetAddress;
  settings.ethernetPort = *request.port;
  return true;
}

}  // namespace

bool Connect(DeviceLink& link, const ConnectRequest& request, Owner owner) {
  link.writeLog().clear();
  // A new Connect may reach another chip, or the same one reset: nothing known is kept.
  link.cache().clear();
  // The I2C and SPI channels are the same channel of the bridge: whichever an earlier Connect
  // opened is given back before anything is opened again.
  link.i2c().I2cClose();
  link.spi().SpiClose();
  switch (link.selectedLink()) {
    case LinkKind::I2c:
      if (!request.i2cAddress) {
        // A text without a single hexadecimal digit names no device; opening the channel
        // with a made-up address would only look like success.
        tell(link, "The I2C Address must be a hexadecimal number, such as A or 0x0A.", owner);
        return false;
      }
      if (link.i2c().I2cOpen(*request.i2cAddress) != status::kOk) {
        tell(link, "I2C Initialization Error", owner);
        tell(link, DescribeOpenFailure(LinkKind::I2c, link.i2c().openResult()), owner);
        return false;
      }
      return true;
    case LinkKind::Spi:
      if (link.spi().SpiOpen() != status::kOk) {
        tell(link, "SPI Initialization Error", owner);
        tell(link, DescribeOpenFailure(LinkKind::Spi, link.spi().openResult()), owner);
        return false;
      }
      return true;
    case LinkKind::Ethernet:
      return connectEthernet(link, request, owner);
    case LinkKind::None:
      break;
  }
  return true;
}

}  // namespace tonvisor
