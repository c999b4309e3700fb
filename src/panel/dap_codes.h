#pragma once

#include <optional>
#include <string>

#include "codec/field_meaning.h"

// The audio processor's pages turn what the user typed into the codes its registers take. Each
// conversion is the page's formula, computed in double precision and truncated toward zero,
// with the range checked before the number becomes an integer: a typed "1e10" must not reach
// a conversion whose result an int cannot hold.

namespace tonvisor {

// A code and whether the number it came from had to be brought into the code's range.
struct ClampedCode {
  int code = 0;
  bool clamped = false;
};

// Mixer and main channel volume: the 16-bit gain, 32768 is unity (100 %), 65535 about 200 %.
inline constexpr int kDapVolumeLargest = 65535;
// percent * 0.01 * 32768, truncated, within 0 to 65535 ("200" gives 65535, not 65536).
ClampedCode DapVolumeFromPercent(double percent);

// The equalisers' band code: 0 is -11.75 dB, 47 is 0 dB, 95 is +12 dB, a quarter dB a step.
inline constexpr int kEqBandLargest = 95;
// The code of a gain: the top of the band's slider is 48 - 4 * gain, truncated (1.1 dB gives
// code 52, -1.1 dB code 43); beyond -11.75 or +12 dB, the nearer end.
ClampedCode EqBandCodeFromGain(double gainDb);
// A gain as the band's box shows it: the shortest decimal text of the number (0, 0.25, -11.75).
std::string EqGainText(double gainDb);

// The bass enhancer's multiplier field, two bits: the typed number truncated, or nothing when
// that does not fit (no code outside 0 to 3 is written, rather than its low bits).
inline constexpr int kBassMultLargest = 3;
std::optional<int> BassMultCode(double multiplier);

// Automatic volume control. The threshold is the linear amplitude of dB scaled by 0.636, with
// 15 fraction bits in 16 bits; nothing above about +9.95 dB, which the register cannot hold.
std::optional<int> AvcThresholdCode(double dB);
double AvcThresholdHighestDb();
// The attack and decay rates are the per-sample gain change of dB per second at the sample
// rate, with 19 (attack) and 23 (decay) fraction bits in a 12-bit field: nothing for a negative
// rate, one whose code does not fit, or without a sample rate to work from.
std::optional<int> AvcAttackCode(double dbPerSecond, double sampleRateHz);
std::optional<int> AvcDecayCode(double dbPerSecond, double sampleRateHz);
// The fastest rate each accepts at a sample rate, to a tenth of a dB per second.
double AvcAttackHighest(double sampleRateHz);
double AvcDecayHighest(double sampleRateHz);

}  // namespace tonvisor
