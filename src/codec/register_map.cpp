#include "codec/register_map.h"

namespace tonvisor {

const std::array<RegisterEntry, 53> RegisterMap = {{
    {"CHIP_ID_REG", reg::CHIP_ID_REG, traits::kIdentity},
    {"CHIP_DIG_POWER_REG", reg::CHIP_DIG_POWER_REG, traits::kStored},
    {"CHIP_CLK_CTRL_REG", reg::CHIP_CLK_CTRL_REG, traits::kStored},
    {"CHIP_I2S0_CTRL_REG", reg::CHIP_I2S0_CTRL_REG, traits::kStored},
    {"CHIP_I2S1_CTRL_REG", reg::CHIP_I2S1_CTRL_REG, traits::kStored},
    {"CHIP_SSS_CTRL_REG", reg::CHIP_SSS_CTRL_REG, traits::kStored},
    {"CHIP_ADCDAC_CTRL_REG", reg::CHIP_ADCDAC_CTRL_REG, traits::kStored},
    {"CHIP_DAC_VOL_REG", reg::CHIP_DAC_VOL_REG, traits::kStored},
    {"CHIP_SPKR_VOL_REG", reg::CHIP_SPKR_VOL_REG, traits::kStored},
    {"CHIP_PAD_STRENGTH_REG", reg::CHIP_PAD_STRENGTH_REG, traits::kStored},
    {"CHIP_ANA_ADC_CTRL_REG", reg::CHIP_ANA_ADC_CTRL_REG, traits::kStored},
    {"CHIP_ANA_HP_CTRL_REG", reg::CHIP_ANA_HP_CTRL_REG, traits::kStored},
    {"CHIP_ANA_CTRL_REG", reg::CHIP_ANA_CTRL_REG, traits::kStored},
    {"CHIP_LINREG_CTRL_REG", reg::CHIP_LINREG_CTRL_REG, traits::kStored},
    {"CHIP_REF_CTRL_REG", reg::CHIP_REF_CTRL_REG, traits::kStored},
    {"CHIP_MIC_CTRL_REG", reg::CHIP_MIC_CTRL_REG, traits::kStored},
    {"CHIP_LINE_OUT_CTRL_REG", reg::CHIP_LINE_OUT_CTRL_REG, traits::kStored},
    {"CHIP_LINE_OUT_VOL_REG", reg::CHIP_LINE_OUT_VOL_REG, traits::kStored},
    {"CHIP_ANA_POWER_REG", reg::CHIP_ANA_POWER_REG, traits::kStored},
    {"CHIP_PLL_CTRL_REG", reg::CHIP_PLL_CTRL_REG, traits::kStored},
    {"CHIP_CLK_TOP_CTRL_REG", reg::CHIP_CLK_TOP_CTRL_REG, traits::kStored},
    {"CHIP_ANA_STATUS_REG", reg::CHIP_ANA_STATUS_REG, traits::kStatus},
    {"CHIP_ANA_TEST1_REG", reg::CHIP_ANA_TEST1_REG, traits::kStored},
    {"CHIP_ANA_TEST2_REG", reg::CHIP_ANA_TEST2_REG, traits::kStored},
    {"CHIP_SHORT_CTRL_REG", reg::CHIP_SHORT_CTRL_REG, traits::kStored},
    {"DAP_CONTROL_REG", reg::DAP_CONTROL_REG, traits::kStored},
    {"DAP_PEQ_REG", reg::DAP_PEQ_REG, traits::kStored},
    {"DAP_BASS_ENHANCE_REG", reg::DAP_BASS_ENHANCE_REG, traits::kStored},
    {"DAP_BASS_ENHANCE_CTRL_REG", reg::DAP_BASS_ENHANCE_CTRL_REG, traits::kStored},
    {"DAP_AUDIO_EQ_REG", reg::DAP_AUDIO_EQ_REG, traits::kStored},
    {"DAP_KRVL_SURROUND_REG", reg::DAP_KRVL_SURROUND_REG, traits::kStored},
    {"DAP_FILTER_COEF_ACCESS_REG", reg::DAP_FILTER_COEF_ACCESS_REG, traits::kTrigger},
    {"DAP_COEF_WR_B0_MSB_REG", reg::DAP_COEF_WR_B0_MSB_REG, traits::kTrigger},
    {"DAP_COEF_WR_B0_LSB_REG", reg::DAP_COEF_WR_B0_LSB_REG, traits::kTrigger},
    {"DAP_AUDIO_EQ_BASS_BAND0_REG", reg::DAP_AUDIO_EQ_BASS_BAND0_REG, traits::kStored},
    {"DAP_AUDIO_EQ_BAND1_REG", reg::DAP_AUDIO_EQ_BAND1_REG, traits::kStored},
    {"DAP_AUDIO_EQ_BAND2_REG", reg::DAP_AUDIO_EQ_BAND2_REG, traits::kStored},
    {"DAP_AUDIO_EQ_BAND3_REG", reg::DAP_AUDIO_EQ_BAND3_REG, traits::kStored},
    {"DAP_AUDIO_EQ_TREBLE_BAND4_REG", reg::DAP_AUDIO_EQ_TREBLE_BAND4_REG, traits::kStored},
    {"DAP_MAIN_CHAN_REG", reg::DAP_MAIN_CHAN_REG, traits::kStored},
    {"DAP_MIX_CHAN_REG", reg::DAP_MIX_CHAN_REG, traits::kStored},
    {"DAP_AVC_CTRL_REG", reg::DAP_AVC_CTRL_REG, traits::kStored},
    {"DAP_AVC_THRESHOLD_REG", reg::DAP_AVC_THRESHOLD_REG, traits::kStored},
    {"DAP_AVC_ATTACK_REG", reg::DAP_AVC_ATTACK_REG, traits::kStored},
    {"DAP_AVC_DECAY_REG", reg::DAP_AVC_DECAY_REG, traits::kStored},
    {"DAP_COEF_WR_B1_MSB_REG", reg::DAP_COEF_WR_B1_MSB_REG, traits::kTrigger},
    {"DAP_COEF_WR_B1_LSB_REG", reg::DAP_COEF_WR_B1_LSB_REG, traits::kTrigger},
    {"DAP_COEF_WR_B2_MSB_REG", reg::DAP_COEF_WR_B2_MSB_REG, traits::kTrigger},
    {"DAP_COEF_WR_B2_LSB_REG", reg::DAP_COEF_WR_B2_LSB_REG, traits::kTrigger},
    {"DAP_COEF_WR_A1_MSB_REG", reg::DAP_COEF_WR_A1_MSB_REG, traits::kTrigger},
    {"DAP_COEF_WR_A1_LSB_REG", reg::DAP_COEF_WR_A1_LSB_REG, traits::kTrigger},
    {"DAP_COEF_WR_A2_MSB_REG", reg::DAP_COEF_WR_A2_MSB_REG, traits::kTrigger},
    {"DAP_COEF_WR_A2_LSB_REG", reg::DAP_COEF_WR_A2_LSB_REG, traits::kTrigger},
}};

std::optional<std::uint16_t> LookupRegisterAddress(std::string_view name) {
  for (const RegisterEntry& row : RegisterMap) {
    if (row.name == name) return static_cast<std::uint16_t>(row.address);
  }
  return std::nullopt;
}

std::optional<std::uint16_t> FindRegisterAddress(std::string_view name, Messenger& messenger, Owner owner) {
  const std::optional<std::uint16_t> address = LookupRegisterAddress(name);
  if (!address) messenger.show("Invalid Register Name in the Script", kApplicationTitle, owner);
  return address;
}

std::optional<std::string_view> FindRegisterName(std::uint32_t address) {
  const std::uint32_t low = address & 0xFFFFu;
  for (const RegisterEntry& row : RegisterMap) {
    if (row.address == low) return row.name;
  }
  return std::nullopt;
}

std::span<const DescribedRegister> RegisterDescriptions() {
  static const auto described = [] {
    std::array<DescribedRegister, RegisterMap.size()> rows{};
    for (std::size_t i = 0; i < RegisterMap.size(); ++i) {
      rows[i] = {static_cast<std::uint16_t>(RegisterMap[i].address), RegisterMap[i].name, RegisterMap[i].traits};
    }
    return rows;
  }();
  return described;
}

const RegisterEntry* FindRegister(std::uint16_t address) {
  for (const RegisterEntry& row : RegisterMap) {
    if (row.address == address) return &row;
  }
  return nullptr;
}

std::optional<std::string_view> NotRestoredByWrite(std::uint16_t address) {
  const RegisterEntry* row = FindRegister(address);
  if (row == nullptr) return std::nullopt;
  if (row->traits.readOnly) return "read-only";
  if (!row->traits.writeTriggers) return std::nullopt;
  return address == reg::DAP_FILTER_COEF_ACCESS_REG ? "writing it loads filter coefficients into a band"
                                                    : "a filter coefficient on its way into a band";
}

}  // namespace tonvisor
