#pragma once

#include "link/messenger.h"
#include "link/status.h"
#include "link/usb_bridge.h"
#include "link/write_log.h"

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

// Write-only register access over the bridge's SPI channel.
class SpiTransport {
 public:
  static constexpr std::uint32_t kClockDivisor = 14;
  static constexpr int kChipSelectPin = 3;  // driven low on bus B before every write

  SpiTransport(SpiLibrary& library, BusBPins& busB, WriteLog& log) : m_library(library), m_busB(busB), m_log(log) {}

  Status SpiOpen();
  Status SpiWriteRegister(std::uint16_t address, std::uint16_t value);


 private:
  SpiLibrary& m_library;
  BusBPins& m_busB;
  WriteLog& m_log;
  BridgeHandle m_handle = 0;
};

}  // namespace tonvisor
