#include "panel/pll_divisor.h"

#include <charconv>
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

std::optional<float> ParseFloatText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) return std::nullopt;  // one sign only
  float value = 0.0f;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error != std::errc() || end == first) return std::nullopt;
  return negative ? -value : value;
}

}  // namespace tonvisor
