#include "panel/pll_divisor.h"

#include <cmath>
#include <cstdio>

#include "link/typed_text.h"

namespace tonvisor {

namespace {

// Added to the ratio before its integer part is taken.
constexpr double kRatioTolerance = 0.00001;
constexpr double kDecimals = 10000.0;  // the range is told with four decimals

// Whether the clock typed as n ten-thousandths of a MHz ("6.1441") gives a divisor that fits,
// read exactly as the page reads the text (single precision rounds the edges).
bool fitsAsTyped(long long tenThousandths, bool rateIs44k1) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%04lld", tenThousandths / 10000, tenThousandths % 10000);
  const std::optional<float> clock = ReadLeadingFloat(text);
  return clock && ComputePllDivisor(*clock, rateIs44k1).has_value();
}

}  // namespace

bool IsPositiveClock(float extMclkMhz) { return std::isfinite(extMclkMhz) && extMclkMhz > 0.0f; }

std::optional<PllDivisor> ComputePllDivisor(float extMclkMhz, bool rateIs44k1) {
  if (!IsPositiveClock(extMclkMhz)) return std::nullopt;
  const double output = rateIs44k1 ? kPllOutput44k1Mhz : kPllOutputMhz;

  PllDivisor divisor;
  float clock = extMclkMhz;
  if (clock > kMaxUndividedMclkMhz) {
    clock = clock / 2;
    divisor.halved = true;
  }
  const double ratio = output / clock;
  // The integer part has five bits: a larger one would be cut off in the register, and one
  // of 0 asks the PLL to divide (a clock faster than its output). Checked before truncating,
  // which is undefined beyond int's range.
  if (!(ratio + kRatioTolerance < kMaxPllInteger + 1) || !(ratio + kRatioTolerance >= kMinPllInteger)) {
    return std::nullopt;
  }
  // The 0.00001 lets a ratio a hair below a whole number (11.2896 MHz gives 15.9999995)
  // count as that number; its fraction, then a tiny negative number, truncates to 0.
  divisor.integerPart = static_cast<int>(ratio + kRatioTolerance);
  divisor.fractionalPart = static_cast<int>((ratio - divisor.integerPart) * 2048);
  return divisor;
}

PllClockRange PllAcceptedClockRange(bool rateIs44k1) {
  const double output = rateIs44k1 ? kPllOutput44k1Mhz : kPllOutputMhz;
  // The slowest clock is not halved (it is far below 17 MHz): its ratio must stay below 32.
  // The fastest is halved: its ratio must reach 1. Every clock between them fits, so the
  // edges are found from these estimates by trying the four-decimal clocks around them.
  const double slowest = output / (kMaxPllInteger + 1 - kRatioTolerance);
  const double fastest = 2 * output / (kMinPllInteger - kRatioTolerance);
  auto lowest = static_cast<long long>(std::floor(slowest * kDecimals)) - 2;
  while (!fitsAsTyped(lowest, rateIs44k1)) ++lowest;
  auto highest = static_cast<long long>(std::floor(fastest * kDecimals)) + 2;
  while (!fitsAsTyped(highest, rateIs44k1)) --highest;
  return {static_cast<double>(lowest) / kDecimals, static_cast<double>(highest) / kDecimals};
}

}  // namespace tonvisor
