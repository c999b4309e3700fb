#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "tools/peq_design_file.h"
#include "tools/temp_files.h"

namespace tonvisor {
namespace {

using testing::FreshPath;
using testing::ReadFile;
using testing::WriteFile;

TEST(PeqDesignFile, ReadsTheFormRigsWrite) {
  std::string error;
  const auto file = ParsePeqDesign("# a line starting with # is a comment; blank lines are ignored\n"
                                   "rate 48000\n"
                                   "\n"
                                   "band 0 peaking 1000 6 1\r\n"
                                   "  band\t1 LowShelf 100 3 0.707\n"
                                   "band 6 highpass 30 0 0.707",
                                   error);
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->rateHz, 48000.0);
  EXPECT_EQ(file->design[0], (PeqBand{PeqBandType::Peaking, 1000.0, 6.0, 1.0}));
  EXPECT_EQ(file->design[1], (PeqBand{PeqBandType::LowShelf, 100.0, 3.0, 0.707}));
  EXPECT_EQ(file->design[6], (PeqBand{PeqBandType::HighPass, 30.0, 0.0, 0.707}));
  for (std::size_t b = 2; b < 6; ++b) EXPECT_EQ(file->design[b], PeqBand{});
  EXPECT_EQ(file->lines[6], 6u);

  const auto noRate = ParsePeqDesign("band 3 notch 50 0 10\n", error);
  ASSERT_TRUE(noRate) << error;
  EXPECT_FALSE(noRate->rateHz);
}

TEST(PeqDesignFile, RefusesWhatItCannotReadNamingTheLine) {
  const std::pair<const char*, const char*> refused[] = {
      {"rate 48000\nband 7 peaking 1000 6 1\n", "line 2: the band index must be 0 to 6, not \"7\""},
      {"band 0 peaking 1000 6\n", "line 1: a band line is \"band INDEX TYPE FREQUENCY_HZ GAIN_DB Q\""},
      {"band 0 shelf 1000 6 1\n", "line 1: \"shelf\" is no band type (flat peaking lowshelf highshelf lowpass highpass notch bandpass)"},
      {"band 0 peaking 1000,5 6 1\n", "line 1: the frequency must be a decimal number, not \"1000,5\""},
      {"band 0 peaking 1000 nan 1\n", "line 1: the gain must be a decimal number, not \"nan\""},
      {"band 0 peaking 1000 6 0\n", "line 1: Q must be above 0"},
      {"band 0 peaking 1000 6 -1\n", "line 1: Q must be above 0"},
      {"band 2 lowpass 1000 0 1\n\nband 2 highpass 20 0 1\n", "line 3: band 2 is already set on line 1"},
      {"rate 48000\nrate 44100\n", "line 2: the rate is already given on line 1"},
      {"rate fast\n", "line 1: a rate line is \"rate HZ\" with a decimal number"},
      {"rate 0\n", "line 1: the sample rate must be above 0 and at most 1000000 Hz"},
      // The frequency check waits for the rate wherever it stands.
      {"band 5 peaking 24000 3 1\nrate 48000\n", "line 1: the frequency must be above 0 Hz and below half the sample rate (24000 Hz)"},
      {"Band 0 peaking 1000 6 1\n", "line 1: \"Band\" is neither \"rate\" nor \"band\""},
  };
  for (const auto& [text, why] : refused) {
    std::string error;
    EXPECT_FALSE(ParsePeqDesign(text, error)) << text;
    EXPECT_EQ(error, why) << text;
  }
}

TEST(PeqDesignFile, TheRateIsTheFilesOrTheChipsAndNeverTwoThatDiffer) {
  PeqDesignFile withRate;
  withRate.rateHz = 44100.0;
  const PeqDesignFile without;
  EXPECT_EQ(ChoosePeqRate(withRate, std::nullopt).rateHz, 44100.0);
  EXPECT_EQ(ChoosePeqRate(withRate, 44100.0).rateHz, 44100.0);
  EXPECT_EQ(ChoosePeqRate(withRate, 48000.0).problem, PeqRateChoice::Problem::Conflict);
  EXPECT_EQ(ChoosePeqRate(without, 48000.0).rateHz, 48000.0);
  EXPECT_EQ(ChoosePeqRate(without, std::nullopt).problem, PeqRateChoice::Problem::Missing);
}

TEST(PeqDesignFile, ABandTheChipCannotHoldIsRefusedWithItsLine) {
  std::string error;
  const auto file = ParsePeqDesign("# loud\n\nband 4 highshelf 8000 12 0.707\n", error);
  ASSERT_TRUE(file) << error;
  const PeqTableResult at48k = DesignPeqFile(*file, 48000.0);
  EXPECT_FALSE(at48k.table);
  EXPECT_EQ(at48k.error.rfind("line 3: band 4 (highshelf): B0 would be ", 0), 0u) << at48k.error;
  // Without its own rate the frequency is checked against the chip's.
  EXPECT_EQ(DesignPeqFile(*file, 16000.0).error,
            "line 3: band 4 (highshelf): the frequency must be above 0 Hz and below half the sample rate (8000 Hz)");
}

TEST(PeqDesignFile, RoundTripsThroughAFileWrittenInOnePiece) {
  PeqDesign design{};
  design[0] = {PeqBandType::Peaking, 1234.5678, -3.25, 1.0 / 3.0};
  design[3] = {PeqBandType::BandPass, 0.1, 0.0, 1e-3};
  design[5] = {PeqBandType::Flat, 777.0, 1.5, 2.0};
  const std::string path = FreshPath("design.txt");
  WriteFile("design.txt", "old contents that must go entirely, and be longer than the new ones, much longer "
                          "than a design of seven bands could ever be, so that a file rewritten in place "
                          "without being shortened would show its tail after the new text ends .........\n");
  std::string error;
  ASSERT_TRUE(WritePeqDesignFile(path, design, 96000.0, error)) << error;
  const auto read = ReadPeqDesignFile(path, error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(read->design, design);
  EXPECT_EQ(read->rateHz, 96000.0);
  EXPECT_NE(ReadFile(path).find("\nband 0 peaking 1234.5678 -3.25 0.3333333333333333\n"), std::string::npos);
  // No temporary file is left beside it, and it is readable as any other file.
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
    EXPECT_NE(entry.path().string().rfind(path + ".", 0), 0u) << entry.path();
  }
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IRUSR, 0u);

  ASSERT_TRUE(WritePeqDesignFile(path, design, std::nullopt, error)) << error;
  EXPECT_FALSE(ReadPeqDesignFile(path, error)->rateHz);
}

TEST(PeqDesignFile, FilesThatCannotBeReadOrWrittenSaySo) {
  std::string error;
  EXPECT_FALSE(ReadPeqDesignFile(FreshPath("missing.txt"), error));
  EXPECT_EQ(error, "cannot open " + FreshPath("missing.txt"));
  const std::string bad = WriteFile("bad.txt", "rate 48000\nband 0 peaking\n");
  EXPECT_FALSE(ReadPeqDesignFile(bad, error));
  EXPECT_EQ(error, bad + ", line 2: a band line is \"band INDEX TYPE FREQUENCY_HZ GAIN_DB Q\"");
  EXPECT_FALSE(WritePeqDesignFile(FreshPath("no-such-folder") + "/design.txt", PeqDesign{}, std::nullopt, error));
  EXPECT_EQ(error.rfind("cannot write ", 0), 0u) << error;
}

}  // namespace
}  // namespace tonvisor
