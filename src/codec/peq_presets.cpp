#include "codec/peq_presets.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "codec/register_map.h"
#include "link/user_action.h"

namespace tonvisor {

namespace {

using Band = PeqBandWords;
constexpr std::size_t kBandCount = kPeqBandCount;
using PresetBands = PeqBandTable;

// In the order of PeqPreset.
constexpr std::array<PresetBands, 5> kPresets = {{
    // Flat
    PresetBands{{
        Band{{{0x4000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}}},  // band 0
        Band{{{0x4000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}}},  // band 1
        Band{{{0x4000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}}},  // band 2
        Band{{{0x4000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}}},  // band 3
        Band{{{0x4000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}}},  // band 4
        Band{{{0x4000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}}},  // band 5
        Band{{{0x4000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}, {0x0000, 0x0}}},  // band 6
    }},
    // Rock
    PresetBands{{
        Band{{{0x401E, 0x5}, {0x81AC, 0x5}, {0x3E3D, 0xB}, {0x7E54, 0xA}, {0xC1A5, 0x0}}},  // band 0
        Band{{{0x3FF2, 0xA}, {0x833D, 0x5}, {0x3CF9, 0x8}, {0x7CC2, 0xB}, {0xC313, 0xE}}},  // band 1
        Band{{{0x3F1C, 0xB}, {0x8976, 0x5}, {0x3840, 0xD}, {0x7689, 0xB}, {0xC8A2, 0x8}}},  // band 2
        Band{{{0x417F, 0x6}, {0xA879, 0x0}, {0x1F75, 0x5}, {0x5787, 0x0}, {0xDF0B, 0x5}}},  // band 3
        Band{{{0x410D, 0x3}, {0xC14B, 0xB}, {0x1252, 0x2}, {0x3EB4, 0x5}, {0xECA0, 0xB}}},  // band 4
        Band{{{0x4451, 0xC}, {0xEAAF, 0x0}, {0x062C, 0xD}, {0x1551, 0x0}, {0xF581, 0x8}}},  // band 5
        Band{{{0x471D, 0xF}, {0x0792, 0x9}, {0x05D9, 0x8}, {0xF14A, 0x9}, {0xFA2B, 0x7}}},  // band 6
    }},
    // Classical
    PresetBands{{
        Band{{{0x4016, 0xB}, {0x8161, 0x6}, {0x3E8A, 0x8}, {0x7E9E, 0xE}, {0xC15F, 0x2}}},  // band 0
        Band{{{0x4006, 0x3}, {0x821B, 0x7}, {0x3DE8, 0x6}, {0x7DE4, 0x9}, {0xC211, 0x8}}},  // band 1
        Band{{{0x3F6A, 0x0}, {0x8603, 0x7}, {0x3AE3, 0xA}, {0x79FC, 0x9}, {0xC5B2, 0x6}}},  // band 2
        Band{{{0x3FBA, 0x8}, {0x8DE0, 0xF}, {0x3435, 0x8}, {0x721F, 0x1}, {0xCC10, 0x0}}},  // band 3
        Band{{{0x40F6, 0x0}, {0xABFC, 0xF}, {0x1E9A, 0x1}, {0x5403, 0x1}, {0xE06F, 0xF}}},  // band 4
        Band{{{0x455B, 0xA}, {0xF713, 0xC}, {0xF845, 0x0}, {0x08EC, 0x4}, {0x025F, 0x6}}},  // band 5
        Band{{{0x4505, 0x9}, {0x2210, 0x8}, {0x047E, 0x9}, {0xDA3E, 0x5}, {0xFA2D, 0x1}}},  // band 6
    }},
    // Dance
    PresetBands{{
        Band{{{0x4000, 0xA}, {0x8068, 0xE}, {0x3F96, 0xF}, {0x7F97, 0x2}, {0xC068, 0x7}}},  // band 0
        Band{{{0x401A, 0x5}, {0x80C2, 0x9}, {0x3F25, 0x7}, {0x7F3D, 0x7}, {0xC0C0, 0x4}}},  // band 1
        Band{{{0x41A4, 0xB}, {0x909B, 0x6}, {0x30EA, 0x4}, {0x6F64, 0xA}, {0xCD71, 0x1}}},  // band 2
        Band{{{0x42A0, 0x9}, {0xB090, 0xB}, {0x217F, 0x8}, {0x4F6F, 0x5}, {0xDBDF, 0xF}}},  // band 3
        Band{{{0x4074, 0x0}, {0xD1B3, 0x8}, {0x18A2, 0x2}, {0x2E4C, 0x8}, {0xE6E9, 0xE}}},  // band 4
        Band{{{0x40DD, 0x2}, {0xF089, 0xD}, {0x0DF9, 0x9}, {0x0F76, 0x3}, {0xF129, 0x5}}},  // band 5
        Band{{{0x3EED, 0x7}, {0x2232, 0x9}, {0x08DE, 0xE}, {0xDEB0, 0x5}, {0xF750, 0xF}}},  // band 6
    }},
    // Acoustic
    PresetBands{{
        Band{{{0x4000, 0xA}, {0x806E, 0xF}, {0x3F91, 0x2}, {0x7F91, 0x1}, {0xC06E, 0x4}}},  // band 0
        Band{{{0x400F, 0x7}, {0x812C, 0x0}, {0x3ECA, 0x2}, {0x7ED4, 0x8}, {0xC126, 0xF}}},  // band 1
        Band{{{0x406C, 0x3}, {0x83FE, 0x4}, {0x3BE8, 0x0}, {0x7C01, 0xC}, {0xC3AB, 0xD}}},  // band 2
        Band{{{0x4261, 0x5}, {0x9F7C, 0x8}, {0x2615, 0xE}, {0x6083, 0x8}, {0xD788, 0xD}}},  // band 3
        Band{{{0x428A, 0xF}, {0xC6B5, 0x7}, {0x0EDF, 0xF}, {0x394A, 0x9}, {0xEE95, 0x2}}},  // band 4
        Band{{{0x47ED, 0xB}, {0xF5EC, 0xE}, {0xF738, 0xC}, {0x0A13, 0x2}, {0x00D9, 0xA}}},  // band 5
        Band{{{0x4078, 0xE}, {0x188E, 0xD}, {0xEDFE, 0x7}, {0xE771, 0x3}, {0x1188, 0xB}}},  // band 6
    }},
}};

struct CoefficientRegisters {
  std::uint16_t lsb;
  std::uint16_t msb;
};
// B0, B1, B2, A1, A2; each coefficient is sent low part first, then its high word.
constexpr std::array<CoefficientRegisters, 5> kCoefficientRegisters = {{
    {reg::DAP_COEF_WR_B0_LSB_REG, reg::DAP_COEF_WR_B0_MSB_REG},
    {reg::DAP_COEF_WR_B1_LSB_REG, reg::DAP_COEF_WR_B1_MSB_REG},
    {reg::DAP_COEF_WR_B2_LSB_REG, reg::DAP_COEF_WR_B2_MSB_REG},
    {reg::DAP_COEF_WR_A1_LSB_REG, reg::DAP_COEF_WR_A1_MSB_REG},
    {reg::DAP_COEF_WR_A2_LSB_REG, reg::DAP_COEF_WR_A2_MSB_REG},
}};

// Writing 0x0100 + band moves the five coefficients just written into that band's filter.
constexpr std::uint16_t kCommitBand = 0x0100;
// Acoustic switches the equaliser to six bands once it is loaded.
constexpr std::uint16_t kAcousticPeqBands = 0x0006;

constexpr std::array<std::string_view, kBandCount> kBandComments = {
    "# Write Coeffs for Band 0\n", "# Write Coeffs for Band 1\n", "# Write Coeffs for Band 2\n",
    "# Write Coeffs for Band 3\n", "# Write Coeffs for Band 4\n", "# Write Coeffs for Band 5\n",
    "# Write Coeffs for Band 6\n",
};

constexpr std::array<std::string_view, 5> kPresetNames = {"Flat", "Rock", "Classical", "Dance", "Acoustic"};

}  // namespace

const PeqBandTable& PeqPresetTable(PeqPreset preset) {
  const auto index = static_cast<std::size_t>(preset);
  return kPresets[index < kPresets.size() ? index : 0];
}

void WritePeqBands(DeviceLink& link, const PeqBandTable& bands) {
  WriteLog& log = link.writeLog();
  // Every write is a full write, so the bands load over SPI too. Statuses are not looked at:
  // the whole sequence is always sent, and a failing link reports its own trouble.
  for (std::size_t b = 0; b < kBandCount; ++b) {
    log.appendComment("   \n");
    log.appendComment(kBandComments[b]);
    for (std::size_t c = 0; c < kCoefficientRegisters.size(); ++c) {
      link.WriteRegister(kCoefficientRegisters[c].lsb, bands[b][c].lsb);
      link.WriteRegister(kCoefficientRegisters[c].msb, bands[b][c].msb);
    }
    link.WriteRegister(reg::DAP_FILTER_COEF_ACCESS_REG, static_cast<std::uint16_t>(kCommitBand + b));
  }
  log.appendComment("   \n");
}

AccessTally LoadPeqPreset(DeviceLink& link, PeqPreset preset) {
  ScopedTally tally(link);
  const auto index = static_cast<std::size_t>(preset);
  if (index >= kPresets.size()) return tally.tally();
  WritePeqBands(link, kPresets[index]);
  if (preset == PeqPreset::Acoustic) {
    WriteLog& log = link.writeLog();
    log.appendComment("# Enable PEQ\n");
    link.WriteRegister(reg::DAP_PEQ_REG, kAcousticPeqBands);
  }
  return tally.tally();
}

std::optional<PeqPreset> PeqPresetFromName(std::string_view name) {
  for (std::size_t i = 0; i < kPresetNames.size(); ++i) {
    if (EqualsIgnoringCase(name, kPresetNames[i])) return static_cast<PeqPreset>(i);
  }
  return std::nullopt;
}

std::string_view PeqPresetName(PeqPreset preset) {
  const auto index = static_cast<std::size_t>(preset);
  return index < kPresetNames.size() ? kPresetNames[index] : std::string_view{};
}

}  // namespace tonvisor
