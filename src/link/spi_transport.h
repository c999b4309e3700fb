#pragma once

#include "link/messenger.h"
#include "link/status.h"
#include "link/usb_bridge.h"

namespace tonvisor {

// The bridge's second channel as a byte of output pins. Each operation opens the device,
// sets its bit mode, does its one transfer and closes it again; nothing stays open.
class BusBPins {
 public:
  static constexpr std::int32_t kDeviceIndex = 1;
  static constexpr std::uint8_t kDrivenPins = 0x0B;  // pins 0, 1 and 3 are outputs
  static constexpr std::uint8_t kBitMode = 1;

  BusBPins(PinLibrary& library, Messenger& messenger) : m_library(library), m_messenger(messenger) {}

  Status BusBReadPins(std::uint8_t* pins);
  // Sets one pin (0 to 7) to a level (0 or 1); any other pin or level names no pin state and
  // is refused with status::kInvalidArgument, the image and the pins untouched.
  Status BusBWritePin(int pin, int level);

  // Image of the pin levels last written (the pins not named by a write keep these levels).
  std::uint8_t image() const { return m_image; }

 private:
  Status openDevice(BridgeHandle* handle);
  void fail(std::string_view text);

  PinLibrary& m_library;
  Messenger& m_messenger;
  std::uint8_t m_image = 0;
};

// Write-only register access over the bridge's SPI channel. A pure bus: what gets logged is
// the link's business.
class SpiTransport {
 public:
  static constexpr std::uint32_t kClockDivisor = 14;
  static constexpr int kChipSelectPin = 3;  // driven low on bus B before every write

  SpiTransport(SpiLibrary& library, BusBPins& busB) : m_library(library), m_busB(busB) {}
  ~SpiTransport() { SpiClose(); }
  SpiTransport(const SpiTransport&) = delete;
  SpiTransport& operator=(const SpiTransport&) = delete;

  // Opens the channel; one this transport opened before is closed first.
  Status SpiOpen();
  // Closes the channel if this transport opened it.
  void SpiClose();

  // One register write, chip select on bus B first: the SPI library's result (bridge::kOk
  // when it went through).
  std::int32_t write(std::uint16_t address, std::uint16_t value);

 private:
  SpiLibrary& m_library;
  BusBPins& m_busB;
  BridgeHandle m_handle = 0;
  bool m_open = false;
};

}  // namespace tonvisor
