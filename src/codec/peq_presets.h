#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "link/device_link.h"

namespace tonvisor {

enum class PeqPreset { Flat, Rock, Classical, Dance, Acoustic };

// The parametric equaliser's seven second-order bands, run in cascade.
inline constexpr std::size_t kPeqBandCount = 7;

// One filter coefficient as the chip takes it: a 20-bit two's complement number with 18
// fraction bits, its high 16 bits for the MSB register and its low 4 bits (0x0 to 0xF) for the
// LSB register. 0x4000 / 0x0 is 1.0.
struct PeqCoefficientWords {
  std::uint16_t msb = 0;
  std::uint16_t lsb = 0;
  friend bool operator==(const PeqCoefficientWords&, const PeqCoefficientWords&) = default;
};
// A band's coefficients in the order B0, B1, B2, A1, A2.
using PeqBandWords = std::array<PeqCoefficientWords, 5>;
using PeqBandTable = std::array<PeqBandWords, kPeqBandCount>;

// The preset's seven bands as they are written to the chip.
const PeqBandTable& PeqPresetTable(PeqPreset preset);

// Writes seven bands into the chip: for each, its comment, the five coefficients (low part,
// then high word) and the commit to the band; then the blank line that closes the block.
// Every write is a full write and the whole sequence is always sent.
void WritePeqBands(DeviceLink& link, const PeqBandTable& bands);

// Writes the seven coefficient bands of a parametric-EQ preset, every write a full register
// write (so it loads over SPI too). The whole sequence is always sent; the tally says whether
// every write went through.
AccessTally LoadPeqPreset(DeviceLink& link, PeqPreset preset);

// "Flat", "Rock", "Classical", "Dance", "Acoustic" (case-insensitive), or nothing.
std::optional<PeqPreset> PeqPresetFromName(std::string_view name);
std::string_view PeqPresetName(PeqPreset preset);

}  // namespace tonvisor
