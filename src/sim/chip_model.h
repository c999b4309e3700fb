#pragma once

#include <array>
#include <cstdint>
#include <mutex>

namespace tonvisor {

// The KRVL7300 as the bridge and the board see it: 16-bit registers at 16-bit addresses,
// answering on I2C at device address 0x0A. Safe to share between the board's connection
// threads.
//
// As a plain register file every register starts at 0 and keeps what was written, which is
// what tests of the link want. As the chip, it powers up with its part ID and reset values,
// and its read-only registers (the ID, the analog status) ignore writes, so that snapshots
// and their restores are tested against something that behaves like the real part.
class ChipModel {
 public:
  static constexpr std::uint8_t kI2cDeviceAddress = 0x0A;
  // CHIP_ID_REG: part 0xA0, revision 0x11.
  static constexpr std::uint16_t kPartId = 0xA011;

  enum class Behaviour { RegisterFile, Chip };
  explicit ChipModel(Behaviour behaviour = Behaviour::RegisterFile);

  // The value a register holds after power-up when the model behaves as the chip.
  static std::uint16_t ResetValue(std::uint16_t address);

  std::uint16_t read(std::uint16_t address) const;
  void write(std::uint16_t address, std::uint16_t value);
  std::uint64_t writeCount() const;

 private:
  Behaviour m_behaviour;
  mutable std::mutex m_mutex;
  std::array<std::uint16_t, 0x10000> m_registers{};
  std::uint64_t m_writes = 0;
};

}  // namespace tonvisor
