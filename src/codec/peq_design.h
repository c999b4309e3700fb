#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/peq_presets.h"

namespace tonvisor {

class CodecOperations;

// Designing the parametric equaliser's bands from their type, frequency, gain and Q with the
// Audio EQ Cookbook's biquads, putting them into the chip's coefficient format, and working
// out what the chip will do with them.

enum class PeqBandType { Flat, Peaking, LowShelf, HighShelf, LowPass, HighPass, Notch, BandPass };
inline constexpr std::array<PeqBandType, 8> kPeqBandTypes = {
    PeqBandType::Flat,    PeqBandType::Peaking,  PeqBandType::LowShelf, PeqBandType::HighShelf,
    PeqBandType::LowPass, PeqBandType::HighPass, PeqBandType::Notch,    PeqBandType::BandPass};

// "flat", "peaking", "lowshelf", "highshelf", "lowpass", "highpass", "notch", "bandpass".
std::string_view PeqBandTypeName(PeqBandType type);
// One of those names, in any case; nothing for anything else.
std::optional<PeqBandType> PeqBandTypeFromName(std::string_view name);

// Peaking and the shelves; the other types have no gain of their own.
bool PeqBandUsesGain(PeqBandType type);

// One band as the engineer places it. Gain matters to peaking and the shelves only; a flat
// band ignores everything but its type.
struct PeqBand {
  PeqBandType type = PeqBandType::Flat;
  double frequencyHz = 1000.0;
  double gainDb = 0.0;
  double q = 0.707;
  friend bool operator==(const PeqBand&, const PeqBand&) = default;
};
using PeqDesign = std::array<PeqBand, kPeqBandCount>;

// H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 - a1 z^-1 - a2 z^-2): a1 and a2 carry the sign the
// chip adds them with, y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] + a1 y[n-1] + a2 y[n-2].
struct Biquad {
  double b0 = 1.0;
  double b1 = 0.0;
  double b2 = 0.0;
  double a1 = 0.0;
  double a2 = 0.0;
};

// Empty when the band can be designed at the rate, else why not ("the frequency must be ...").
std::string CheckPeqBand(const PeqBand& band, double rateHz);
// The exact coefficients of a band that CheckPeqBand accepts.
Biquad DesignBiquad(const PeqBand& band, double rateHz);

// A coefficient rounded to the nearest step of 2^-18; nothing outside -2 to just below 2 (or
// not a number): it is never wrapped or clipped.
std::optional<PeqCoefficientWords> QuantisePeqCoefficient(double value);
double PeqCoefficientValue(PeqCoefficientWords words);
// A band's coefficients as the chip holds them (a preset's, or a quantised design's).
Biquad DecodePeqBand(const PeqBandWords& words);

// The chip's coefficients for a whole design, or the first band that cannot be made and why
// ("band 3 (highshelf): B0 would be 2.513, beyond the chip's range of -2 to 2").
struct PeqTableResult {
  std::optional<PeqBandTable> table;
  std::string error;
  std::size_t band = 0;  // the band the error is about
};
PeqTableResult DesignPeqTable(const PeqDesign& design, double rateHz);

// The magnitude in dB of bands run in cascade, at each frequency (Hz).
double PeqResponseDb(std::span<const Biquad> bands, double hz, double rateHz);
void PeqResponseDb(std::span<const Biquad> bands, std::span<const double> hz, double rateHz, std::span<double> db);
// 20 Hz and every twelfth of an octave above it, up to half the rate.
std::vector<double> PeqTwelfthOctaveFrequencies(double rateHz);

// Loads a design's bands: "# Load PEQ Design NAME", the number of filters (7), then the
// bands as a preset writes them. The tally says whether every access went through.
AccessTally LoadPeqDesign(CodecOperations& codec, std::string_view name, const PeqBandTable& bands);

}  // namespace tonvisor
