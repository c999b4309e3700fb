#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>

#include "codec/codec_fields.h"
#include "codec/codec_fixture.h"
#include "codec/operation_index.h"

namespace tonvisor {
namespace {

using testing::CodecOnChip;
using Lines = std::vector<std::string>;

// Every field operation as the boards' test procedures and saved scripts know it: the register,
// the bits it leaves alone, the comment it logs, and whether it writes without reading.
struct Known {
  const char* name;
  std::uint16_t address;
  std::uint16_t keep;
  const char* comment;
  bool write = false;
};

const Known kKnown[] = {
    {"ConfigureSysMclk", 0x0004, 0xFFFC, "# Configure SYS MCLK\n"},
    {"ConfigureSampleRate", 0x0004, 0xFFF3, "# Configure sample rate\n"},
    {"InitializePllPower", 0x0030, 0xFAFF, "# Initializing PLL Power\n"},
    {"ConfigureI2sMasterSlave", 0x0006, 0xFF7F, "# Configure I2S Master/slave\n"},
    {"WriteDacMute", 0x000E, 0xFFF3, "# Write DAC mute/unmute\n"},
    {"ConfigureDapSelect", 0x000A, 0xFF3F, "# Configure DAP Select\n"},
    {"ConfigureI2sDout", 0x000A, 0xFFFC, "# Configure I2S DOUT \n"},
    {"ConfigureDacOut", 0x000A, 0xFFCF, "# Configure DAC OUT \n"},
    {"SelectHpInput", 0x0024, 0xFFBF, "# Select input to HP \n"},
    {"ConfigureI2s0SclkFreq", 0x0006, 0xFEFF, "# Configure I2S0 SCLK Freq\n"},
    {"ConfigureI2s0SclkInv", 0x0006, 0xFFBF, "# Configure I2S0 SCLK Inv\n"},
    {"ConfigureI2s0LrAlign", 0x0006, 0xFFFD, "# Configure I2S0 LRAlign\n"},
    {"ConfigureI2s0Mode", 0x0006, 0xFFF3, "# Configure I2S0 Mode\n"},
    {"ConfigureI2s0LrPol", 0x0006, 0xFFFE, "# Configure I2S0 LRPOL\n"},
    {"ConfigureI2s0DLen", 0x0006, 0xFFCF, "# Configure I2S0 DLen\n"},
    {"ConfigureAdcInput", 0x0024, 0xFFFB, "# Configure ADC Input\n"},
    {"WriteAdcMute", 0x0024, 0xFFFE, "# Writing ADC Mute/ Unmute\n"},
    {"WriteAdcZcd", 0x0024, 0xFFFD, "# Writing ZCD Enable/Disable\n"},
    {"WriteAdcLeftVolume", 0x0020, 0xFFF0, "# Write ADC left volume\n"},
    {"WriteAdcRightVolume", 0x0020, 0xFF0F, "# Write ADC right volume\n"},
    {"WriteMicGain", 0x002A, 0xFFFC, "# Write Mic Gain\n"},
    {"WriteHpLeftVolume", 0x0022, 0xFF80, "# Write HP left volume\n"},
    {"WriteHpRightVolume", 0x0022, 0x80FF, "# Write HP right volume\n"},
    {"WriteHpZcd", 0x0024, 0xFFDF, "# Writing HP ZCD Enable/Disable\n"},
    {"WriteLineOutMute", 0x0024, 0xFEFF, "# Writing LO Mute/ Unmute\n"},
    {"ConfigureSysMclkDiv2", 0x0034, 0xFFF7, "# Configure SYS_MCLK div2\n"},
    {"ConfigureMicBias", 0x002A, 0xFCFF, "# Configure Mic bias\n"},
    {"WriteDapMixerEnable", 0x0100, 0xFFEF, "# Write DAP Mixer enable and disable\n"},
    {"WriteDapMixerVolume", 0x0122, 0x0000, "# Writing DAP Mixer Volume\n", true},
    {"WriteDapMainVolume", 0x0120, 0x0000, "# Writing DAP Main Volume\n", true},
    {"WriteSurroundWidth", 0x010A, 0xFF8F, "# Write KRVL Surround Settings\n"},
    {"WriteSurroundEnable", 0x010A, 0xFFFC, "# Writing KRVL Surround enable and disable\n"},
    {"WriteBassEnhanceEnable", 0x0104, 0xFFFE, "# Writing Bass Enhance enable and disable\n"},
    {"WriteBassCutoff", 0x0104, 0xFF8F, "# Write Bass Enhance Setting\n"},
    {"WriteBassHpfCutoff", 0x0104, 0xF1FF, "# Write Bass Enhance High Pass Filter Settings\n"},
    {"WriteBassMult", 0x0104, 0x3FFF, "# Write Bass Enhance Mult Settings\n"},
    {"WriteBassHpfBypass", 0x0104, 0xFEFF, "# Writing Bass Enhance HPF Bypass enable/disable\n"},
    {"WriteBassLevel", 0x0106, 0xFF80, "# Write Bass Enhance Setting\n"},
    {"WriteBassLrLevel", 0x0106, 0xC0FF, "# Write Bass Enhance Setting\n"},
    {"SelectEqMode", 0x0108, 0xFFFC, "# Select between PEQ or GEQ or Tone Control\n"},
    {"WriteNumPeqFilters", 0x0102, 0x0000, "# Write Num PEQ Filters\n", true},
    {"WriteGeq0Volume", 0x0116, 0xFF80, "# Write GEQ0 Volume\n"},
    {"WriteGeq1Volume", 0x0118, 0xFF80, "# Write GEQ1 Volume\n"},
    {"WriteGeq2Volume", 0x011A, 0xFF80, "# Write GEQ2 Volume\n"},
    {"WriteGeq3Volume", 0x011C, 0xFF80, "# Write GEQ3 Volume\n"},
    {"WriteGeq4Volume", 0x011E, 0xFF80, "# Write GEQ4 Volume\n"},
    {"WriteToneBass", 0x0116, 0xFF80, "# Write TC/Bass Settings\n"},
    {"WriteToneTreble", 0x011E, 0xFF80, "# Write TC/Treble Settings\n"},
    {"WriteAvcEnable", 0x0124, 0xFFFE, "# Write AVC enable and disable\n"},
    {"WriteAvcAttackRate", 0x0128, 0xF000, "# Write AVC Attack Rate\n"},
    {"WriteAvcMaxGain", 0x0124, 0xCFFF, "# Write AVC Max Gain\n"},
    {"WriteAvcDecayRate", 0x012A, 0xF000, "# Write AVC Decay Rate\n"},
    {"WriteAvcLbiResponse", 0x0124, 0xFCFF, "# Write AVC LBI Response\n"},
    {"WriteAvcThreshold", 0x0126, 0x0000, "# Write AVC Threshold\n"},
    {"WriteDapMixerInput", 0x000A, 0xFCFF, "# Write DAP Mixer Input\n"},
};

std::string WriteLine(std::uint16_t address, std::uint16_t value) {
  char line[16];
  std::snprintf(line, sizeof line, "W %04X %04X", address, value);
  return line;
}

using FieldTable = CodecOnChip;

// All ones sets every bit of the field and nothing else; zero clears them. A modify reads first
// (one I2C read), a write does not.
TEST_F(FieldTable, EveryFieldOperationChangesExactlyItsBitsAndLogsItsOwnComment) {
  constexpr std::uint16_t kBefore = 0x5A5A;
  for (const Known& op : kKnown) {
    SCOPED_TRACE(op.name);
    const auto field = std::find_if(CodecFields().begin(), CodecFields().end(),
                                    [&](const CodecField* f) { return f->name == op.name; });
    ASSERT_NE(field, CodecFields().end());
    // The largest code sets every bit of the field, 0 clears them.
    for (const std::string& argument : {std::to_string((*field)->largestCode()), std::string("0")}) {
      chip.write(op.address, kBefore);
      link.writeLog().clear();
      std::string error;
      const std::string arguments[] = {argument};
      ASSERT_EQ(CallOperationByName(codec, op.name, arguments, error), status::kOk) << error;
      const std::uint16_t set = op.write ? 0xFFFF : static_cast<std::uint16_t>((kBefore & op.keep) | ~op.keep);
      const std::uint16_t cleared = op.write ? 0x0000 : static_cast<std::uint16_t>(kBefore & op.keep);
      const std::uint16_t after = argument != "0" ? set : cleared;
      EXPECT_EQ(chip.read(op.address), after) << argument;
      EXPECT_EQ(log(), (Lines{"   \n", op.comment, WriteLine(op.address, after)})) << argument;
    }
  }
  EXPECT_EQ(std::size(kKnown), CodecFields().size());
}

TEST(CodecFieldTable, GivesEachSliderItsFieldsRange) {
  EXPECT_EQ(field::WriteAdcLeftVolume.largestCode(), 15);
  EXPECT_EQ(field::WriteHpRightVolume.largestCode(), 127);
  EXPECT_EQ(field::WriteAvcAttackRate.largestCode(), 4095);
  EXPECT_EQ(field::WriteDapMainVolume.largestCode(), 0xFFFF);
  EXPECT_EQ(field::WriteDacMute.largestCode(), 1);  // two bits that move together
  EXPECT_EQ(field::WriteBassMult.bits.lowBit, 14);
  EXPECT_EQ(field::WriteBassMult.keepMask(), 0x3FFF);
  EXPECT_EQ(field::InitializePllPower.keepMask(), 0xFAFF);
}

}  // namespace
}  // namespace tonvisor
