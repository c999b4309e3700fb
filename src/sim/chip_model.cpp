#include "sim/chip_model.h"

#include <utility>

namespace tonvisor {

namespace {

// Registers the chip never lets a write change: its ID and the analog status.
constexpr std::uint16_t kChipIdRegister = 0x0000;
constexpr std::uint16_t kAnalogStatusRegister = 0x0036;

bool readOnly(std::uint16_t address) { return address == kChipIdRegister || address == kAnalogStatusRegister; }

// Power-up values of our choosing, close to what such a codec wakes up with: outputs muted,
// 48 kHz from a 256xFs clock, 0 dB volumes, the processor's blocks at their defaults.
constexpr std::pair<std::uint16_t, std::uint16_t> kResetValues[] = {
    {kChipIdRegister, ChipModel::kPartId},
    {0x0004, 0x0008},  // CHIP_CLK_CTRL_REG: 48 kHz, 256xFs
    {0x0006, 0x0010},  // CHIP_I2S0_CTRL_REG: 24-bit I2S
    {0x000A, 0x0010},  // CHIP_SSS_CTRL_REG: the DAC plays the I2S input
    {0x000E, 0x020C},  // CHIP_ADCDAC_CTRL_REG: both DAC channels muted
    {0x0010, 0x3C3C},  // CHIP_DAC_VOL_REG: 0 dB
    {0x0014, 0x015F},  // CHIP_PAD_STRENGTH_REG
    {0x0022, 0x1818},  // CHIP_ANA_HP_CTRL_REG: 0 dB
    {0x0024, 0x0111},  // CHIP_ANA_CTRL_REG: ADC, headphones and line out muted
    {0x002E, 0x0404},  // CHIP_LINE_OUT_VOL_REG
    {0x0030, 0x7060},  // CHIP_ANA_POWER_REG
    {0x0032, 0x5000},  // CHIP_PLL_CTRL_REG
    {0x0104, 0x0040},  // DAP_BASS_ENHANCE_REG
    {0x0106, 0x051F},  // DAP_BASS_ENHANCE_CTRL_REG
    {0x010A, 0x0040},  // DAP_KRVL_SURROUND_REG
    {0x0116, 0x002F},  // DAP_AUDIO_EQ_BASS_BAND0_REG .. BAND4: flat
    {0x0118, 0x002F},
    {0x011A, 0x002F},
    {0x011C, 0x002F},
    {0x011E, 0x002F},
    {0x0120, 0x8000},  // DAP_MAIN_CHAN_REG: 100 %
    {0x0124, 0x5100},  // DAP_AVC_CTRL_REG
    {0x0126, 0x1473},  // DAP_AVC_THRESHOLD_REG
    {0x0128, 0x0028},  // DAP_AVC_ATTACK_REG
    {0x012A, 0x0050},  // DAP_AVC_DECAY_REG
};

}  // namespace

ChipModel::ChipModel(Behaviour behaviour) : m_behaviour(behaviour) {
  if (m_behaviour != Behaviour::Chip) return;
  for (const auto& [address, value] : kResetValues) m_registers[address] = value;
}

std::uint16_t ChipModel::ResetValue(std::uint16_t address) {
  for (const auto& [known, value] : kResetValues) {
    if (known == address) return value;
  }
  return 0;
}

std::uint16_t ChipModel::read(std::uint16_t address) const {
  std::lock_guard lock(m_mutex);
  return m_registers[address];
}

void ChipModel::write(std::uint16_t address, std::uint16_t value) {
  std::lock_guard lock(m_mutex);
  ++m_writes;
  if (m_behaviour == Behaviour::Chip && readOnly(address)) return;
  m_registers[address] = value;
}

std::uint64_t ChipModel::writeCount() const {
  std::lock_guard lock(m_mutex);
  return m_writes;
}

}  // namespace tonvisor
