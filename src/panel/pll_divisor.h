#pragma once

#include <optional>

namespace tonvisor {

// The PLL's output frequency: 180.6336 MHz for the 44.1 kHz family, 196.608 MHz otherwise.
inline constexpr double kPllOutput44k1Mhz = 180.6336;
inline constexpr double kPllOutputMhz = 196.608;
// A master clock above this is halved before the PLL (17 MHz itself is not).
inline constexpr float kMaxUndividedMclkMhz = 17.0f;

// The integer part of the divisor: five bits, and a PLL multiplies, so at least 1.
inline constexpr int kMinPllInteger = 1;
inline constexpr int kMaxPllInteger = 31;

struct PllDivisor {
  bool halved = false;     // the master clock goes through the divide-by-two first
  int integerPart = 0;     // bits 15:11 of CHIP_PLL_CTRL_REG
  int fractionalPart = 0;  // bits 10:0, in units of 1/2048
  bool operator==(const PllDivisor&) const = default;
};

// The divisor that turns the external master clock into the PLL output, with the chip tool's
// exact arithmetic: the clock in single precision, the ratio in double, 0.00001 added before
// the integer part is truncated, the fraction truncated in 1/2048 steps. Nothing when the
// clock is not a positive number, or when the divisor does not fit CHIP_PLL_CTRL_REG (an
// integer part outside 1 to 31: the register would get a cut-off divisor).
std::optional<PllDivisor> ComputePllDivisor(float extMclkMhz, bool rateIs44k1);

// True for a finite number above 0 (what ComputePllDivisor needs before the range).
bool IsPositiveClock(float extMclkMhz);

// The external master clocks, in MHz with four decimals, that give a divisor that fits: every
// four-decimal clock from lowest to highest does, and none outside. Below lowest the
// integer part would exceed 31; above highest (halved above 17 MHz) it would be 0.
struct PllClockRange {
  double lowestMhz = 0;
  double highestMhz = 0;
};
PllClockRange PllAcceptedClockRange(bool rateIs44k1);

}  // namespace tonvisor
