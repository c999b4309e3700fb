#include "panel/dap_codes.h"

#include <charconv>
#include <cmath>

namespace tonvisor {

namespace {

constexpr double kUnityGain = 32768.0;  // 2^15
constexpr int kAvcRateLargest = 4095;    // 12 bits
constexpr int kAvcThresholdLargest = 65535;
constexpr double kAttackScale = 524288.0;  // 2^19
constexpr double kDecayScale = 8388608.0;  // 2^23

// A code computed in floating point, truncated toward zero, when its truncation lies in
// 0 to largest. The comparison comes first: converting a value an int cannot hold (or a nan)
// is undefined.
std::optional<int> FittingCode(double value, int largest) {
  if (!(value > -1.0 && value < largest + 1.0)) return std::nullopt;
  return static_cast<int>(value);
}

// The per-sample change of a rate in dB per second, scaled to the field's fraction bits.
double RateCode(double dbPerSecond, double sampleRateHz, double scale) {
  return (1.0 - std::pow(10.0, -dbPerSecond / (20.0 * sampleRateHz))) * scale;
}

std::optional<int> AvcRateCode(double dbPerSecond, double sampleRateHz, double scale) {
  // Without a sample rate the formula divides by zero. A negative rate would give a negative
  // code, or truncate to 0 when small: no rate is below 0.
  if (!(sampleRateHz > 0.0) || !(dbPerSecond >= 0.0)) return std::nullopt;
  return FittingCode(RateCode(dbPerSecond, sampleRateHz, scale), kAvcRateLargest);
}

// The largest rate, to a tenth, whose code still fits: the code reaches largest + 1 at
// -20 * Fs * log10(1 - (largest + 1) / scale).
double HighestRate(double sampleRateHz, double scale) {
  const double limit = -20.0 * sampleRateHz * std::log10(1.0 - (kAvcRateLargest + 1.0) / scale);
  double highest = std::floor(limit * 10.0) / 10.0;
  if (!AvcRateCode(highest, sampleRateHz, scale)) highest -= 0.1;  // the tenth landed on the limit
  return highest;
}

}  // namespace

ClampedCode DapVolumeFromPercent(double percent) {
  const double gain = percent * 0.01 * kUnityGain;
  if (!(gain >= 0.0)) return {0, gain <= -1.0};
  if (gain >= kDapVolumeLargest) return {kDapVolumeLargest, gain >= kDapVolumeLargest + 2.0};
  return {static_cast<int>(gain), false};
}

ClampedCode EqBandCodeFromGain(double gainDb) {
  // The slider's position counts down from +12 dB at the top (position 0).
  const double position = 48.0 - 4.0 * gainDb;
  if (position < 0.0) return {kEqBandLargest, true};
  if (position >= kEqBandLargest + 1.0) return {0, true};
  return {kEqBandLargest - static_cast<int>(position), false};
}

std::string EqGainText(double gainDb) {
  if (gainDb == 0.0) return "0";  // also -0, which reads as nothing else
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, gainDb);
  return error == std::errc() ? std::string(text, end) : std::string();
}

std::optional<int> BassMultCode(double multiplier) { return FittingCode(multiplier, kBassMultLargest); }

std::optional<int> AvcThresholdCode(double dB) {
  return FittingCode(std::pow(10.0, 0.05 * dB) * 0.636 * kUnityGain, kAvcThresholdLargest);
}

double AvcThresholdHighestDb() {
  const double limit = 20.0 * std::log10((kAvcThresholdLargest + 1.0) / (0.636 * kUnityGain));
  double highest = std::floor(limit * 100.0) / 100.0;
  if (!AvcThresholdCode(highest)) highest -= 0.01;
  return highest;
}

std::optional<int> AvcAttackCode(double dbPerSecond, double sampleRateHz) {
  return AvcRateCode(dbPerSecond, sampleRateHz, kAttackScale);
}

std::optional<int> AvcDecayCode(double dbPerSecond, double sampleRateHz) {
  return AvcRateCode(dbPerSecond, sampleRateHz, kDecayScale);
}

double AvcAttackHighest(double sampleRateHz) { return HighestRate(sampleRateHz, kAttackScale); }
double AvcDecayHighest(double sampleRateHz) { return HighestRate(sampleRateHz, kDecayScale); }

}  // namespace tonvisor
