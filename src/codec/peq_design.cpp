#include "codec/peq_design.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "codec/codec_operations.h"
#include "link/typed_text.h"
#include "link/user_action.h"

namespace tonvisor {

namespace {

constexpr std::array<std::string_view, kPeqBandTypes.size()> kTypeNames = {
    "flat", "peaking", "lowshelf", "highshelf", "lowpass", "highpass", "notch", "bandpass"};
constexpr std::array<std::string_view, 5> kCoefficientNames = {"B0", "B1", "B2", "A1", "A2"};

// 18 fraction bits in 20: steps of 2^-18 from -2 up to 2 - 2^-18.
constexpr double kCoefficientScale = 262144.0;
constexpr std::int32_t kCoefficientLargest = (1 << 19) - 1;
constexpr std::int32_t kCoefficientSmallest = -(1 << 19);
constexpr int kPeqFilters = 7;
constexpr double kLowestFrequencyHz = 20.0;
// Well beyond any rate the chip's clocks make; it keeps a mistyped rate from asking for
// millions of points.
constexpr double kHighestRateHz = 1e6;

// The cookbook's coefficients, normalised by a0, with the chip's sign on a1 and a2.
Biquad normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
  return {b0 / a0, b1 / a0, b2 / a0, -a1 / a0, -a2 / a0};
}

// A name the log can hold on one line: a file name may carry line ends, and a comment line
// that broke in two could put a write line of its own into a saved script.
std::string oneLine(std::string_view name) {
  std::string line(name);
  for (char& c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return line;
}

}  // namespace

std::string_view PeqBandTypeName(PeqBandType type) {
  const auto index = static_cast<std::size_t>(type);
  return index < kTypeNames.size() ? kTypeNames[index] : std::string_view{};
}

std::optional<PeqBandType> PeqBandTypeFromName(std::string_view name) {
  for (std::size_t i = 0; i < kTypeNames.size(); ++i) {
    if (EqualsIgnoringCase(name, kTypeNames[i])) return kPeqBandTypes[i];
  }
  return std::nullopt;
}

bool PeqBandUsesGain(PeqBandType type) {
  return type == PeqBandType::Peaking || type == PeqBandType::LowShelf || type == PeqBandType::HighShelf;
}

std::string CheckPeqBand(const PeqBand& band, double rateHz) {
  if (!(rateHz > 0.0) || !(rateHz <= kHighestRateHz)) {
    return "the sample rate must be above 0 and at most " + FormatDecimal(kHighestRateHz) + " Hz";
  }
  if (band.type == PeqBandType::Flat) return {};
  if (!(band.frequencyHz > 0.0) || !(band.frequencyHz < rateHz / 2.0)) {
    return "the frequency must be above 0 Hz and below half the sample rate (" + FormatDecimal(rateHz / 2.0) +
           " Hz)";
  }
  if (!(band.q > 0.0) || !std::isfinite(band.q)) return "Q must be above 0";
  if (!std::isfinite(band.gainDb)) return "the gain must be a number of dB";
  return {};
}

Biquad DesignBiquad(const PeqBand& band, double rateHz) {
  if (band.type == PeqBandType::Flat) return {};
  const double w0 = 2.0 * std::numbers::pi * band.frequencyHz / rateHz;
  const double cosW = std::cos(w0);
  const double alpha = std::sin(w0) / (2.0 * band.q);
  const double a = std::pow(10.0, band.gainDb / 40.0);
  const double shelf = 2.0 * std::sqrt(a) * alpha;
  switch (band.type) {
    case PeqBandType::Flat:
      break;
    case PeqBandType::Peaking:
      return normalised(1.0 + alpha * a, -2.0 * cosW, 1.0 - alpha * a, 1.0 + alpha / a, -2.0 * cosW, 1.0 - alpha / a);
    case PeqBandType::LowShelf:
      return normalised(a * ((a + 1.0) - (a - 1.0) * cosW + shelf), 2.0 * a * ((a - 1.0) - (a + 1.0) * cosW),
                        a * ((a + 1.0) - (a - 1.0) * cosW - shelf), (a + 1.0) + (a - 1.0) * cosW + shelf,
                        -2.0 * ((a - 1.0) + (a + 1.0) * cosW), (a + 1.0) + (a - 1.0) * cosW - shelf);
    case PeqBandType::HighShelf:
      return normalised(a * ((a + 1.0) + (a - 1.0) * cosW + shelf), -2.0 * a * ((a - 1.0) + (a + 1.0) * cosW),
                        a * ((a + 1.0) + (a - 1.0) * cosW - shelf), (a + 1.0) - (a - 1.0) * cosW + shelf,
                        2.0 * ((a - 1.0) - (a + 1.0) * cosW), (a + 1.0) - (a - 1.0) * cosW - shelf);
    case PeqBandType::LowPass:
      return normalised((1.0 - cosW) / 2.0, 1.0 - cosW, (1.0 - cosW) / 2.0, 1.0 + alpha, -2.0 * cosW, 1.0 - alpha);
    case PeqBandType::HighPass:
      return normalised((1.0 + cosW) / 2.0, -(1.0 + cosW), (1.0 + cosW) / 2.0, 1.0 + alpha, -2.0 * cosW, 1.0 - alpha);
    case PeqBandType::Notch:
      return normalised(1.0, -2.0 * cosW, 1.0, 1.0 + alpha, -2.0 * cosW, 1.0 - alpha);
    case PeqBandType::BandPass:  // 0 dB at the centre
      return normalised(alpha, 0.0, -alpha, 1.0 + alpha, -2.0 * cosW, 1.0 - alpha);
  }
  return {};
}

std::optional<PeqCoefficientWords> QuantisePeqCoefficient(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double scaled = std::nearbyint(value * kCoefficientScale);
  if (scaled < kCoefficientSmallest || scaled > kCoefficientLargest) return std::nullopt;
  const auto bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(scaled)) & 0xFFFFFu;
  return PeqCoefficientWords{static_cast<std::uint16_t>(bits >> 4), static_cast<std::uint16_t>(bits & 0xFu)};
}

double PeqCoefficientValue(PeqCoefficientWords words) {
  std::int32_t bits = (static_cast<std::int32_t>(words.msb) << 4) | (words.lsb & 0xF);
  if (bits >= (1 << 19)) bits -= 1 << 20;
  return bits / kCoefficientScale;
}

Biquad DecodePeqBand(const PeqBandWords& words) {
  return {PeqCoefficientValue(words[0]), PeqCoefficientValue(words[1]), PeqCoefficientValue(words[2]),
          PeqCoefficientValue(words[3]), PeqCoefficientValue(words[4])};
}

PeqTableResult DesignPeqTable(const PeqDesign& design, double rateHz) {
  PeqTableResult result;
  PeqBandTable table{};
  for (std::size_t b = 0; b < design.size(); ++b) {
    const PeqBand& band = design[b];
    const std::string named = "band " + std::to_string(b) + " (" + std::string(PeqBandTypeName(band.type)) + ")";
    result.band = b;
    if (std::string why = CheckPeqBand(band, rateHz); !why.empty()) {
      result.error = named + ": " + why;
      return result;
    }
    const Biquad exact = DesignBiquad(band, rateHz);
    const std::array<double, 5> values = {exact.b0, exact.b1, exact.b2, exact.a1, exact.a2};
    for (std::size_t c = 0; c < values.size(); ++c) {
      const std::optional<PeqCoefficientWords> words = QuantisePeqCoefficient(values[c]);
      if (!words) {
        result.error = named + ": " + std::string(kCoefficientNames[c]) + " would be " + FormatFixed(values[c], 3) +
                       ", beyond the chip's range of -2 to 2";
        return result;
      }
      table[b][c] = *words;
    }
  }
  result.table = table;
  return result;
}

double PeqResponseDb(std::span<const Biquad> bands, double hz, double rateHz) {
  // The cookbook's form in phi = sin^2(w/2), which keeps its precision at low frequencies
  // where the terms of the usual form nearly cancel.
  const double half = std::sin(std::numbers::pi * hz / rateHz);
  const double phi = half * half;
  double db = 0.0;
  for (const Biquad& band : bands) {
    const double p1 = -band.a1;
    const double p2 = -band.a2;
    const double zeros = (band.b0 + band.b1 + band.b2) * (band.b0 + band.b1 + band.b2) -
                         4.0 * (band.b0 * band.b1 + 4.0 * band.b0 * band.b2 + band.b1 * band.b2) * phi +
                         16.0 * band.b0 * band.b2 * phi * phi;
    const double poles =
        (1.0 + p1 + p2) * (1.0 + p1 + p2) - 4.0 * (p1 + 4.0 * p2 + p1 * p2) * phi + 16.0 * p2 * phi * phi;
    // A notch's zero reads as a very deep dip, not as minus infinity.
    db += 10.0 * std::log10(std::max(zeros, 1e-30) / std::max(poles, 1e-30));
  }
  return db;
}

void PeqResponseDb(std::span<const Biquad> bands, std::span<const double> hz, double rateHz, std::span<double> db) {
  const std::size_t count = std::min(hz.size(), db.size());
  for (std::size_t i = 0; i < count; ++i) db[i] = PeqResponseDb(bands, hz[i], rateHz);
}

std::vector<double> PeqTwelfthOctaveFrequencies(double rateHz) {
  std::vector<double> frequencies;
  if (!(rateHz > 0.0) || !(rateHz <= kHighestRateHz)) return frequencies;
  // Each from its own power, so that the steps do not add up rounding errors.
  for (int k = 0;; ++k) {
    const double hz = kLowestFrequencyHz * std::exp2(k / 12.0);
    if (hz > rateHz / 2.0) break;
    frequencies.push_back(hz);
  }
  return frequencies;
}

AccessTally LoadPeqDesign(CodecOperations& codec, std::string_view name, const PeqBandTable& bands) {
  DeviceLink& link = codec.link();
  ScopedTally tally(link);
  WriteLog& log = link.writeLog();
  log.appendComment("   \n");
  log.appendComment("# Load PEQ Design " + oneLine(name) + "\n");
  codec.WriteNumPeqFilters(kPeqFilters);
  WritePeqBands(link, bands);
  return tally.tally();
}

}  // namespace tonvisor
