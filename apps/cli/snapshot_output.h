#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "tools/snapshot.h"

namespace tonvisor::cli {

// One register as `read` prints it in JSON: {"register": ..., "address": ..., "value": ...};
// a value that did not arrive is null.
std::string RegisterJson(std::uint16_t address, std::optional<std::uint16_t> value);

// The differences between two snapshots, as text (one line per register, then one per field
// that changed; "no differences" when there are none) or as JSON.
void PrintDifferences(std::ostream& out, const std::vector<RegisterDifference>& differences, bool json);

// Every field of every register, by its operation's name and what its code means, the DAC
// volume as ConfigureDacVolume: "ConfigureSampleRate = 48 kHz" a line, "unknown" for a register
// not read; or a JSON array of {"field", "register", "code", "meaning"}.
void PrintFields(std::ostream& out, const ChipSnapshot& snapshot, bool json);

}  // namespace tonvisor::cli
