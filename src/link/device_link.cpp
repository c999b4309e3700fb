#include "link/device_link.h"

#include <algorithm>
#include <cctype>

namespace tonvisor {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

DeviceLink::DeviceLink(UsbBridge& bridge, Messenger& messenger, EthernetOptions ethernetOptions)
    : m_messenger(messenger),
      m_log(messenger),
      m_i2c(bridge.i2c(), m_log, m_settings),
      m_busB(bridge.busB(), messenger),
      m_spi(bridge.spi(), m_busB, m_log),
      m_ethernet(m_log, messenger, m_settings, std::move(ethernetOptions)) {}

DeviceLink::Route DeviceLink::route() const {
  const std::string& type = m_settings.connectionType;
  if (EqualsIgnoringCase(type, "I2C")) return Route::I2c;
  if (EqualsIgnoringCase(type, "SPI")) return Route::Spi;
  if (EqualsIgnoringCase(type, "Ethernet")) return Route::Ethernet;
  return Route::None;
}

Status DeviceLink::dispatchRead(std::uint16_t address, std::uint16_t* place, bool& delivered) {
  delivered = false;
  switch (route()) {
    case Route::I2c: {
      const Status result = m_i2c.I2cReadRegister(address, place);
      delivered = result == status::kOk;
      return result;
    }
    case Route::Spi:
      m_messenger.show(" Read Register Not Supported", kErrorCaption, Owner::none());
      return status::kOk;
    case Route::Ethernet:
      // The transport tells the user about a failure itself; callers see no status.
      delivered = m_ethernet.EthernetReadRegister(address, place);
      return status::kOk;
    case Route::None:
      break;
  }
  return status::kOk;
}

Status DeviceLink::ReadRegister(std::uint16_t address, std::uint16_t* value) {
  bool delivered = false;
  return dispatchRead(address, value, delivered);
}

DeviceLink::RegisterRead DeviceLink::ReadRegisterValue(std::uint16_t address) {
  std::uint16_t value = 0;
  bool delivered = false;
  RegisterRead read;
  read.status = dispatchRead(address, &value, delivered);
  if (delivered) read.value = value;
  return read;
}

Status DeviceLink::WriteRegister(std::uint16_t address, std::uint16_t value) {
  switch (route()) {
    case Route::I2c:
      return m_i2c.I2cWriteRegister(address, value);
    case Route::Spi:
      return m_spi.SpiWriteRegister(address, value);
    case Route::Ethernet:
      m_ethernet.EthernetWriteRegister(address, value);
      return status::kOk;
    case Route::None:
      break;
  }
  return status::kOk;
}

Status DeviceLink::ModifyRegister(std::uint16_t address, std::uint16_t keepMask, std::uint16_t value) {
  switch (route()) {
    case Route::I2c:
      return m_i2c.I2cModifyRegister(address, keepMask, value);
    case Route::Spi:
      m_messenger.show(" Modify Register Not Supported", kErrorCaption, Owner::none());
      return status::kOk;
    case Route::Ethernet:
      m_ethernet.EthernetModifyRegister(address, keepMask, value);
      return status::kOk;
    case Route::None:
      break;
  }
  return status::kOk;
}

}  // namespace tonvisor
