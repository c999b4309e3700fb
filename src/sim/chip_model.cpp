#include "sim/chip_model.h"

namespace tonvisor {

std::uint16_t ChipModel::read(std::uint16_t address) const {
  std::lock_guard lock(m_mutex);
  return m_registers[address];
}

void ChipModel::write(std::uint16_t address, std::uint16_t value) {
  std::lock_guard lock(m_mutex);
  m_registers[address] = value;
  ++m_writes;
}

std::uint64_t ChipModel::writeCount() const {
  std::lock_guard lock(m_mutex);
  return m_writes;
}

}  // namespace tonvisor
