#include "link/spi_transport.h"

namespace tonvisor {

void BusBPins::fail(std::string_view text) { m_messenger.show(text, kErrorCaption, Owner::none()); }

Status BusBPins::openDevice(BridgeHandle* handle) {
  if (m_library.open(kDeviceIndex, handle) != 0) {
    fail(" BusB Open Error");
    return status::kBusBOpenFailed;
  }
  if (m_library.setBitMode(*handle, kDrivenPins, kBitMode) != 0) {
    fail(" BusB Set Mode Error");
    m_library.close(*handle);
    return status::kBusBSetModeFailed;
  }
  return status::kOk;
}

Status BusBPins::BusBReadPins(std::uint8_t* pins) {
  BridgeHandle handle = 0;
  if (const Status opened = openDevice(&handle); opened != status::kOk) return opened;
  std::uint8_t byte = 0;
  std::uint32_t countRead = 0;
  if (m_library.read(handle, &byte, 1, &countRead) != 0) {
    fail(" BusB Read Error");
    m_library.close(handle);
    return status::kBusBReadFailed;
  }
  if (pins != nullptr) *pins = byte;
  m_library.close(handle);
  return status::kOk;
}

Status BusBPins::BusBWritePin(int pin, int level) {
  // A level of 2 would set the neighbouring pin, a pin of 9 another pin altogether.
  if (pin < 0 || pin > 7 || (level != 0 && level != 1)) return status::kInvalidArgument;
  // The image changes first, so the pin keeps its new level even if this write fails.
  const unsigned bit = 1u << static_cast<unsigned>(pin);
  const unsigned set = static_cast<unsigned>(level) << static_cast<unsigned>(pin);
  m_image = static_cast<std::uint8_t>(((m_image & ~bit) | set) & 0xFFu);

  BridgeHandle handle = 0;
  if (const Status opened = openDevice(&handle); opened != status::kOk) return opened;
  std::uint32_t countWritten = 0;
  if (m_library.write(handle, &m_image, 1, &countWritten) != 0) {
    fail(" BusB Write Error");
    m_library.close(handle);
    return status::kBusBWriteFailed;
  }
  m_library.close(handle);
  return status::kOk;
}

Status SpiTransport::SpiOpen() {
  SpiClose();
  m_handle = 0;
  if (m_library.open(&m_handle) != 0) return status::kSpiOpenFailed;
  const bool ready = m_library.initDevice(m_handle, kClockDivisor) == 0 && m_library.completeSetup(m_handle) == 0 &&
                     m_library.setPinStates(m_handle, SpiPinStateRecordA{0, 0, 0, 0, 0},
                                            SpiPinStateRecordB{1, 0, 1, 0, 1, 0, 1, 0}) == 0;
  if (!ready) {
    m_library.close(m_handle);
    return status::kSpiOpenFailed;
  }
  m_open = true;
  return status::kOk;
}

void SpiTransport::SpiClose() {
  if (!m_open) return;
  m_library.close(m_handle);
  m_open = false;
}

std::int32_t SpiTransport::write(std::uint16_t address, std::uint16_t value) {
  // Chip select on bus B: the pin operations report their own failures and the write goes
  // on regardless.
  std::uint8_t pins = 0;
  m_busB.BusBReadPins(&pins);
  m_busB.BusBWritePin(kChipSelectPin, 0);

  const std::uint8_t addressBytes[2] = {static_cast<std::uint8_t>(address >> 8),
                                        static_cast<std::uint8_t>(address & 0xFF)};
  const std::uint8_t valueBytes[2] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)};
  return m_library.write(m_handle, SpiStartCondition{0, 0, 1, 0}, 1, 0, 16, addressBytes, 2, 1, 16, valueBytes, 2,
                         SpiWaitRecord{0}, SpiHighPinRecord{0, 0, 0, 0, 0, 0, 0, 0});
}

}  // namespace tonvisor
