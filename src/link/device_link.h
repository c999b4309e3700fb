#pragma once

#include <optional>

#include "link/ethernet_transport.h"
#include "link/i2c_transport.h"
#include "link/link_settings.h"
#include "link/messenger.h"
#include "link/spi_transport.h"
#include "link/status.h"
#include "link/usb_bridge.h"
#include "link/write_log.h"

namespace tonvisor {

// Everything between the program and the chip: the settings, the write log, the three
// transports and the dispatchers that pick one by the connection type. The program makes
// one; a test makes one around its own bridge and messenger.
class DeviceLink {
 public:
  DeviceLink(UsbBridge& bridge, Messenger& messenger, EthernetOptions ethernetOptions = {});
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  // Transport-independent register access. Over SPI reads and modifies are refused with a
  // message; over Ethernet failures are shown by the transport and 0 is returned.
  Status ReadRegister(std::uint16_t address, std::uint16_t* value);
  Status WriteRegister(std::uint16_t address, std::uint16_t value);
  Status ModifyRegister(std::uint16_t address, std::uint16_t keepMask, std::uint16_t value);
  // The same read as ReadRegister, with the same messages and status, for callers that must
  // know whether a value arrived: none over SPI, after a failed I2C or Ethernet read, or with
  // no link selected.
  struct RegisterRead {
    Status status = status::kOk;
    std::optional<std::uint16_t> value;
  };
  RegisterRead ReadRegisterValue(std::uint16_t address);

  LinkSettings& settings() { return m_settings; }
  const LinkSettings& settings() const { return m_settings; }
  WriteLog& writeLog() { return m_log; }
  Messenger& messenger() { return m_messenger; }
  I2cTransport& i2c() { return m_i2c; }
  SpiTransport& spi() { return m_spi; }
  BusBPins& busB() { return m_busB; }
  EthernetTransport& ethernet() { return m_ethernet; }

 private:
  enum class Route { I2c, Spi, Ethernet, None };
  Route route() const;
  // The one read dispatcher: stores into place only when a value arrived, and says whether.
  Status dispatchRead(std::uint16_t address, std::uint16_t* place, bool& delivered);

  Messenger& m_messenger;
  LinkSettings m_settings;
  WriteLog m_log;
  I2cTransport m_i2c;
  BusBPins m_busB;
  SpiTransport m_spi;
  EthernetTransport m_ethernet;
};

// Case-insensitive comparison of ASCII texts, as the connection type and list items are
// compared.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tonvisor
