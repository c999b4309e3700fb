#include "codec/operation_index.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include "codec/peq_presets.h"
#include "link/typed_text.h"

namespace tonvisor {

namespace {

constexpr int kGeqBands = 5;

using CompositeOperation = AccessTally (CodecOperations::*)(int);
using DoubleOperation = AccessResult (CodecOperations::*)(double);
using PairOperation = AccessResult (CodecOperations::*)(int, int);
struct GeqBandOperation {};  // WriteGeqVolume BAND VALUE
struct PresetOperation {};   // LoadPeqPreset NAME

using Call = std::variant<const CodecField*, CompositeOperation, DoubleOperation, PairOperation, GeqBandOperation,
                          PresetOperation>;

// The numbers an integer argument may take: the codes of the bits it lands in. A number past
// them would wrap into the field as another code (128 into a 7-bit volume is code 0, the
// loudest), so it is refused before anything is sent.
struct ArgumentRange {
  int low = 0;
  int high = 0;
};
constexpr ArgumentRange CodesOf(FieldBits bits) { return {0, LargestCode(bits)}; }

struct IndexEntry {
  std::string_view name;
  std::string_view arguments;
  Call call;
  std::array<ArgumentRange, 2> ranges{};  // of the integer arguments, in order
};

using C = CodecOperations;

// Every field operation of the table (one VALUE each), then the operations made of several
// accesses or with other arguments, then the presets.
const std::vector<IndexEntry>& Index() {
  static const std::vector<IndexEntry> index = [] {
    std::vector<IndexEntry> entries;
    for (const CodecField* field : CodecFields()) {
      entries.push_back({field->name, "VALUE", field, {CodesOf(field->bits)}});
    }
    // A flag is one bit: the headphone mute (CHIP_ANA_CTRL_REG bit 4), the processor's enable
    // (DAP_CONTROL_REG bit 0).
    constexpr ArgumentRange kFlag = CodesOf(Bit(0));
    const IndexEntry others[] = {
        {"WriteGeqVolume", "BAND VALUE", GeqBandOperation{},
         {{{0, kGeqBands - 1}, CodesOf(field::WriteGeq0Volume.bits)}}},
        {"ConfigurePllDivisor", "INTEGER FRACTION", &C::ConfigurePllDivisor,
         {CodesOf(kPllIntegerBits), CodesOf(kPllFractionBits)}},
        {"ConfigureDacVolume", "DB", &C::ConfigureDacVolume},
        {"RampHpVolume", "TARGET", &C::RampHpVolume, {CodesOf(field::WriteHpLeftVolume.bits)}},
        {"WriteHpMute", "FLAG", &C::WriteHpMute, {kFlag}},
        {"WriteDapEnable", "ENABLE", &C::WriteDapEnable, {kFlag}},
        {"LoadPeqPreset", "NAME", PresetOperation{}},
    };
    entries.insert(entries.end(), std::begin(others), std::end(others));
    return entries;
  }();
  return index;
}

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

// The name of argument index in the listing's "INTEGER FRACTION".
std::string_view ArgumentName(std::string_view arguments, std::size_t index) {
  for (; index > 0; --index) arguments.remove_prefix(std::min(arguments.size(), arguments.find(' ') + 1));
  return arguments.substr(0, arguments.find(' '));
}

// Integer argument index of the entry, read and within its range; nothing, with the reason in
// error, when it is not.
std::optional<int> IntegerArgument(const IndexEntry& entry, std::span<const std::string> arguments, std::size_t index,
                                   std::string& error) {
  const std::optional<int> a = ParseInteger(entry.name, arguments[index], error);
  if (!a) return std::nullopt;
  const ArgumentRange range = entry.ranges[index];
  if (*a < range.low || *a > range.high) {
    error = std::string(entry.name) + ": " + std::string(ArgumentName(entry.arguments, index)) + " " + arguments[index] +
            " is outside its range (" + std::to_string(range.low) + " to " + std::to_string(range.high) + ")";
    return std::nullopt;
  }
  return a;
}

}  // namespace

std::vector<OperationInfo> ListOperations() {
  std::vector<OperationInfo> all;
  all.reserve(Index().size());
  for (const IndexEntry& entry : Index()) all.push_back({entry.name, entry.arguments});
  return all;
}

std::optional<Status> CallOperationByName(CodecOperations& codec, std::string_view name,
                                          std::span<const std::string> arguments, std::string& error) {
  const IndexEntry* found = nullptr;
  const IndexEntry* sameLetters = nullptr;
  for (const IndexEntry& entry : Index()) {
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

  if (const auto* field = std::get_if<const CodecField*>(&found->call)) {
    const std::optional<int> a = IntegerArgument(*found, arguments, 0, error);
    if (!a) return std::nullopt;
    return codec.apply(**field, *a).status;
  }
  if (const auto* call = std::get_if<CompositeOperation>(&found->call)) {
    const std::optional<int> a = IntegerArgument(*found, arguments, 0, error);
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
    const std::optional<int> first = IntegerArgument(*found, arguments, 0, error);
    if (!first) return std::nullopt;
    const std::optional<int> second = IntegerArgument(*found, arguments, 1, error);
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
    const std::optional<int> a = IntegerArgument(*found, arguments, 1, error);
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
