#pragma once

#include "link/messenger.h"
#include "link/status.h"
#include "link/usb_bridge.h"

namespace tonvisor {

// The bridge's second channel as a byte of output pins. Each operation opens the channel,
// does its one transfer and closes it again; nothing stays open.
class BusBPins {
 public:
  static constexpr std::uint8_t kDrivenPins = 0x0B;  // pins 0, 1 and 3 are outputs

  BusBPins(PinPort& port, Messenger& messenger) : m_port(port), m_messenger(messenger) {}

  Status BusBReadPins(std::uint8_t* pins);
  // Sets one pin (0 to 7) to a level (0 or 1); any other pin or level names no pin state and
  // is refused with status::kInvalidArgument, the image and the pins untouched.
  Status BusBWritePin(int pin, int level);

  // Image of the pin levels last written (the pins not named by a write keep these levels).
  std::uint8_t image() const { return m_image; }

 private:
  Status openPort();
  void fail(std::string_view text);

  PinPort& m_port;
  Messenger& m_messenger;
  std::uint8_t m_image = 0;
};

// Write-only register access over the bridge's SPI channel: 16 bits of register address,
// then 16 bits of value, high bytes first, in one chip-select frame. A pure bus: what gets
// logged is the link's business.
class SpiTransport {
 public:
  static constexpr int kMode = 0;
  static constexpr int kChipSelectPin = 3;  // driven low on bus B before every write

  SpiTransport(SpiMaster& master, BusBPins& busB) : m_master(master), m_busB(busB) {}
  ~SpiTransport() { SpiClose(); }
  SpiTransport(const SpiTransport&) = delete;
  SpiTransport& operator=(const SpiTransport&) = delete;

  // Opens the channel; one this transport opened before is closed first.
  Status SpiOpen();
  // Closes the channel if this transport opened it.
  void SpiClose();
  bool isOpen() const { return m_open; }
  // Why the last SpiOpen failed (ok after one that went through).
  const BridgeResult& openResult() const { return m_openResult; }

  // One register write, chip select on bus B first.
  BridgeResult write(std::uint16_t address, std::uint16_t value);

 private:
  SpiMaster& m_master;
  BusBPins& m_busB;
  bool m_open = false;
  BridgeResult m_openResult;
};

}  // namespace tonvisor
