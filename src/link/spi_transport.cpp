#include "link/spi_transport.h"

#include <array>

#include "link/link_settings.h"

namespace tonvisor {

void BusBPins::fail(std::string_view text) { m_messenger.show(text, kErrorCaption, Owner::none()); }

Status BusBPins::openPort() {
  const BridgeResult opened = m_port.open(kDrivenPins);
  if (opened.ok()) return status::kOk;
  // A channel that refused its pin mode has been closed again by the bridge.
  if (opened.code == bridge::kPinModeFailed) {
    fail(" BusB Set Mode Error");
    return status::kBusBSetModeFailed;
  }
  fail(" BusB Open Error");
  return status::kBusBOpenFailed;
}

Status BusBPins::BusBReadPins(std::uint8_t* pins) {
  if (const Status opened = openPort(); opened != status::kOk) return opened;
  std::uint8_t byte = 0;
  if (!m_port.read(byte).ok()) {
    fail(" BusB Read Error");
    m_port.close();
    return status::kBusBReadFailed;
  }
  if (pins != nullptr) *pins = byte;
  m_port.close();
  return status::kOk;
}

Status BusBPins::BusBWritePin(int pin, int level) {
  // A level of 2 would set the neighbouring pin, a pin of 9 another pin altogether.
  if (pin < 0 || pin > 7 || (level != 0 && level != 1)) return status::kInvalidArgument;
  // The image changes first, so the pin keeps its new level even if this write fails.
  const unsigned bit = 1u << static_cast<unsigned>(pin);
  const unsigned set = static_cast<unsigned>(level) << static_cast<unsigned>(pin);
  m_image = static_cast<std::uint8_t>(((m_image & ~bit) | set) & 0xFFu);

  if (const Status opened = openPort(); opened != status::kOk) return opened;
  if (!m_port.write(m_image).ok()) {
    fail(" BusB Write Error");
    m_port.close();
    return status::kBusBWriteFailed;
  }
  m_port.close();
  return status::kOk;
}

Status SpiTransport::SpiOpen() {
  SpiClose();
  m_openResult = m_master.open(kSpiClockHz, kMode);
  if (!m_openResult.ok()) return status::kSpiOpenFailed;
  m_open = true;
  return status::kOk;
}

void SpiTransport::SpiClose() {
  if (!m_open) return;
  m_master.close();
  m_open = false;
}

BridgeResult SpiTransport::write(std::uint16_t address, std::uint16_t value) {
  // Chip select on bus B: the pin operations report their own failures and the write goes
  // on regardless.
  std::uint8_t pins = 0;
  m_busB.BusBReadPins(&pins);
  m_busB.BusBWritePin(kChipSelectPin, 0);

  const std::array<std::uint8_t, 4> bytes = {static_cast<std::uint8_t>(address >> 8),
                                             static_cast<std::uint8_t>(address & 0xFF),
                                             static_cast<std::uint8_t>(value >> 8),
                                             static_cast<std::uint8_t>(value & 0xFF)};
  return m_master.transfer(bytes);
}

}  // namespace tonvisor
