#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "codec/codec_fixture.h"
#include "codec/operation_index.h"

namespace tonvisor {
namespace {

using testing::CodecOnChip;
using Args = std::vector<std::string>;

struct ByName : CodecOnChip {
  std::optional<Status> call(std::string_view name, const Args& arguments) {
    error.clear();
    return CallOperationByName(codec, name, arguments, error);
  }
  std::string error;
};

TEST_F(ByName, EveryOperationTheBoardsUseIsListedAndCallable) {
  const std::set<std::string> expected = {
      "ConfigureSysMclk", "ConfigureSampleRate", "InitializePllPower", "ConfigureI2sMasterSlave", "WriteDacMute",
      "ConfigureDapSelect", "ConfigureI2sDout", "ConfigureDacOut", "SelectHpInput", "ConfigureI2s0SclkFreq",
      "ConfigureI2s0SclkInv", "ConfigureI2s0LrAlign", "ConfigureI2s0Mode", "ConfigureI2s0LrPol", "ConfigureI2s0DLen",
      "ConfigureAdcInput", "WriteAdcMute", "WriteAdcZcd", "WriteAdcLeftVolume", "WriteAdcRightVolume", "WriteMicGain",
      "WriteHpLeftVolume", "WriteHpRightVolume", "WriteHpZcd", "WriteLineOutMute", "ConfigureSysMclkDiv2",
      "ConfigureMicBias", "WriteDapMixerEnable", "WriteDapMixerVolume", "WriteDapMainVolume", "WriteSurroundWidth",
      "WriteSurroundEnable", "WriteBassEnhanceEnable", "WriteBassCutoff", "WriteBassHpfCutoff", "WriteBassMult",
      "WriteBassHpfBypass", "WriteBassLevel", "WriteBassLrLevel", "SelectEqMode", "WriteNumPeqFilters",
      "WriteGeq0Volume", "WriteGeq1Volume", "WriteGeq2Volume", "WriteGeq3Volume", "WriteGeq4Volume", "WriteToneBass",
      "WriteToneTreble", "WriteAvcEnable", "WriteAvcAttackRate", "WriteAvcMaxGain", "WriteAvcDecayRate",
      "WriteAvcLbiResponse", "WriteAvcThreshold", "WriteDapMixerInput", "ConfigureDacVolume", "ConfigurePllDivisor",
      "RampHpVolume", "WriteHpMute", "WriteDapEnable", "WriteGeqVolume", "LoadPeqPreset"};
  std::set<std::string> listed;
  for (const OperationInfo& op : ListOperations()) {
    EXPECT_TRUE(listed.insert(std::string(op.name)).second) << "listed twice: " << op.name;
    // Every listed operation runs with as many arguments as its listing names.
    const auto count = op.arguments.empty() ? 0 : std::count(op.arguments.begin(), op.arguments.end(), ' ') + 1;
    // A level of +1 dB is louder than the DAC goes; -1 dB is within its range.
    const char* argument = op.arguments == "NAME" ? "Flat" : op.arguments == "DB" ? "-1" : "1";
    const Args arguments(static_cast<std::size_t>(count), argument);
    EXPECT_EQ(call(op.name, arguments), status::kOk) << op.name << ": " << error;
  }
  EXPECT_EQ(listed, expected);
}

TEST_F(ByName, ArgumentsReachTheChipAndTheStatusComesBack) {
  chip.write(0x0104, 0x0000);
  EXPECT_EQ(call("WriteBassMult", {"3"}), status::kOk);
  EXPECT_EQ(chip.read(0x0104), 0xC000);
  EXPECT_EQ(call("ConfigureDacVolume", {"-0.5017"}), status::kOk);
  EXPECT_EQ(chip.read(0x0010), 0x3D3D);
  EXPECT_EQ(call("ConfigurePllDivisor", {"8", "+786"}), status::kOk);
  EXPECT_EQ(chip.read(0x0032), 0x4312);
  EXPECT_EQ(call("WriteGeqVolume", {"3", "127"}), status::kOk);  // each end of a range is taken
  EXPECT_EQ(chip.read(0x011C), 0x007F);
  EXPECT_EQ(call("WriteDapMixerVolume", {"65535"}), status::kOk);
  EXPECT_EQ(chip.read(0x0122), 0xFFFF);
  EXPECT_EQ(call("ConfigurePllDivisor", {"31", "0"}), status::kOk);
  EXPECT_EQ(chip.read(0x0032), 0xF800);
  EXPECT_EQ(call("LoadPeqPreset", {"aCoUsTiC"}), status::kOk);
  EXPECT_EQ(chip.read(0x0102), 0x0006);

  bridge.failWrites = 1000;
  EXPECT_EQ(call("WriteDapMainVolume", {"1"}), status::kI2cWriteFailed);
  // A composite operation reports the first failure among its accesses.
  EXPECT_EQ(call("WriteHpMute", {"1"}), status::kI2cWriteFailed);
}

TEST_F(ByName, RefusesWhatItCannotRunAndTouchesNothing) {
  const std::pair<std::pair<const char*, Args>, const char*> refused[] = {
      {{"Nope", {}}, "unknown operation \"Nope\""},
      {{"writebassmult", {"1"}}, "unknown operation \"writebassmult\" (did you mean \"WriteBassMult\"?)"},
      {{"WriteBassMult", {}}, "WriteBassMult takes 1 argument (VALUE), got 0"},
      {{"WriteBassMult", {"1", "2"}}, "WriteBassMult takes 1 argument (VALUE), got 2"},
      {{"ConfigurePllDivisor", {"8"}}, "ConfigurePllDivisor takes 2 arguments (INTEGER FRACTION), got 1"},
      {{"WriteBassMult", {"12x"}}, "WriteBassMult: \"12x\" is not a decimal integer"},
      {{"WriteBassMult", {"0x10"}}, "WriteBassMult: \"0x10\" is not a decimal integer"},
      {{"WriteBassMult", {" 1"}}, "WriteBassMult: \" 1\" is not a decimal integer"},
      {{"WriteBassMult", {""}}, "WriteBassMult: \"\" is not a decimal integer"},
      {{"WriteBassMult", {"+-1"}}, "WriteBassMult: \"+-1\" is not a decimal integer"},
      {{"WriteBassMult", {"2147483648"}}, "WriteBassMult: 2147483648 is out of range (-2147483648 to 2147483647)"},
      {{"ConfigurePllDivisor", {"1", "-99999999999999999999"}},
       "ConfigurePllDivisor: -99999999999999999999 is out of range (-2147483648 to 2147483647)"},
      {{"ConfigureDacVolume", {"-0.5dB"}}, "ConfigureDacVolume: \"-0.5dB\" is not a decimal number"},
      {{"ConfigureDacVolume", {"nan"}}, "ConfigureDacVolume: \"nan\" is not a decimal number"},
      {{"ConfigureDacVolume", {"-inf"}}, "ConfigureDacVolume: \"-inf\" is not a decimal number"},
      {{"ConfigureDacVolume", {"1e999"}}, "ConfigureDacVolume: 1e999 is out of range"},
      {{"ConfigureDacVolume", {"-1e300"}}, "ConfigureDacVolume: -1e300 dB is outside the DAC's range (0 to -95.8 dB)"},
      {{"ConfigureDacVolume", {"-98.4"}}, "ConfigureDacVolume: -98.4 dB is outside the DAC's range (0 to -95.8 dB)"},
      {{"ConfigureDacVolume", {"+1"}}, "ConfigureDacVolume: +1 dB is outside the DAC's range (0 to -95.8 dB)"},
      {{"WriteGeqVolume", {"5", "1"}}, "WriteGeqVolume: band 5 does not exist (0 to 4)"},
      // A number past its field would wrap into it as another code: refused, with the range.
      {{"WriteHpLeftVolume", {"128"}}, "WriteHpLeftVolume: VALUE 128 is outside its range (0 to 127)"},
      {{"RampHpVolume", {"128"}}, "RampHpVolume: TARGET 128 is outside its range (0 to 127)"},
      {{"ConfigurePllDivisor", {"40", "0"}}, "ConfigurePllDivisor: INTEGER 40 is outside its range (0 to 31)"},
      {{"ConfigurePllDivisor", {"8", "2048"}}, "ConfigurePllDivisor: FRACTION 2048 is outside its range (0 to 2047)"},
      {{"ConfigureSampleRate", {"4"}}, "ConfigureSampleRate: VALUE 4 is outside its range (0 to 3)"},
      {{"InitializePllPower", {"2"}}, "InitializePllPower: VALUE 2 is outside its range (0 to 1)"},
      {{"WriteHpMute", {"2"}}, "WriteHpMute: FLAG 2 is outside its range (0 to 1)"},
      {{"WriteGeqVolume", {"3", "-1"}}, "WriteGeqVolume: VALUE -1 is outside its range (0 to 127)"},
      {{"WriteDapMixerVolume", {"65536"}}, "WriteDapMixerVolume: VALUE 65536 is outside its range (0 to 65535)"},
      {{"LoadPeqPreset", {"Jazz"}}, "LoadPeqPreset: unknown preset \"Jazz\" (Flat, Rock, Classical, Dance or Acoustic)"},
  };
  const std::uint64_t writes = chip.writeCount();
  for (const auto& [request, message] : refused) {
    EXPECT_FALSE(call(request.first, request.second)) << request.first;
    EXPECT_EQ(error, message);
  }
  EXPECT_EQ(chip.writeCount(), writes);
  EXPECT_EQ(link.writeLog().count(), 0u);
}

}  // namespace
}  // namespace tonvisor
