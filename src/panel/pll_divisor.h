#pragma once

#include <optional>

namespace tonvisor {

// The PLL's output frequency: 180.6336 MHz for the 44.1 kHz family, 196.608 MHz otherwise.
inline constexpr double kPllOutput44k1Mhz = 180.6336;
inline constexpr double kPllOutputMhz = 196.608;
// A master clock above this is halved before the PLL (17 MHz itself is not).
inline constexpr float kMaxUndividedMclkMhz = 17.0f;

struct PllDivisor {
  bool halved = false;     // the master clock goes through the divide-by-two first
  int integerPart = 0;     // bits 15:11 of CHIP_PLL_CTRL_REG
  int fractionalPart = 0;  // bits 10:0, in units of 1/2048
  bool operator==(const PllDivisor&) const = default;
};

// The divisor that turns the external master clock into the PLL output, with the chip tool's
// exact arithmetic: the clock in single precision, the ratio in double, 0.00001 added before
// the integer part is truncated, the fraction truncated in 1/2048 steps. Nothing when the
// clock is not a positive number, or is so small that the divisor cannot be represented.
std::optional<PllDivisor> ComputePllDivisor(float extMclkMhz, bool rateIs44k1);

}  // namespace tonvisor
