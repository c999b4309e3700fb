#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "codec/peq_design.h"
#include "command_line.h"

namespace tonvisor::cli {

// What a peq command works on, read and checked before anything touches the chip.
struct PeqPlan {
  std::string name;  // the design's file name, or the preset's
  PeqBandTable table{};
  double rateHz = 0.0;
  std::vector<double> frequenciesHz;  // response: where to tell the gain
};

// Reads the command's design file (or preset) and makes its coefficients; nothing with the
// reason in error and the exit status in exitCode when it cannot.
std::optional<PeqPlan> PlanPeqCommand(const Command& command, std::string& error, int& exitCode);

// "HZ DB" lines, the gain to three decimals, or a JSON array of {"hz": ..., "db": ...}.
void PrintPeqResponse(std::ostream& out, const PeqPlan& plan, bool json);

}  // namespace tonvisor::cli
