#include "peq_command.h"

#include <filesystem>
#include <ostream>

#include "codec/peq_presets.h"
#include "link/typed_text.h"
#include "tools/peq_design_file.h"

namespace tonvisor::cli {

namespace {

// A preset's coefficients are fixed; without --rate its response is shown at 48 kHz.
constexpr double kPresetRateHz = 48000.0;

// A frequency to a thousandth of a hertz, without trailing zeros: 20, 21.189, 1000.
std::string hertzText(double hz) {
  std::string text = FormatFixed(hz, 3);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

std::optional<PeqPlan> PlanPeqCommand(const Command& command, std::string& error, int& exitCode) {
  exitCode = kExitFailure;
  PeqPlan plan;
  std::error_code ignored;
  const std::optional<PeqPreset> preset = PeqPresetFromName(command.path);
  // A file of that name is what the user means; a preset name otherwise (response only).
  if (command.kind == Command::Kind::PeqResponse && preset && !std::filesystem::exists(command.path, ignored)) {
    plan.name = PeqPresetName(*preset);
    plan.table = PeqPresetTable(*preset);
    plan.rateHz = command.rateHz.value_or(kPresetRateHz);
  } else {
    const std::optional<PeqDesignFile> file = ReadPeqDesignFile(command.path, error);
    if (!file) return std::nullopt;
    const PeqRateChoice rate = ChoosePeqRate(*file, command.rateHz);
    if (rate.problem != PeqRateChoice::Problem::None) {
      exitCode = kExitUsage;
      error = rate.problem == PeqRateChoice::Problem::Missing
                  ? command.path + " has no rate line: give the chip's sample rate with --rate HZ"
                  : command.path + " is designed for " + FormatDecimal(*file->rateHz) + " Hz, not the " +
                        FormatDecimal(*command.rateHz) + " Hz --rate gives";
      return std::nullopt;
    }
    const PeqTableResult table = DesignPeqFile(*file, *rate.rateHz);
    if (!table.table) {
      error = command.path + ", " + table.error;
      return std::nullopt;
    }
    plan.name = std::filesystem::path(command.path).filename().string();
    plan.table = *table.table;
    plan.rateHz = *rate.rateHz;
  }
  if (command.kind == Command::Kind::PeqResponse) {
    plan.frequenciesHz = command.atHz.empty() ? PeqTwelfthOctaveFrequencies(plan.rateHz) : command.atHz;
    for (const double hz : plan.frequenciesHz) {
      if (hz > plan.rateHz / 2.0) {
        exitCode = kExitUsage;
        error = "--at " + FormatDecimal(hz) + " is above half the sample rate (" + FormatDecimal(plan.rateHz / 2.0) +
                " Hz)";
        return std::nullopt;
      }
    }
  }
  return plan;
}

void PrintPeqResponse(std::ostream& out, const PeqPlan& plan, bool json) {
  std::vector<Biquad> bands;
  for (const PeqBandWords& band : plan.table) bands.push_back(DecodePeqBand(band));
  std::vector<double> db(plan.frequenciesHz.size());
  PeqResponseDb(bands, plan.frequenciesHz, plan.rateHz, db);
  if (json) out << "[";
  for (std::size_t i = 0; i < db.size(); ++i) {
    const std::string hz = hertzText(plan.frequenciesHz[i]);
    const std::string gain = FormatFixed(db[i], 3);
    if (json) {
      out << (i == 0 ? "" : ", ") << "{\"hz\": " << hz << ", \"db\": " << gain << "}";
    } else {
      out << hz << ' ' << gain << '\n';
    }
  }
  if (json) out << "]\n";
}

}  // namespace tonvisor::cli
