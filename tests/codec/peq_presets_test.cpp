#include <gtest/gtest.h>

#include "codec/codec_fixture.h"
#include "codec/peq_presets.h"

namespace tonvisor {
namespace {

using testing::CodecOnChip;
using Lines = std::vector<std::string>;

// Presets load over SPI too, where the log shows every write.
struct PeqPresets : CodecOnChip {
  PeqPresets() { useSpi(); }
};

TEST_F(PeqPresets, FlatPutsUnityGainInEveryBand) {
  LoadPeqPreset(link, PeqPreset::Flat);
  Lines expected;
  for (int band = 0; band < 7; ++band) {
    expected.push_back("   \n");
    expected.push_back("# Write Coeffs for Band " + std::to_string(band) + "\n");
    for (const char* write : {"W 0110 0000", "W 010E 4000", "W 012E 0000", "W 012C 0000", "W 0132 0000",
                              "W 0130 0000", "W 0136 0000", "W 0134 0000", "W 013A 0000", "W 0138 0000"}) {
      expected.push_back(write);
    }
    expected.push_back("W 010C 010" + std::to_string(band));
  }
  expected.push_back("   \n");
  EXPECT_EQ(log(), expected);
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(PeqPresets, RockStartsAndEndsWithItsOwnCoefficients) {
  LoadPeqPreset(link, PeqPreset::Rock);
  const Lines all = log();
  ASSERT_EQ(all.size(), 92u);
  EXPECT_EQ(Lines(all.begin(), all.begin() + 6),
            (Lines{"   \n", "# Write Coeffs for Band 0\n", "W 0110 0005", "W 010E 401E", "W 012E 0005", "W 012C 81AC"}));
  EXPECT_EQ(Lines(all.end() - 6, all.end()),
            (Lines{"W 0136 0009", "W 0134 F14A", "W 013A 0007", "W 0138 FA2B", "W 010C 0106", "   \n"}));
}

TEST_F(PeqPresets, OnlyAcousticSetsTheBandCountAfterwards) {
  for (PeqPreset preset : {PeqPreset::Flat, PeqPreset::Rock, PeqPreset::Classical, PeqPreset::Dance}) {
    link.writeLog().clear();
    chip.write(0x0102, 7);
    LoadPeqPreset(link, preset);
    EXPECT_EQ(log().size(), 77u + 15u) << PeqPresetName(preset);
    EXPECT_EQ(chip.read(0x0102), 7) << PeqPresetName(preset);
  }
  link.writeLog().clear();
  LoadPeqPreset(link, PeqPreset::Acoustic);
  const Lines all = log();
  ASSERT_EQ(all.size(), 78u + 16u);
  EXPECT_EQ(Lines(all.end() - 4, all.end()), (Lines{"W 010C 0106", "   \n", "# Enable PEQ\n", "W 0102 0006"}));
}

TEST_F(PeqPresets, OnAFailingLinkEveryWriteIsStillAttempted) {
  link.settings().connectionType = "I2C";
  bridge.failWrites = 1000;
  LoadPeqPreset(link, PeqPreset::Acoustic);
  EXPECT_EQ(bridge.i2cWrites.size(), 78u);
}

TEST(PeqPresetNames, AreMatchedWithoutRegardToCase) {
  EXPECT_EQ(PeqPresetFromName("rock"), PeqPreset::Rock);
  EXPECT_EQ(PeqPresetFromName("ACOUSTIC"), PeqPreset::Acoustic);
  for (const char* name : {"", "Jazz", "Rock ", "Flatt"}) EXPECT_FALSE(PeqPresetFromName(name)) << name;
  EXPECT_EQ(PeqPresetName(PeqPreset::Dance), "Dance");
}

}  // namespace
}  // namespace tonvisor
