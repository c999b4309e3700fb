#pragma once

#include <optional>
#include <string_view>

#include "link/device_link.h"

namespace tonvisor {

enum class PeqPreset { Flat, Rock, Classical, Dance, Acoustic };

// Writes the seven coefficient bands of a parametric-EQ preset, every write a full register
// write (so it loads over SPI too). The whole sequence is always sent; the tally says whether
// every write went through.
AccessTally LoadPeqPreset(DeviceLink& link, PeqPreset preset);

// "Flat", "Rock", "Classical", "Dance", "Acoustic" (case-insensitive), or nothing.
std::optional<PeqPreset> PeqPresetFromName(std::string_view name);
std::string_view PeqPresetName(PeqPreset preset);

}  // namespace tonvisor
