#pragma once

#include <array>
#include <cstdint>
#include <mutex>

namespace tonvisor {

// The KRVL7300 as the bridge and the board see it: a file of 16-bit registers at 16-bit
// addresses, all 0 at power-up, answering on I2C at device address 0x0A. Safe to share
// between the board's connection threads.
class ChipModel {
 public:
  static constexpr std::uint8_t kI2cDeviceAddress = 0x0A;

  std::uint16_t read(std::uint16_t address) const;
  void write(std::uint16_t address, std::uint16_t value);
  std::uint64_t writeCount() const;

 private:
  mutable std::mutex m_mutex;
  std::array<std::uint16_t, 0x10000> m_registers{};
  std::uint64_t m_writes = 0;
};

}  // namespace tonvisor
