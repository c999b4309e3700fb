#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "codec/codec_fixture.h"
#include "sim/board_server.h"

namespace tonvisor {
namespace {

using testing::CodecOnChip;
using Lines = std::vector<std::string>;

constexpr std::uint16_t kDacVol = 0x0010;
constexpr std::uint16_t kHpCtrl = 0x0022;
constexpr std::uint16_t kAnaCtrl = 0x0024;

using DacVolume = CodecOnChip;

TEST_F(DacVolume, EverySliderPositionGivesTheCodeTheBoardsExpect) {
  for (int p = 0; p <= 191; ++p) {
    const double dB = (p - 191) * 0.5017;
    const bool landsJustBelow = p == 16 || p == 17 || p == 18 || (p >= 47 && p <= 50);
    const int code = (landsJustBelow ? 250 : 251) - p;
    EXPECT_EQ(codec.ConfigureDacVolume(dB).status, status::kOk);
    EXPECT_EQ(chip.read(kDacVol), code << 8 | code) << "position " << p;
  }
  // Typed in, -87.7975 dB is position 16.
  codec.ConfigureDacVolume(-87.7975);
  EXPECT_EQ(chip.read(kDacVol), 0xEAEA);
}

TEST_F(DacVolume, LevelsPastEitherEndOfTheDacsRangeAreRefusedAndTouchNothing) {
  // -100 dB and -98.4 dB (codes 0x103 and 0x100) would wrap to loud codes, +40 dB is far above
  // 0 dB; +0.01 dB and -96.35 dB are the first codes past each end (0x3B and 0xFC).
  for (double dB : {-100.0, -98.4, 40.0, 0.01, -96.35}) {
    EXPECT_EQ(codec.ConfigureDacVolume(dB).status, status::kInvalidArgument) << dB;
  }
  EXPECT_EQ(chip.writeCount(), 0u);
  EXPECT_EQ(link.writeLog().count(), 0u);

  // Both ends, reached by truncation from inside.
  const std::pair<double, std::uint16_t> inRange[] = {
      {0.0, 0x3C3C}, {-0.5, 0x3C3C}, {-95.8247, 0xFBFB}, {-96.3, 0xFBFB}};
  for (const auto& [dB, value] : inRange) {
    EXPECT_EQ(codec.ConfigureDacVolume(dB).status, status::kOk) << dB;
    EXPECT_EQ(chip.read(kDacVol), value) << dB;
  }
}

using FieldOperations = CodecOnChip;

TEST_F(FieldOperations, ArgumentsThatNameNoRegisterValueTouchNothing) {
  for (double dB : {std::nan(""), std::numeric_limits<double>::infinity(), -1e300, 2e9}) {
    EXPECT_EQ(codec.ConfigureDacVolume(dB).status, status::kInvalidArgument) << dB;
  }
  for (int band : {-1, 5}) EXPECT_EQ(codec.WriteGeqVolume(band, 3).status, status::kInvalidArgument) << band;
  // A headphone ramp's target past the 7-bit field: 0x80 is code 0 with bit 7 set, from the
  // quietest code one step to +12 dB.
  chip.write(kHpCtrl, 0x7F7F);
  for (int target : {0x80, 0xFF, 0x7F7F, -1}) {
    EXPECT_EQ(codec.RampHpVolume(target).status, status::kInvalidArgument) << target;
  }
  EXPECT_EQ(chip.writeCount(), 1u);
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(FieldOperations, OversizedArgumentsChangeOnlyTheirFieldAndPairsFollowBitZero) {
  struct Case {
    AccessResult (CodecOperations::*operation)(int);
    int argument;
    std::uint16_t address, before, after;
  };
  using C = CodecOperations;
  const Case cases[] = {
      {&C::WriteHpRightVolume, 0x1FF, 0x0022, 0xA5A5, 0xFFA5},
      {&C::ConfigureSampleRate, 2, 0x0004, 0x0003, 0x000B},
      {&C::WriteBassMult, 5, 0x0104, 0xFFFF, 0x7FFF},  // 5 << 14 leaves 0b01 in bits 15:14
      {&C::WriteBassHpfCutoff, 0, 0x0104, 0x7FFF, 0x71FF},
      {&C::WriteSurroundWidth, 0xF7, 0x010A, 0x0003, 0x0073},
      {&C::WriteAvcMaxGain, 2, 0x0124, 0x0101, 0x2101},
      {&C::WriteBassLrLevel, 0, 0x0106, 0xFFFF, 0xC0FF},
      {&C::WriteGeq0Volume, 0x1FF, 0x0116, 0x0000, 0x007F},
      {&C::WriteAvcThreshold, 0x11234, 0x0126, 0xFFFF, 0x1234},  // all 16 bits
      {&C::InitializePllPower, 1, 0x0030, 0x0000, 0x0500},
      {&C::InitializePllPower, 2, 0x0030, 0x0500, 0x0000},  // bit 0 clear: both switches off
      {&C::InitializePllPower, 0, 0x0030, 0xFFFF, 0xFAFF},
      {&C::InitializePllPower, 3, 0x0030, 0xFAFF, 0xFFFF},
      {&C::WriteDacMute, 1, 0x000E, 0x0200, 0x020C},
      {&C::WriteDacMute, -2, 0x000E, 0x020C, 0x0200},
  };
  for (const Case& c : cases) {
    chip.write(c.address, c.before);
    EXPECT_EQ((codec.*c.operation)(c.argument).status, status::kOk);
    EXPECT_EQ(chip.read(c.address), c.after) << std::hex << "register " << c.address << ", argument " << c.argument;
  }
}

TEST_F(FieldOperations, LogTheirCommentThenTheMergedWrite) {
  chip.write(0x0104, 0x1234);
  codec.WriteBassMult(3);
  codec.ConfigureI2sDout(3);
  codec.SelectHpInput(1);
  codec.WriteGeqVolume(4, 0x2F);
  codec.WriteDapMainVolume(0x18000);   // a full write keeps the low 16 bits
  codec.ConfigurePllDivisor(6, 2048);  // neither part masked: the fraction spills, reads as 7
  EXPECT_EQ(log(), (Lines{"   \n", "# Write Bass Enhance Mult Settings\n", "W 0104 D234",
                          "   \n", "# Configure I2S DOUT \n", "W 000A 0003",
                          "   \n", "# Select input to HP \n", "W 0024 0040",
                          "   \n", "# Write GEQ4 Volume\n", "W 011E 002F",
                          "   \n", "# Writing DAP Main Volume\n", "W 0120 8000",
                          "   \n", "# Configure PLL divisor\n", "W 0032 3800"}));
}

TEST_F(FieldOperations, OverSpiModifiesAreRefusedAndFullWritesGoThrough) {
  useSpi();
  EXPECT_EQ(codec.WriteBassMult(3).status, status::kOk);
  EXPECT_EQ(codec.WriteAvcThreshold(0x0042).status, status::kOk);  // all 16 bits, yet it reads first
  EXPECT_EQ(codec.ConfigureDacVolume(-1.0).status, status::kOk);
  EXPECT_EQ(codec.WriteNumPeqFilters(7).status, status::kOk);
  EXPECT_EQ(chip.writeCount(), 2u);
  EXPECT_EQ(messages.texts(), Lines(2, " Modify Register Not Supported"));
  EXPECT_EQ(log(), (Lines{"   \n", "# Write Bass Enhance Mult Settings\n", "   \n", "# Write AVC Threshold\n",
                          "   \n", "# Configure DAC Volume\n", "W 0010 3D3D",
                          "   \n", "# Write Num PEQ Filters\n", "W 0102 0007"}));
}

using HeadphoneRamp = CodecOnChip;

TEST_F(HeadphoneRamp, StepsOneCodeAtATimeAndLogsOnlyItsComment) {
  chip.write(kHpCtrl, 0x3E3E);
  codec.RampHpVolume(0x40);
  EXPECT_EQ(bridge.i2cWrites, (Lines{"0022 3F3F", "0022 4040"}));
  EXPECT_EQ(log(), (Lines{"   \n", "# Ramping HP Volume...\n"}));
  EXPECT_EQ(link.settings().logRegisterWrites, 1);

  // Down again, from the left channel's code; the right channel follows at the first step.
  // Bit 7 is not part of the code: stepping from 0xC2 would sweep through 0x80 (+12 dB).
  for (const std::uint16_t present : {0x7742, 0x77C2}) {
    bridge.i2cWrites.clear();
    chip.write(kHpCtrl, present);
    codec.RampHpVolume(0x40);
    EXPECT_EQ(bridge.i2cWrites, (Lines{"0022 4141", "0022 4040"})) << present;
  }
}

TEST_F(HeadphoneRamp, DoesNothingAtItsTargetOrWithoutAValueRead) {
  chip.write(kHpCtrl, 0x1240);
  codec.RampHpVolume(0x40);  // only the left channel's code is compared with the target
  // SPI cannot read; over Ethernet the one read reaches no board (no address is set).
  for (const char* type : {"SPI", "Ethernet"}) {
    link.settings().connectionType = type;
    codec.RampHpVolume(0x40);
  }
  EXPECT_EQ(chip.writeCount(), 1u);
  EXPECT_EQ(link.writeLog().count(), 0u);
  EXPECT_EQ(messages.texts(), (Lines{" Read Register Not Supported", "Connecting to socket Failed"}));
  EXPECT_EQ(link.settings().logRegisterWrites, 1);
}

using HeadphoneMute = CodecOnChip;

// The writes of a ramp between two codes: one code a step, both channels alike.
Lines RampWrites(int from, int to) {
  Lines writes;
  for (int code = from; code != to;) {
    code += from < to ? 1 : -1;
    char line[16];
    std::snprintf(line, sizeof line, "0022 %02X%02X", code, code);
    writes.emplace_back(line);
  }
  return writes;
}

Lines Joined(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(HeadphoneMute, MuteRampsDownAndUnmuteComesBack) {
  chip.write(kHpCtrl, 0x1818);
  codec.WriteHpMute(1);
  EXPECT_EQ(bridge.i2cWrites, Joined({RampWrites(0x18, 0x7F), {"0024 0010"}}));
  EXPECT_EQ(log(), (Lines{"   \n", "# Ramping HP Volume...\n", "   \n", "# Mute HP Out\n", "W 0024 0010"}));
  EXPECT_EQ(codec.SavedHpVolume(), 0x1818);

  bridge.i2cWrites.clear();
  link.writeLog().clear();
  codec.WriteHpMute(0);
  EXPECT_EQ(bridge.i2cWrites, Joined({{"0024 0000"}, RampWrites(0x7F, 0x18)}));
  EXPECT_EQ(log(), (Lines{"   \n", "# Unmute HP Out\n", "W 0024 0000", "   \n", "# Ramping HP Volume...\n"}));
}

// Whatever the register holds while muted (a volume chosen on the page is ramped on the chip
// at once), the mute clears only over the quietest code in both channels, and the volume then
// ramps up to the one saved or chosen; with nothing saved, to the one found.
TEST_F(HeadphoneMute, UnmutesOnlyOverTheQuietestCode) {
  struct Case {
    const char* what;
    bool muteFirst;
    std::uint16_t whileMuted;
    Lines writes;
  };
  const Case cases[] = {
      {"volume chosen while muted", true, 0x0000,
       Joined({RampWrites(0x00, 0x7F), {"0024 0000"}, RampWrites(0x7F, 0x00)})},
      {"right channel louder", true, 0x207F, Joined({{"0022 7F7F", "0024 0000"}, RampWrites(0x7F, 0x00)})},
      {"nothing saved in this run", false, 0x6060,
       Joined({RampWrites(0x60, 0x7F), {"0024 0000"}, RampWrites(0x7F, 0x60)})},
  };
  for (const Case& c : cases) {
    CodecOperations fresh(link);
    chip.write(kHpCtrl, 0x1818);
    if (c.muteFirst) {
      fresh.WriteHpMute(1);
      fresh.RampHpVolume(c.whileMuted & 0x7F);  // what the Outputs page does while muted
      fresh.SetSavedHpVolume(0x0000);
    } else {
      chip.write(kAnaCtrl, 0x0010);
    }
    chip.write(kHpCtrl, c.whileMuted);
    bridge.i2cWrites.clear();
    link.writeLog().clear();
    EXPECT_TRUE(fresh.WriteHpMute(0).allWentThrough()) << c.what;
    EXPECT_EQ(bridge.i2cWrites, c.writes) << c.what;
    EXPECT_EQ(chip.read(kAnaCtrl) & 0x0010, 0) << c.what;
    EXPECT_EQ(log(), (Lines{"   \n", "# Ramping HP Volume...\n", "   \n", "# Unmute HP Out\n", "W 0024 0000", "   \n",
                            "# Ramping HP Volume...\n"}))
        << c.what;
  }
}

TEST_F(HeadphoneMute, StaysMutedWhenTheVolumeCannotBeBroughtDown) {
  chip.write(kHpCtrl, 0x0000);
  chip.write(kAnaCtrl, 0x0010);
  bridge.failWrites = 1;  // the first step down
  EXPECT_FALSE(codec.WriteHpMute(0).allWentThrough());
  useSpi();  // no value read: nothing known about the volume
  codec.WriteHpMute(0);
  EXPECT_EQ(chip.read(kAnaCtrl), 0x0010);
}

TEST_F(HeadphoneMute, OnlyOneMeansMute) {
  chip.write(kHpCtrl, 0x2020);
  codec.WriteHpMute(0x10001);  // compared as 16 bits: 1
  EXPECT_EQ(codec.SavedHpVolume(), 0x2020);
  EXPECT_EQ(chip.read(kAnaCtrl) & 0x0010, 0x0010);
  codec.WriteHpMute(2);  // unmute, and bit 4 takes bit 0 of the flag
  EXPECT_EQ(chip.read(kAnaCtrl) & 0x0010, 0x0000);
  EXPECT_EQ(chip.read(kHpCtrl), 0x2020);
}

TEST_F(HeadphoneMute, WithoutAValueReadTheSavedVolumeStaysAndNothingRamps) {
  chip.write(kHpCtrl, 0x3030);
  codec.WriteHpMute(1);
  useSpi();  // reads deliver nothing
  chip.write(kHpCtrl, 0x2020);
  link.writeLog().clear();
  const std::uint64_t writes = chip.writeCount();
  codec.WriteHpMute(1);
  EXPECT_EQ(codec.SavedHpVolume(), 0x3030);
  EXPECT_EQ(chip.writeCount(), writes);
  EXPECT_EQ(log(), (Lines{"   \n", "# Mute HP Out\n"}));
}

using DapEnable = CodecOnChip;

TEST_F(DapEnable, MutesTheDacAroundTheSwitch) {
  EXPECT_EQ(codec.WriteDapEnable(1).status, status::kOk);
  EXPECT_EQ(log(), (Lines{"   \n", "# Writing DAP enable and disable\n", "   \n", "# Write DAC mute/unmute\n",
                          "W 000E 000C", "W 0100 0001", "   \n", "# Write DAC mute/unmute\n", "W 000E 0000"}));
}

TEST_F(DapEnable, KeepingTheDacMutedSendsNoUnmute) {
  EXPECT_EQ(codec.WriteDapEnableKeepingDacMuted(1).status, status::kOk);
  EXPECT_EQ(log(), (Lines{"   \n", "# Writing DAP enable and disable\n", "   \n", "# Write DAC mute/unmute\n",
                          "W 000E 000C", "W 0100 0001"}));
}

TEST_F(DapEnable, AFailedMuteLeavesTheProcessorAloneButStillUnmutesAndSaysSo) {
  bridge.failWrites = 1;
  EXPECT_EQ(codec.WriteDapEnable(1).status, status::kI2cWriteFailed);
  EXPECT_EQ(bridge.i2cWrites, (Lines{"000E 000C failed", "000E 0000"}));
  EXPECT_EQ(log(), (Lines{"   \n", "# Writing DAP enable and disable\n", "   \n", "# Write DAC mute/unmute\n",
                          "W 000E 000C", "   \n", "# Write DAC mute/unmute\n", "W 000E 0000"}));
}

// Over SPI (no read-modify-write) and over Ethernet (a board that is not there) the mute fails
// with status 0: the processor must still be left alone rather than switched unmuted.
TEST_F(DapEnable, AMuteThatFailedWithStatusZeroLeavesTheProcessorAlone) {
  BoardServer gone{chip};
  ASSERT_FALSE(gone.start());
  const std::uint16_t port = gone.port();
  gone.stop();
  for (const char* type : {"SPI", "Ethernet"}) {
    link.settings().connectionType = type;
    link.settings().ethernetAddress = "127.0.0.1";
    link.settings().ethernetPort = port;
    if (std::string(type) == "SPI") {
      ASSERT_EQ(link.spi().SpiOpen(), status::kOk);
    }
    const AccessTally tally = codec.WriteDapEnable(1);
    EXPECT_EQ(tally.accesses, 2u) << type;  // the mute and the unmute, no switch between them
    EXPECT_EQ(tally.failed, 2u) << type;
  }
}

}  // namespace
}  // namespace tonvisor
