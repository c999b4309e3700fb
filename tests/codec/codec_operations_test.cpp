#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <limits>

#include "codec/codec_fixture.h"
#include "support/recording_bridge.h"

namespace tonvisor {
namespace {

using testing::CodecOnChip;
using testing::LogLines;
using testing::RecordingBridge;
using testing::RecordingMessenger;
using Lines = std::vector<std::string>;

constexpr std::uint16_t kDacVol = 0x0010;
constexpr std::uint16_t kAdcDac = 0x000E;
constexpr std::uint16_t kHpCtrl = 0x0022;
constexpr std::uint16_t kAnaCtrl = 0x0024;

using DacVolume = CodecOnChip;

TEST_F(DacVolume, EverySliderPositionGivesTheCodeTheBoardsExpect) {
  for (int p = 0; p <= 191; ++p) {
    const double dB = (p - 191) * 0.5017;
    const bool landsJustBelow = p == 16 || p == 17 || p == 18 || (p >= 47 && p <= 50);
    const int code = (landsJustBelow ? 250 : 251) - p;
    EXPECT_EQ(codec.ConfigureDacVolume(dB), status::kOk);
    EXPECT_EQ(chip.read(kDacVol), code << 8 | code) << "position " << p;
  }
}

TEST_F(DacVolume, WorkedLevelsAndTheLogOfOneCall) {
  const std::pair<double, std::uint16_t> worked[] = {{0.0, 0x3C3C},     {-0.5, 0x3C3C},      {-1.0, 0x3D3D},
                                                     {-90.0, 0xEFEF},   {-95.8247, 0xFBFB},  {-87.7975, 0xEAEA}};
  for (const auto& [dB, value] : worked) {
    codec.ConfigureDacVolume(dB);
    EXPECT_EQ(chip.read(kDacVol), value) << dB << " dB";
  }
  link.writeLog().clear();
  codec.ConfigureDacVolume(-0.5017);
  EXPECT_EQ(log(), (Lines{"   \n", "# Configure DAC Volume\n", "W 0010 3D3D"}));
}

TEST_F(DacVolume, LevelsWithoutACodeTouchNothing) {
  chip.write(kDacVol, 0x3C3C);
  const std::uint64_t writes = chip.writeCount();
  for (double dB : {std::nan(""), std::numeric_limits<double>::infinity(), -1e300, 2e9}) {
    EXPECT_EQ(codec.ConfigureDacVolume(dB), status::kInvalidArgument) << dB;
  }
  EXPECT_EQ(chip.writeCount(), writes);
  EXPECT_EQ(link.writeLog().count(), 0u);
}

using FieldOperations = CodecOnChip;

TEST_F(FieldOperations, OversizedArgumentsChangeOnlyTheirField) {
  chip.write(kHpCtrl, 0xA5A5);
  codec.WriteHpRightVolume(0x1FF);
  EXPECT_EQ(chip.read(kHpCtrl), 0xFFA5);

  chip.write(0x0004, 0x0003);
  codec.ConfigureSampleRate(2);
  EXPECT_EQ(chip.read(0x0004), 0x000B);

  chip.write(0x0104, 0xFFFF);
  codec.WriteBassMult(5);  // 5 << 14 leaves 0b01 in bits 15:14
  EXPECT_EQ(chip.read(0x0104), 0x7FFF);
  codec.WriteBassHpfCutoff(0);
  EXPECT_EQ(chip.read(0x0104), 0x71FF);

  chip.write(0x010A, 0x0003);
  codec.WriteSurroundWidth(0xF7);
  EXPECT_EQ(chip.read(0x010A), 0x0073);

  chip.write(0x0124, 0x0101);
  codec.WriteAvcMaxGain(2);
  EXPECT_EQ(chip.read(0x0124), 0x2101);

  chip.write(0x0106, 0xFFFF);
  codec.WriteBassLrLevel(0);
  EXPECT_EQ(chip.read(0x0106), 0xC0FF);
}

TEST_F(FieldOperations, LogTheirCommentThenTheMergedWrite) {
  chip.write(0x0104, 0x1234);
  EXPECT_EQ(codec.WriteBassMult(3), status::kOk);
  chip.write(0x000A, 0x0000);
  codec.ConfigureI2sDout(3);
  codec.SelectHpInput(1);
  codec.WriteGeqVolume(4, 0x2F);
  codec.WriteDapMainVolume(0x18000);  // a full write keeps the low 16 bits
  EXPECT_EQ(log(), (Lines{"   \n", "# Write Bass Enhance Mult Settings\n", "W 0104 D234",
                          "   \n", "# Configure I2S DOUT \n", "W 000A 0003",
                          "   \n", "# Select input to HP \n", "W 0024 0040",
                          "   \n", "# Write GEQ4 Volume\n", "W 011E 002F",
                          "   \n", "# Writing DAP Main Volume\n", "W 0120 8000"}));
}

TEST_F(FieldOperations, AThresholdReplacesAllSixteenBitsYetReadsFirst) {
  chip.write(0x0126, 0xFFFF);
  EXPECT_EQ(codec.WriteAvcThreshold(0x11234), status::kOk);
  EXPECT_EQ(chip.read(0x0126), 0x1234);

  useSpi();
  messages.clear();
  link.writeLog().clear();
  const std::uint64_t writes = chip.writeCount();
  EXPECT_EQ(codec.WriteAvcThreshold(0x0042), status::kOk);
  EXPECT_EQ(messages.texts(), (Lines{" Modify Register Not Supported"}));
  EXPECT_EQ(log(), (Lines{"   \n", "# Write AVC Threshold\n"}));
  EXPECT_EQ(chip.writeCount(), writes);
}

TEST_F(FieldOperations, PairedBitsFollowBitZeroOfTheArgument) {
  chip.write(0x0030, 0x0000);
  codec.InitializePllPower(1);
  EXPECT_EQ(chip.read(0x0030), 0x0500);
  codec.InitializePllPower(2);  // bit 0 clear: both switches off
  EXPECT_EQ(chip.read(0x0030), 0x0000);
  chip.write(0x0030, 0xFFFF);
  codec.InitializePllPower(0);
  EXPECT_EQ(chip.read(0x0030), 0xFAFF);
  codec.InitializePllPower(3);
  EXPECT_EQ(chip.read(0x0030), 0xFFFF);

  chip.write(kAdcDac, 0x0200);
  codec.WriteDacMute(1);
  EXPECT_EQ(chip.read(kAdcDac), 0x020C);
  codec.WriteDacMute(-2);
  EXPECT_EQ(chip.read(kAdcDac), 0x0200);
}

TEST_F(FieldOperations, AGraphicBandThatDoesNotExistTouchesNothing) {
  for (int band : {-1, 5}) EXPECT_EQ(codec.WriteGeqVolume(band, 3), status::kInvalidArgument);
  EXPECT_EQ(link.writeLog().count(), 0u);
  codec.WriteGeqVolume(0, 0x1FF);
  EXPECT_EQ(chip.read(0x0116), 0x007F);
}

TEST_F(FieldOperations, PllDivisorPacksBothPartsUnmasked) {
  EXPECT_EQ(codec.ConfigurePllDivisor(8, 786), status::kOk);
  EXPECT_EQ(codec.ConfigurePllDivisor(6, 2048), status::kOk);  // the fraction spills: reads as 7
  EXPECT_EQ(log(), (Lines{"   \n", "# Configure PLL divisor\n", "W 0032 4312", "   \n", "# Configure PLL divisor\n",
                          "W 0032 3800"}));
}

TEST_F(FieldOperations, OverSpiModifiesAreRefusedAndFullWritesGoThrough) {
  useSpi();
  chip.write(0x0104, 0x0000);
  EXPECT_EQ(codec.WriteBassMult(3), status::kOk);
  EXPECT_EQ(codec.ConfigureDacVolume(-1.0), status::kOk);
  EXPECT_EQ(codec.WriteNumPeqFilters(7), status::kOk);
  EXPECT_EQ(chip.read(0x0104), 0x0000);
  EXPECT_EQ(chip.read(kDacVol), 0x3D3D);
  EXPECT_EQ(chip.read(0x0102), 0x0007);
  EXPECT_EQ(messages.texts(), (Lines{" Modify Register Not Supported"}));
  EXPECT_EQ(log(), (Lines{"   \n", "# Write Bass Enhance Mult Settings\n", "   \n", "# Configure DAC Volume\n",
                          "W 0010 3D3D", "   \n", "# Write Num PEQ Filters\n", "W 0102 0007"}));
}

using HeadphoneRamp = CodecOnChip;

TEST_F(HeadphoneRamp, StepsOneCodeAtATimeAndLogsOnlyItsComment) {
  chip.write(kHpCtrl, 0x3E3E);
  codec.RampHpVolume(0x40);
  EXPECT_EQ(bridge.i2cWrites, (Lines{"0022 3F3F", "0022 4040"}));
  EXPECT_EQ(log(), (Lines{"   \n", "# Ramping HP Volume...\n"}));
  EXPECT_EQ(link.settings().logRegisterWrites, 1);

  // Down again, from the left channel's code; the right channel follows at the first step.
  bridge.i2cWrites.clear();
  chip.write(kHpCtrl, 0x7742);
  codec.RampHpVolume(0x1240);
  EXPECT_EQ(bridge.i2cWrites, (Lines{"0022 4141", "0022 4040"}));
}

TEST_F(HeadphoneRamp, AtTheTargetAlreadyItDoesNothing) {
  chip.write(kHpCtrl, 0x1240);
  codec.RampHpVolume(0x40);
  EXPECT_TRUE(bridge.i2cWrites.empty());
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(HeadphoneRamp, WithoutAValueReadItDoesNothing) {
  useSpi();
  chip.write(kHpCtrl, 0x7F7F);
  const std::uint64_t writes = chip.writeCount();
  codec.RampHpVolume(0x00);
  EXPECT_EQ(chip.writeCount(), writes);
  EXPECT_EQ(link.writeLog().count(), 0u);
  EXPECT_EQ(messages.texts(), (Lines{" Read Register Not Supported"}));
  EXPECT_EQ(link.settings().logRegisterWrites, 1);
}

TEST(HeadphoneRampOnAFailingLink, AFailedI2cReadDoesNothing) {
  RecordingBridge bridge;
  RecordingMessenger messages;
  DeviceLink link{bridge, messages};
  CodecOperations codec{link};
  bridge.setResult("i2c.read", 1);
  codec.RampHpVolume(0x40);
  EXPECT_TRUE(bridge.callsTo("i2c.write").empty());
  EXPECT_EQ(link.writeLog().count(), 0u);
}

// A loopback port that nothing listens on: bound once to learn a free number, then released.
std::uint16_t RefusingPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
  ::close(fd);
  return ntohs(address.sin_port);
}

TEST(HeadphoneRampOnAFailingLink, AFailedEthernetReadDoesNothing) {
  RecordingBridge bridge;
  RecordingMessenger messages;
  DeviceLink link{bridge, messages, EthernetOptions{std::chrono::milliseconds(500), {}, [](auto) {}}};
  CodecOperations codec{link};
  link.settings().connectionType = "Ethernet";
  link.settings().ethernetAddress = "127.0.0.1";
  link.settings().ethernetPort = RefusingPort();
  codec.RampHpVolume(0x40);
  EXPECT_EQ(messages.texts(), (Lines{"Connecting to socket Failed"}));  // the one read, told by the transport
  EXPECT_EQ(link.writeLog().count(), 0u);
  EXPECT_EQ(link.settings().logRegisterWrites, 1);
}

using HeadphoneMute = CodecOnChip;

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

TEST_F(HeadphoneMute, MuteRampsDownAndUnmuteComesBack) {
  chip.write(kHpCtrl, 0x1818);
  chip.write(kAnaCtrl, 0x0000);

  codec.WriteHpMute(1);
  Lines expected = RampWrites(0x18, 0x7F);
  ASSERT_EQ(expected.size(), 103u);
  expected.push_back("0024 0010");
  EXPECT_EQ(bridge.i2cWrites, expected);
  EXPECT_EQ(log(), (Lines{"   \n", "# Ramping HP Volume...\n", "   \n", "# Mute HP Out\n", "W 0024 0010"}));
  EXPECT_EQ(codec.SavedHpVolume(), 0x1818);
  EXPECT_EQ(chip.read(kHpCtrl), 0x7F7F);

  bridge.i2cWrites.clear();
  const std::size_t before = link.writeLog().count();
  codec.WriteHpMute(0);
  expected = Lines{"0024 0000"};
  for (const std::string& step : RampWrites(0x7F, 0x18)) expected.push_back(step);
  EXPECT_EQ(bridge.i2cWrites, expected);
  EXPECT_EQ(logFrom(before), (Lines{"   \n", "# Unmute HP Out\n", "W 0024 0000", "   \n", "# Ramping HP Volume...\n"}));
  EXPECT_EQ(chip.read(kHpCtrl), 0x1818);
  EXPECT_EQ(link.settings().logRegisterWrites, 1);
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

TEST(HeadphoneMuteOnAFailingLink, AFailedReadKeepsTheSavedVolumeAndSkipsTheRamp) {
  RecordingBridge bridge;
  RecordingMessenger messages;
  DeviceLink link{bridge, messages};
  CodecOperations codec{link};
  bridge.i2cReadBytes[0] = bridge.i2cReadBytes[1] = 0x30;
  codec.WriteHpMute(1);
  ASSERT_EQ(codec.SavedHpVolume(), 0x3030);

  bridge.calls.clear();
  link.writeLog().clear();
  bridge.setResult("i2c.read", 1);
  codec.WriteHpMute(1);
  EXPECT_EQ(codec.SavedHpVolume(), 0x3030);
  EXPECT_TRUE(bridge.callsTo("i2c.write").empty());
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "# Mute HP Out\n"}));
}

using DapEnable = CodecOnChip;

TEST_F(DapEnable, MutesTheDacAroundTheSwitch) {
  chip.write(kAdcDac, 0x0200);
  EXPECT_EQ(codec.WriteDapEnable(1), status::kOk);
  EXPECT_EQ(log(), (Lines{"   \n", "# Writing DAP enable and disable\n", "   \n", "# Write DAC mute/unmute\n",
                          "W 000E 020C", "W 0100 0001", "   \n", "# Write DAC mute/unmute\n", "W 000E 0200"}));
  EXPECT_EQ(chip.read(0x0100), 0x0001);
}

TEST_F(DapEnable, AFailedMuteLeavesTheProcessorAloneButStillUnmutesAndSaysSo) {
  chip.write(0x0100, 0x0010);
  bridge.failWrites = 1;
  EXPECT_EQ(codec.WriteDapEnable(1), status::kI2cWriteFailed);
  EXPECT_EQ(bridge.i2cWrites, (Lines{"000E 000C failed", "000E 0000"}));
  EXPECT_EQ(chip.read(0x0100), 0x0010);
  EXPECT_EQ(log(), (Lines{"   \n", "# Writing DAP enable and disable\n", "   \n", "# Write DAC mute/unmute\n",
                          "W 000E 000C", "   \n", "# Write DAC mute/unmute\n", "W 000E 0000"}));
}

}  // namespace
}  // namespace tonvisor
