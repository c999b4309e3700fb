#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "codec/codec_fixture.h"
#include "codec/peq_design.h"

namespace tonvisor {
namespace {

using testing::CodecOnChip;
using Lines = std::vector<std::string>;

// The table's words read by hand: 20 bits, two's complement, 18 fraction bits.
double wordValue(PeqCoefficientWords words) {
  long bits = (static_cast<long>(words.msb) << 4) | words.lsb;
  if (bits & 0x80000) bits -= 0x100000;
  return std::ldexp(static_cast<double>(bits), -18);
}

// |H| straight from the transfer function, y = b.x + a1 y[n-1] + a2 y[n-2], in complex
// arithmetic: a second evaluation that shares nothing with the one under test.
double directDb(const PeqBandTable& table, double hz, double rate) {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / rate);
  std::complex<double> h = 1.0;
  for (const PeqBandWords& band : table) {
    const std::complex<double> zeros = wordValue(band[0]) + wordValue(band[1]) * z1 + wordValue(band[2]) * z1 * z1;
    const std::complex<double> poles = 1.0 - wordValue(band[3]) * z1 - wordValue(band[4]) * z1 * z1;
    h *= zeros / poles;
  }
  return 20.0 * std::log10(std::abs(h));
}

std::vector<Biquad> decoded(const PeqBandTable& table) {
  std::vector<Biquad> bands;
  for (const PeqBandWords& band : table) bands.push_back(DecodePeqBand(band));
  return bands;
}

TEST(PeqDesign, PresetsDecodeToStableBandsWhoseResponseMatchesTheTable) {
  EXPECT_EQ(DecodePeqBand(PeqPresetTable(PeqPreset::Flat)[0]).b0, 1.0);
  for (PeqPreset preset : {PeqPreset::Rock, PeqPreset::Classical, PeqPreset::Dance, PeqPreset::Acoustic}) {
    const PeqBandTable& table = PeqPresetTable(preset);
    const std::vector<Biquad> bands = decoded(table);
    for (const Biquad& band : bands) {
      // Poles of z^2 - a1 z - a2 inside the unit circle.
      EXPECT_LT(std::abs(band.a2), 1.0) << PeqPresetName(preset);
      EXPECT_LT(std::abs(band.a1), 1.0 - band.a2) << PeqPresetName(preset);
    }
    for (double hz : PeqTwelfthOctaveFrequencies(48000.0)) {
      EXPECT_NEAR(PeqResponseDb(bands, hz, 48000.0), directDb(table, hz, 48000.0), 0.01)
          << PeqPresetName(preset) << " at " << hz;
    }
  }
}

TEST(PeqDesign, APeakingBandQuantisesWithinOneStepAndPeaksAtItsGain) {
  const PeqBand peak{PeqBandType::Peaking, 1000.0, 6.0, 1.0};
  const Biquad exact = DesignBiquad(peak, 48000.0);
  PeqDesign design{};
  design[2] = peak;
  const PeqTableResult result = DesignPeqTable(design, 48000.0);
  ASSERT_TRUE(result.table) << result.error;
  const Biquad chip = DecodePeqBand((*result.table)[2]);
  const double step = std::ldexp(1.0, -18);
  for (auto [got, want] : {std::pair{chip.b0, exact.b0}, {chip.b1, exact.b1}, {chip.b2, exact.b2},
                           {chip.a1, exact.a1}, {chip.a2, exact.a2}}) {
    EXPECT_LE(std::abs(got - want), step / 2.0);
  }
  const std::vector<Biquad> bands = decoded(*result.table);
  EXPECT_NEAR(PeqResponseDb(bands, 1000.0, 48000.0), 6.0, 0.02);
  EXPECT_LT(PeqResponseDb(bands, 900.0, 48000.0), PeqResponseDb(bands, 1000.0, 48000.0));
  EXPECT_LT(PeqResponseDb(bands, 1100.0, 48000.0), PeqResponseDb(bands, 1000.0, 48000.0));
  EXPECT_NEAR(PeqResponseDb(bands, 20.0, 48000.0), 0.0, 0.05);
}

// Each type where its shape is known, as the chip will run it.
TEST(PeqDesign, EachTypeHasItsShapeAfterQuantisation) {
  struct Case {
    PeqBand band;
    double hz;
    double db;
  };
  const Case cases[] = {
      {{PeqBandType::LowShelf, 1000.0, 4.0, 0.707}, 20.0, 4.0},
      {{PeqBandType::LowShelf, 200.0, 4.0, 0.707}, 10000.0, 0.0},
      {{PeqBandType::HighShelf, 4000.0, -5.0, 0.707}, 23000.0, -5.0},
      {{PeqBandType::HighShelf, 4000.0, -5.0, 0.707}, 30.0, 0.0},
      {{PeqBandType::LowPass, 2000.0, 0.0, 2.0}, 2000.0, 20.0 * std::log10(2.0)},
      {{PeqBandType::LowPass, 2000.0, 0.0, 0.707}, 20.0, 0.0},
      {{PeqBandType::HighPass, 1000.0, 0.0, 0.707}, 1000.0, -3.01},
      {{PeqBandType::HighPass, 100.0, 0.0, 0.707}, 10000.0, 0.0},
      {{PeqBandType::BandPass, 3000.0, 0.0, 2.0}, 3000.0, 0.0},
      {{PeqBandType::Flat, 3000.0, 9.0, 2.0}, 3000.0, 0.0},
  };
  for (const Case& c : cases) {
    PeqDesign design{};
    design[0] = c.band;
    const PeqTableResult result = DesignPeqTable(design, 48000.0);
    ASSERT_TRUE(result.table) << result.error;
    EXPECT_NEAR(PeqResponseDb(decoded(*result.table), c.hz, 48000.0), c.db, 0.05)
        << PeqBandTypeName(c.band.type) << " at " << c.hz;
  }
  PeqDesign notch{};
  notch[0] = {PeqBandType::Notch, 1000.0, 0.0, 4.0};
  EXPECT_LT(PeqResponseDb(decoded(*DesignPeqTable(notch, 48000.0).table), 1000.0, 48000.0), -40.0);
}

TEST(PeqDesign, CoefficientsBeyondTheChipsRangeAreRefusedNeverWrapped) {
  EXPECT_EQ(QuantisePeqCoefficient(1.0), (PeqCoefficientWords{0x4000, 0x0}));
  EXPECT_EQ(QuantisePeqCoefficient(-2.0), (PeqCoefficientWords{0x8000, 0x0}));
  EXPECT_EQ(QuantisePeqCoefficient(-std::ldexp(1.0, -18)), (PeqCoefficientWords{0xFFFF, 0xF}));
  EXPECT_EQ(QuantisePeqCoefficient(2.0 - std::ldexp(1.0, -18)), (PeqCoefficientWords{0x7FFF, 0xF}));
  for (double beyond : {2.0, 2.0 - std::ldexp(1.0, -20), -2.0 - std::ldexp(1.0, -18), std::nan(""), HUGE_VAL}) {
    EXPECT_FALSE(QuantisePeqCoefficient(beyond)) << beyond;
  }

  PeqDesign design{};
  design[4] = {PeqBandType::HighShelf, 8000.0, 12.0, 0.707};
  const PeqTableResult shelf = DesignPeqTable(design, 48000.0);
  EXPECT_FALSE(shelf.table);
  EXPECT_EQ(shelf.band, 4u);
  EXPECT_EQ(shelf.error.rfind("band 4 (highshelf): B0 would be 2.465", 0), 0u) << shelf.error;
  EXPECT_NE(shelf.error.find("beyond the chip's range of -2 to 2"), std::string::npos);
}

TEST(PeqDesign, BandsThatNoFilterCanMakeAreRefusedWithTheReason) {
  const std::pair<PeqBand, const char*> refused[] = {
      {{PeqBandType::Peaking, 24000.0, 3.0, 1.0}, "the frequency must be above 0 Hz and below half the sample rate (24000 Hz)"},
      {{PeqBandType::Notch, 0.0, 0.0, 1.0}, "the frequency must be above 0 Hz and below half the sample rate (24000 Hz)"},
      {{PeqBandType::LowPass, 1000.0, 0.0, 0.0}, "Q must be above 0"},
      {{PeqBandType::LowPass, 1000.0, 0.0, -1.0}, "Q must be above 0"},
  };
  for (const auto& [band, why] : refused) EXPECT_EQ(CheckPeqBand(band, 48000.0), why);
  EXPECT_EQ(CheckPeqBand({PeqBandType::Flat, 1e9, 0.0, -5.0}, 48000.0), "");
  EXPECT_NE(CheckPeqBand({}, 0.0), "");
}

TEST(PeqDesign, TwelfthOctavesRunFromTwentyHertzToHalfTheRate) {
  const std::vector<double> hz = PeqTwelfthOctaveFrequencies(48000.0);
  ASSERT_FALSE(hz.empty());
  EXPECT_EQ(hz.front(), 20.0);
  EXPECT_NEAR(hz[12], 40.0, 1e-9);
  EXPECT_LE(hz.back(), 24000.0);
  EXPECT_GT(hz.back() * std::exp2(1.0 / 12.0), 24000.0);
  EXPECT_TRUE(PeqTwelfthOctaveFrequencies(0.0).empty());
}

// A design loads as a preset does, behind its own comment, over SPI where every write is logged.
struct PeqDesignLoad : CodecOnChip {
  PeqDesignLoad() { useSpi(); }
};

TEST_F(PeqDesignLoad, WritesTheFilterCountThenEveryBandAsAPresetDoes) {
  PeqDesign design{};
  design[1] = {PeqBandType::Peaking, 1000.0, 6.0, 1.0};
  const PeqBandTable table = *DesignPeqTable(design, 48000.0).table;
  const AccessTally tally = LoadPeqDesign(codec, "bright\nWrite 0x0024 0x0000", table);
  const Lines all = log();
  ASSERT_EQ(all.size(), 2u + 3u + 77u + 15u);
  EXPECT_EQ(Lines(all.begin(), all.begin() + 2), (Lines{"   \n", "# Load PEQ Design bright?Write 0x0024 0x0000\n"}));
  EXPECT_EQ(all[4], "W 0102 0007");

  // The rest is the preset writer's sequence with the design's words.
  link.writeLog().clear();
  WritePeqBands(link, table);
  EXPECT_EQ(Lines(all.begin() + 5, all.end()), log());
  EXPECT_EQ(chip.read(0x0102), 7);
  EXPECT_EQ(tally.accesses, 78u);
  EXPECT_TRUE(tally.allWentThrough());
}

}  // namespace
}  // namespace tonvisor
