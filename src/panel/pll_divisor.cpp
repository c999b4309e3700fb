#include "panel/pll_divisor.h"

#include <cmath>
#include <limits>

namespace tonvisor {

std::optional<PllDivisor> ComputePllDivisor(float extMclkMhz, bool rateIs44k1) {
  if (!std::isfinite(extMclkMhz) || !(extMclkMhz > 0.0f)) return std::nullopt;
  const double output = rateIs44k1 ? kPllOutput44k1Mhz : kPllOutputMhz;

  PllDivisor divisor;
  float clock = extMclkMhz;
  if (clock > kMaxUndividedMclkMhz) {
    clock = clock / 2;
    divisor.halved = true;
  }
  const double ratio = output / clock;
  // Truncating a number beyond int's range is undefined; such a clock is no real clock.
  if (!(ratio + 0.00001 < static_cast<double>(std::numeric_limits<int>::max()))) return std::nullopt;
  // The 0.00001 lets a ratio a hair below a whole number (11.2896 MHz gives 15.9999995)
  // count as that number; its fraction, then a tiny negative number, truncates to 0.
  divisor.integerPart = static_cast<int>(ratio + 0.00001);
  divisor.fractionalPart = static_cast<int>((ratio - divisor.integerPart) * 2048);
  return divisor;
}

}  // namespace tonvisor
