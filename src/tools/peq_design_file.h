#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "codec/peq_design.h"

namespace tonvisor {

// A parametric-EQ design as a text file, one setting a line, numbers in the C locale:
//
//   # a line starting with # is a comment; blank lines are ignored
//   rate 48000
//   band 0 peaking 1000 6 1
//   band 6 highpass 30 0 0.707
//
// `rate HZ` is optional (the chip's rate is used without it); then up to seven
// `band INDEX TYPE FREQUENCY_HZ GAIN_DB Q` lines, INDEX 0 to 6, each at most once. Bands not
// named are flat. Rigs write these files too: the form is kept exactly.
struct PeqDesignFile {
  std::optional<double> rateHz;
  PeqDesign design;
  std::array<std::size_t, kPeqBandCount> lines{};  // the line each band was named on; 0 for none
};

// The design in text, or nothing with "line N: what is wrong" in error. A line the reader
// cannot read, a band named twice, a Q or frequency that no rate allows, and (with the file's
// own rate) a frequency at or above half the rate are refused.
std::optional<PeqDesignFile> ParsePeqDesign(std::string_view text, std::string& error);
// The same from a file; the error starts with the path.
std::optional<PeqDesignFile> ReadPeqDesignFile(const std::string& path, std::string& error);

// The rate a design is made at: its own, or the chip's (Config Clock's, or --rate) when it has
// none. A file whose rate differs from the chip's is not made at either: its frequencies would
// land elsewhere on the chip, so the caller refuses it, saying both.
struct PeqRateChoice {
  enum class Problem { None, Missing, Conflict };
  std::optional<double> rateHz;
  Problem problem = Problem::None;
};
PeqRateChoice ChoosePeqRate(const PeqDesignFile& file, std::optional<double> chipRateHz);

// The chip's coefficients for the file's design at rate, or "line N: band B (TYPE): why" for
// the band that cannot be made.
PeqTableResult DesignPeqFile(const PeqDesignFile& file, double rateHz);

// The file's text: the rate line when there is a rate, then all seven bands.
std::string PeqDesignText(const PeqDesign& design, std::optional<double> rateHz);
// Written to a temporary file beside path and renamed over it, so that an existing design is
// never left half written. False with the reason in error.
bool WritePeqDesignFile(const std::string& path, const PeqDesign& design, std::optional<double> rateHz,
                        std::string& error);

}  // namespace tonvisor
