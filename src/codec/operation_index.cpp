#include "codec/operation_index.h"

#include <array>
#include <limits>
#include <string>
#include <variant>

#include "codec/peq_presets.h"
#include "link/typed_text.h"

namespace tonvisor {

namespace {

using IntOperation = AccessResult (CodecOperations::*)(int);
using CompositeOperation = AccessTally (CodecOperations::*)(int);
using DoubleOperation = AccessResult (CodecOperations::*)(double);
using PairOperation = AccessResult (CodecOperations::*)(int, int);
struct GeqBandOperation {};  // WriteGeqVolume BAND VALUE
struct PresetOperation {};   // LoadPeqPreset NAME

using Call = std::variant<IntOperation, CompositeOperation, DoubleOperation, PairOperation, GeqBandOperation, PresetOperation>;

struct IndexEntry {
  std::string_view name;
  std::string_view arguments;
  Call call;
};

using C = CodecOperations;

const std::array kIndex = {
    // Clocks
    IndexEntry{"ConfigureSysMclk", "VALUE", &C::ConfigureSysMclk},
    IndexEntry{"ConfigureSampleRate", "VALUE", &C::ConfigureSampleRate},
    IndexEntry{"InitializePllPower", "VALUE", &C::InitializePllPower},
    IndexEntry{"ConfigureSysMclkDiv2", "VALUE", &C::ConfigureSysMclkDiv2},
    IndexEntry{"ConfigurePllDivisor", "INTEGER FRACTION", &C::ConfigurePllDivisor},
    // I2S port
    IndexEntry{"ConfigureI2sMasterSlave", "VALUE", &C::ConfigureI2sMasterSlave},
    IndexEntry{"ConfigureI2s0SclkFreq", "VALUE", &C::ConfigureI2s0SclkFreq},
    IndexEntry{"ConfigureI2s0SclkInv", "VALUE", &C::ConfigureI2s0SclkInv},
    IndexEntry{"ConfigureI2s0LrAlign", "VALUE", &C::ConfigureI2s0LrAlign},
    IndexEntry{"ConfigureI2s0Mode", "VALUE", &C::ConfigureI2s0Mode},
    IndexEntry{"ConfigureI2s0LrPol", "VALUE", &C::ConfigureI2s0LrPol},
    IndexEntry{"ConfigureI2s0DLen", "VALUE", &C::ConfigureI2s0DLen},
    // Routing
    IndexEntry{"ConfigureDapSelect", "VALUE", &C::ConfigureDapSelect},
    IndexEntry{"ConfigureI2sDout", "VALUE", &C::ConfigureI2sDout},
    IndexEntry{"ConfigureDacOut", "VALUE", &C::ConfigureDacOut},
    IndexEntry{"SelectHpInput", "VALUE", &C::SelectHpInput},
    IndexEntry{"WriteDapMixerInput", "VALUE", &C::WriteDapMixerInput},
    // ADC and microphone
    IndexEntry{"ConfigureAdcInput", "VALUE", &C::ConfigureAdcInput},
    IndexEntry{"WriteAdcMute", "VALUE", &C::WriteAdcMute},
    IndexEntry{"WriteAdcZcd", "VALUE", &C::WriteAdcZcd},
    IndexEntry{"WriteAdcLeftVolume", "VALUE", &C::WriteAdcLeftVolume},
    IndexEntry{"WriteAdcRightVolume", "VALUE", &C::WriteAdcRightVolume},
    IndexEntry{"WriteMicGain", "VALUE", &C::WriteMicGain},
    IndexEntry{"ConfigureMicBias", "VALUE", &C::ConfigureMicBias},
    // DAC, headphone and line out
    IndexEntry{"WriteDacMute", "VALUE", &C::WriteDacMute},
    IndexEntry{"ConfigureDacVolume", "DB", &C::ConfigureDacVolume},
    IndexEntry{"WriteHpLeftVolume", "VALUE", &C::WriteHpLeftVolume},
    IndexEntry{"WriteHpRightVolume", "VALUE", &C::WriteHpRightVolume},
    IndexEntry{"WriteHpZcd", "VALUE", &C::WriteHpZcd},
    IndexEntry{"WriteLineOutMute", "VALUE", &C::WriteLineOutMute},
    IndexEntry{"RampHpVolume", "TARGET", &C::RampHpVolume},
    IndexEntry{"WriteHpMute", "FLAG", &C::WriteHpMute},
    // Audio processor
    IndexEntry{"WriteDapEnable", "ENABLE", &C::WriteDapEnable},
    IndexEntry{"WriteDapMixerEnable", "VALUE", &C::WriteDapMixerEnable},
    IndexEntry{"WriteDapMixerVolume", "VALUE", &C::WriteDapMixerVolume},
    IndexEntry{"WriteDapMainVolume", "VALUE", &C::WriteDapMainVolume},
    IndexEntry{"WriteSurroundWidth", "VALUE", &C::WriteSurroundWidth},
    IndexEntry{"WriteSurroundEnable", "VALUE", &C::WriteSurroundEnable},
    IndexEntry{"WriteBassEnhanceEnable", "VALUE", &C::WriteBassEnhanceEnable},
    IndexEntry{"WriteBassCutoff", "VALUE", &C::WriteBassCutoff},
    IndexEntry{"WriteBassHpfCutoff", "VALUE", &C::WriteBassHpfCutoff},
    IndexEntry{"WriteBassMult", "VALUE", &C::WriteBassMult},
    IndexEntry{"WriteBassHpfBypass", "VALUE", &C::WriteBassHpfBypass},
    IndexEntry{"WriteBassLevel", "VALUE", &C::WriteBassLevel},
    IndexEntry{"WriteBassLrLevel", "VALUE", &C::WriteBassLrLevel},
    IndexEntry{"SelectEqMode", "VALUE", &C::SelectEqMode},
    IndexEntry{"WriteNumPeqFilters", "VALUE", &C::WriteNumPeqFilters},
    IndexEntry{"WriteGeq0Volume", "VALUE", &C::WriteGeq0Volume},
    IndexEntry{"WriteGeq1Volume", "VALUE", &C::WriteGeq1Volume},
    IndexEntry{"WriteGeq2Volume", "VALUE", &C::WriteGeq2Volume},
    IndexEntry{"WriteGeq3Volume", "VALUE", &C::WriteGeq3Volume},
    IndexEntry{"WriteGeq4Volume", "VALUE", &C::WriteGeq4Volume},
    IndexEntry{"WriteGeqVolume", "BAND VALUE", GeqBandOperation{}},
    IndexEntry{"WriteToneBass", "VALUE", &C::WriteToneBass},
    IndexEntry{"WriteToneTreble", "VALUE", &C::WriteToneTreble},
    IndexEntry{"WriteAvcEnable", "VALUE", &C::WriteAvcEnable},
    IndexEntry{"WriteAvcAttackRate", "VALUE", &C::WriteAvcAttackRate},
    IndexEntry{"WriteAvcMaxGain", "VALUE", &C::WriteAvcMaxGain},
    IndexEntry{"WriteAvcDecayRate", "VALUE", &C::WriteAvcDecayRate},
    IndexEntry{"WriteAvcLbiResponse", "VALUE", &C::WriteAvcLbiResponse},
    IndexEntry{"WriteAvcThreshold", "VALUE", &C::WriteAvcThreshold},
    // Parametric-EQ presets
    IndexEntry{"LoadPeqPreset", "NAME", PresetOperation{}},
};

constexpr int kGeqBands = 5;

std::size_t ArgumentCount(const Call& call) {
  return std::holds_alternative<PairOperation>(call) || std::holds_alternative<GeqBandOperation>(call) ? 2 : 1;
}

// Built by appending: GCC 12 at -O3 reports a false -Wrestrict overlap for
// "\"" + std::string(text) + "\"" (its inlined insert at the front of a temporary).
std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '"';
  quoted += text;
  quoted += '"';
  return quoted;
}

// An argument that must be a decimal integer; nothing, with the reason in error, when it is not.
std::optional<int> ParseInteger(std::string_view operation, const std::string& text, std::string& error) {
  const NumberReading<int> reading = ReadDecimalInt(text);
  if (reading.outOfRange) {
    error = std::string(operation) + ": " + text + " is out of range (" +
            std::to_string(std::numeric_limits<int>::min()) + " to " +
            std::to_string(std::numeric_limits<int>::max()) + ")";
  } else if (!reading.value) {
    error = std::string(operation) + ": " + Quoted(text) + " is not a decimal integer";
  }
  return reading.value;
}

// An argument that must be a finite decimal number; nothing, with the reason in error, when it is not.
std::optional<double> ParseNumber(std::string_view operation, const std::string& text, std::string& error) {
  const NumberReading<double> reading = ReadFiniteNumber(text);
  if (reading.outOfRange) {
    error = std::string(operation) + ": " + text + " is out of range";
  } else if (!reading.value) {
    error = std::string(operation) + ": " + Quoted(text) + " is not a decimal number";
  }
  return reading.value;
}

}  // namespace

std::vector<OperationInfo> ListOperations() {
  std::vector<OperationInfo> all;
  all.reserve(kIndex.size());
  for (const IndexEntry& entry : kIndex) all.push_back({entry.name, entry.arguments});
  return all;
}

std::optional<Status> CallOperationByName(CodecOperations& codec, std::string_view name,
                                          std::span<const std::string> arguments, std::string& error) {
  const IndexEntry* found = nullptr;
  const IndexEntry* sameLetters = nullptr;
  for (const IndexEntry& entry : kIndex) {
    if (entry.name == name) found = &entry;
    if (sameLetters == nullptr && EqualsIgnoringCase(entry.name, name)) sameLetters = &entry;
  }
  if (found == nullptr) {
    error = "unknown operation " + Quoted(name);
    // Names are case-sensitive; point at the one that was probably meant.
    if (sameLetters != nullptr) error += " (did you mean " + Quoted(sameLetters->name) + "?)";
    return std::nullopt;
  }

  const std::string_view op = found->name;
  const std::size_t expected = ArgumentCount(found->call);
  if (arguments.size() != expected) {
    error = std::string(op) + " takes " + std::to_string(expected) + (expected == 1 ? " argument" : " arguments") +
            " (" + std::string(found->arguments) + "), got " + std::to_string(arguments.size());
    return std::nullopt;
  }

  if (const auto* call = std::get_if<IntOperation>(&found->call)) {
    const std::optional<int> a = ParseInteger(op, arguments[0], error);
    if (!a) return std::nullopt;
    return (codec.*(*call))(*a).status;
  }
  if (const auto* call = std::get_if<CompositeOperation>(&found->call)) {
    const std::optional<int> a = ParseInteger(op, arguments[0], error);
    if (!a) return std::nullopt;
    return (codec.*(*call))(*a).status;
  }
  if (const auto* call = std::get_if<DoubleOperation>(&found->call)) {
    const std::optional<double> dB = ParseNumber(op, arguments[0], error);
    if (!dB) return std::nullopt;
    if (!DacVolumeCode(*dB)) {
      error = std::string(op) + ": " + arguments[0] + " dB is outside the DAC's range (0 to -95.8 dB)";
      return std::nullopt;
    }
    return (codec.*(*call))(*dB).status;
  }
  if (const auto* call = std::get_if<PairOperation>(&found->call)) {
    const std::optional<int> first = ParseInteger(op, arguments[0], error);
    if (!first) return std::nullopt;
    const std::optional<int> second = ParseInteger(op, arguments[1], error);
    if (!second) return std::nullopt;
    return (codec.*(*call))(*first, *second).status;
  }
  if (std::holds_alternative<GeqBandOperation>(found->call)) {
    const std::optional<int> band = ParseInteger(op, arguments[0], error);
    if (!band) return std::nullopt;
    if (*band < 0 || *band >= kGeqBands) {
      error = std::string(op) + ": band " + std::to_string(*band) + " does not exist (0 to 4)";
      return std::nullopt;
    }
    const std::optional<int> a = ParseInteger(op, arguments[1], error);
    if (!a) return std::nullopt;
    return codec.WriteGeqVolume(*band, *a).status;
  }
  const std::optional<PeqPreset> preset = PeqPresetFromName(arguments[0]);
  if (!preset) {
    error = std::string(op) + ": unknown preset " + Quoted(arguments[0]) + " (Flat, Rock, Classical, Dance or Acoustic)";
    return std::nullopt;
  }
  return LoadPeqPreset(codec.link(), *preset).status;
}

}  // namespace tonvisor
