#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <tuple>

#include "panel/dap_codes.h"

namespace tonvisor {
namespace {

constexpr double kHuge = std::numeric_limits<double>::max();

TEST(DapCodes, VolumePercentTruncatesAndStaysInSixteenBits) {
  const std::tuple<double, int, bool> cases[] = {
      {100, 32768, false}, {50, 16384, false}, {33, 10813, false}, {0, 0, false},
      {200, 65535, false},                   // 65536 would wrap to 0, silence
      {199.999, 65535, false}, {-0.001, 0, false},
      {300, 65535, true},    {-10, 0, true},  // were 100 % and about 190 %
      {kHuge, 65535, true},  {-kHuge, 0, true}};
  for (const auto& [percent, gain, clamped] : cases) {
    const ClampedCode code = DapVolumeFromPercent(percent);
    EXPECT_EQ(code.code, gain) << percent;
    EXPECT_EQ(code.clamped, clamped) << percent;
  }
  EXPECT_EQ(DapVolumePercent(65535), 65535 * 100.0 / 32768);
}

TEST(DapCodes, EqGainsTruncateOnTheSlidersScaleAndStopAtBothEnds) {
  const std::tuple<double, int, bool> cases[] = {
      {1.1, 52, false}, {-1.1, 43, false}, {0, 47, false},  {0.25, 48, false},  {12, 95, false},
      {-11.75, 0, false}, {-11.9, 0, false},                // still within code 0's quarter
      {-20, 0, true},   {13, 95, true},    {-12, 0, true},  // -20 dB wrapped to the loudest code
      {kHuge, 95, true}, {-kHuge, 0, true}};
  for (const auto& [gain, band, clamped] : cases) {
    const ClampedCode code = EqBandCodeFromGain(gain);
    EXPECT_EQ(code.code, band) << gain;
    EXPECT_EQ(code.clamped, clamped) << gain;
  }
  EXPECT_EQ(EqBandGainDb(0), -11.75);
  EXPECT_EQ(EqBandGainDb(95), 12.0);
  EXPECT_EQ(EqGainText(EqBandGainDb(48)), "0.25");
  EXPECT_EQ(EqGainText(EqBandGainDb(0)), "-11.75");
  EXPECT_EQ(EqGainText(12.0), "12");
  EXPECT_EQ(EqGainText(-0.0), "0");
  EXPECT_EQ(EqGainText(1.1), "1.1");
}

TEST(DapCodes, BassMultiplierTruncatesIntoItsTwoBitsOrIsRefused) {
  const std::pair<double, std::optional<int>> cases[] = {
      {0, 0}, {2.9, 2}, {3.9, 3}, {-0.5, 0}, {4, std::nullopt}, {-1, std::nullopt}, {1e10, std::nullopt}};
  for (const auto& [multiplier, code] : cases) EXPECT_EQ(BassMultCode(multiplier), code) << multiplier;
}

TEST(DapCodes, AvcThresholdIsTheScaledAmplitudeAndRefusedBeyondSixteenBits) {
  EXPECT_EQ(AvcThresholdCode(-12), 5234);
  EXPECT_EQ(AvcThresholdCode(0), 20840);
  EXPECT_EQ(AvcThresholdCode(-kHuge), 0);
  EXPECT_DOUBLE_EQ(AvcThresholdHighestDb(), 9.95);
  EXPECT_EQ(AvcThresholdCode(9.95), 65525);
  EXPECT_EQ(AvcThresholdCode(9.96), std::nullopt);
  EXPECT_EQ(AvcThresholdCode(kHuge), std::nullopt);
}

TEST(DapCodes, AvcRatesFollowTheSampleRateAndAreRefusedOutsideTheirField) {
  // Sample rate, attack 32 dB/s, decay 4 dB/s.
  const std::tuple<double, int, int> rates[] = {{48000, 40, 80}, {44100, 43, 87}, {32000, 60, 120}, {96000, 20, 40}};
  for (const auto& [fs, attack, decay] : rates) {
    EXPECT_EQ(AvcAttackCode(32, fs), attack) << fs;
    EXPECT_EQ(AvcDecayCode(4, fs), decay) << fs;
    EXPECT_EQ(AvcAttackCode(0, fs), 0) << fs;
    // The fastest rate shown in the refusal is still taken; a tenth more is not.
    for (const auto& [code, highest] : {std::pair{&AvcAttackCode, AvcAttackHighest(fs)},
                                        std::pair{&AvcDecayCode, AvcDecayHighest(fs)}}) {
      ASSERT_TRUE(code(highest, fs)) << fs;
      EXPECT_GE(*code(highest, fs), 4090) << fs;
      EXPECT_EQ(code(highest + 0.1, fs), std::nullopt) << fs;
    }
    EXPECT_EQ(AvcAttackCode(-0.5, fs), std::nullopt);  // would truncate to 0 at 96 kHz
    EXPECT_EQ(AvcDecayCode(kHuge, fs), std::nullopt);
  }
  EXPECT_DOUBLE_EQ(AvcAttackHighest(48000), 3269.9);
  EXPECT_DOUBLE_EQ(AvcDecayHighest(48000), 203.6);
  // Before Config Clock there is no sample rate: the formula would divide by zero.
  EXPECT_EQ(AvcAttackCode(32, 0.0), std::nullopt);
  EXPECT_EQ(AvcDecayCode(4, 0.0), std::nullopt);
}

}  // namespace
}  // namespace tonvisor
