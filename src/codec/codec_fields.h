#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "codec/register_map.h"

namespace tonvisor {

// How a field operation reaches its register.
enum class FieldAccess {
  Modify,  // read-modify-write: only the field's bits change
  Write,   // all 16 bits written without a read
};

// Where a field sits in its register.
struct FieldBits {
  int lowBit = 0;
  int width = 1;
  // Non-zero for two separate bits that always move together (the left and right channel's
  // mutes, the PLL's two power switches): each takes bit 0 of the argument.
  std::uint16_t copies = 0;
};

// Bits high down to low, as the datasheet writes them ("bits 6:4").
constexpr FieldBits Bits(int high, int low) { return {low, high - low + 1, 0}; }
constexpr FieldBits Bit(int bit) { return Bits(bit, bit); }
constexpr FieldBits BitPair(int high, int low) {
  return {low, 1, static_cast<std::uint16_t>((1u << high) | (1u << low))};
}

// The largest code the bits hold (a pair moves as one bit: 0 or 1). Codes run from 0 up to it;
// a number from a person or a file beyond it would wrap into the field as some other code.
constexpr int LargestCode(FieldBits bits) {
  return bits.copies != 0 ? 1 : static_cast<int>((1u << bits.width) - 1u);
}

// The parts of CHIP_PLL_CTRL_REG that ConfigurePllDivisor writes whole: the integer divisor and
// the fraction in 1/2048 units.
inline constexpr FieldBits kPllIntegerBits = Bits(15, 11);
inline constexpr FieldBits kPllFractionBits = Bits(10, 0);

// One field of the chip and the operation that sets it: the operation's name, its register,
// its bits, how it is accessed and the comment line it logs ahead of the access.
struct CodecField {
  std::string_view name;
  std::uint16_t address;
  FieldBits bits;
  FieldAccess access;
  std::string_view comment;

  // The bits the operation changes; the keep-mask holds all the others.
  constexpr std::uint16_t mask() const {
    if (bits.copies != 0) return bits.copies;
    return static_cast<std::uint16_t>(((1u << bits.width) - 1u) << bits.lowBit);
  }
  constexpr std::uint16_t keepMask() const { return static_cast<std::uint16_t>(~mask()); }
  // The largest code the field holds: a control's range ends there.
  constexpr int largestCode() const { return LargestCode(bits); }

  // The value handed to the access: the argument shifted into the field (the keep-mask drops
  // whatever lands outside it), or bit 0 copied into every bit of a pair.
  constexpr std::uint16_t valueFor(int a) const {
    if (bits.copies != 0) return (a & 1) != 0 ? bits.copies : std::uint16_t{0};
    // Shifted as unsigned so that negative or oversized arguments wrap instead of overflowing;
    // only the low 16 bits reach the register anyway.
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(a) << bits.lowBit);
  }
};

// The KRVL7300's fields, one operation each: FIELD(name, register, bits, access, comment).
// The comment lines are the ones saved scripts and the boards' procedures quote, blanks and
// all. Several operations share a register, and the bass enhance cutoff and both levels
// share one comment line.
#define TONVISOR_CODEC_FIELDS(FIELD)                                                                         \
  /* Clocks */                                                                                               \
  FIELD(ConfigureSysMclk, CHIP_CLK_CTRL_REG, Bits(1, 0), Modify, "# Configure SYS MCLK\n")                   \
  FIELD(ConfigureSampleRate, CHIP_CLK_CTRL_REG, Bits(3, 2), Modify, "# Configure sample rate\n")             \
  FIELD(InitializePllPower, CHIP_ANA_POWER_REG, BitPair(10, 8), Modify, "# Initializing PLL Power\n")        \
  FIELD(ConfigureSysMclkDiv2, CHIP_CLK_TOP_CTRL_REG, Bit(3), Modify, "# Configure SYS_MCLK div2\n")          \
  /* I2S port */                                                                                             \
  FIELD(ConfigureI2sMasterSlave, CHIP_I2S0_CTRL_REG, Bit(7), Modify, "# Configure I2S Master/slave\n")       \
  FIELD(ConfigureI2s0SclkFreq, CHIP_I2S0_CTRL_REG, Bit(8), Modify, "# Configure I2S0 SCLK Freq\n")           \
  FIELD(ConfigureI2s0SclkInv, CHIP_I2S0_CTRL_REG, Bit(6), Modify, "# Configure I2S0 SCLK Inv\n")             \
  FIELD(ConfigureI2s0LrAlign, CHIP_I2S0_CTRL_REG, Bit(1), Modify, "# Configure I2S0 LRAlign\n")              \
  FIELD(ConfigureI2s0Mode, CHIP_I2S0_CTRL_REG, Bits(3, 2), Modify, "# Configure I2S0 Mode\n")                \
  FIELD(ConfigureI2s0LrPol, CHIP_I2S0_CTRL_REG, Bit(0), Modify, "# Configure I2S0 LRPOL\n")                  \
  FIELD(ConfigureI2s0DLen, CHIP_I2S0_CTRL_REG, Bits(5, 4), Modify, "# Configure I2S0 DLen\n")                \
  /* Routing: the sources are 0 ADC, 1 I2S input, 3 DAP */                                                  \
  FIELD(ConfigureDapSelect, CHIP_SSS_CTRL_REG, Bits(7, 6), Modify, "# Configure DAP Select\n")               \
  FIELD(ConfigureI2sDout, CHIP_SSS_CTRL_REG, Bits(1, 0), Modify, "# Configure I2S DOUT \n")                  \
  FIELD(ConfigureDacOut, CHIP_SSS_CTRL_REG, Bits(5, 4), Modify, "# Configure DAC OUT \n")                    \
  FIELD(SelectHpInput, CHIP_ANA_CTRL_REG, Bit(6), Modify, "# Select input to HP \n")                         \
  FIELD(WriteDapMixerInput, CHIP_SSS_CTRL_REG, Bits(9, 8), Modify, "# Write DAP Mixer Input\n")              \
  /* ADC and microphone */                                                                                   \
  FIELD(ConfigureAdcInput, CHIP_ANA_CTRL_REG, Bit(2), Modify, "# Configure ADC Input\n")                     \
  FIELD(WriteAdcMute, CHIP_ANA_CTRL_REG, Bit(0), Modify, "# Writing ADC Mute/ Unmute\n")                     \
  FIELD(WriteAdcZcd, CHIP_ANA_CTRL_REG, Bit(1), Modify, "# Writing ZCD Enable/Disable\n")                    \
  FIELD(WriteAdcLeftVolume, CHIP_ANA_ADC_CTRL_REG, Bits(3, 0), Modify, "# Write ADC left volume\n")          \
  FIELD(WriteAdcRightVolume, CHIP_ANA_ADC_CTRL_REG, Bits(7, 4), Modify, "# Write ADC right volume\n")        \
  FIELD(WriteMicGain, CHIP_MIC_CTRL_REG, Bits(1, 0), Modify, "# Write Mic Gain\n")                           \
  FIELD(ConfigureMicBias, CHIP_MIC_CTRL_REG, Bits(9, 8), Modify, "# Configure Mic bias\n")                   \
  /* DAC, headphone and line out */                                                                          \
  FIELD(WriteDacMute, CHIP_ADCDAC_CTRL_REG, BitPair(3, 2), Modify, "# Write DAC mute/unmute\n")              \
  FIELD(WriteHpLeftVolume, CHIP_ANA_HP_CTRL_REG, Bits(6, 0), Modify, "# Write HP left volume\n")             \
  FIELD(WriteHpRightVolume, CHIP_ANA_HP_CTRL_REG, Bits(14, 8), Modify, "# Write HP right volume\n")          \
  FIELD(WriteHpZcd, CHIP_ANA_CTRL_REG, Bit(5), Modify, "# Writing HP ZCD Enable/Disable\n")                  \
  FIELD(WriteLineOutMute, CHIP_ANA_CTRL_REG, Bit(8), Modify, "# Writing LO Mute/ Unmute\n")                  \
  /* Audio processor: mixer and surround */                                                                  \
  FIELD(WriteDapMixerEnable, DAP_CONTROL_REG, Bit(4), Modify, "# Write DAP Mixer enable and disable\n")      \
  FIELD(WriteDapMixerVolume, DAP_MIX_CHAN_REG, Bits(15, 0), Write, "# Writing DAP Mixer Volume\n")           \
  FIELD(WriteDapMainVolume, DAP_MAIN_CHAN_REG, Bits(15, 0), Write, "# Writing DAP Main Volume\n")            \
  FIELD(WriteSurroundWidth, DAP_KRVL_SURROUND_REG, Bits(6, 4), Modify, "# Write KRVL Surround Settings\n")   \
  FIELD(WriteSurroundEnable, DAP_KRVL_SURROUND_REG, Bits(1, 0), Modify,                                      \
        "# Writing KRVL Surround enable and disable\n")                                                      \
  /* Bass enhance */                                                                                         \
  FIELD(WriteBassEnhanceEnable, DAP_BASS_ENHANCE_REG, Bit(0), Modify,                                        \
        "# Writing Bass Enhance enable and disable\n")                                                       \
  FIELD(WriteBassCutoff, DAP_BASS_ENHANCE_REG, Bits(6, 4), Modify, "# Write Bass Enhance Setting\n")         \
  FIELD(WriteBassHpfCutoff, DAP_BASS_ENHANCE_REG, Bits(11, 9), Modify,                                       \
        "# Write Bass Enhance High Pass Filter Settings\n")                                                  \
  FIELD(WriteBassMult, DAP_BASS_ENHANCE_REG, Bits(15, 14), Modify, "# Write Bass Enhance Mult Settings\n")   \
  FIELD(WriteBassHpfBypass, DAP_BASS_ENHANCE_REG, Bit(8), Modify,                                            \
        "# Writing Bass Enhance HPF Bypass enable/disable\n")                                                \
  FIELD(WriteBassLevel, DAP_BASS_ENHANCE_CTRL_REG, Bits(6, 0), Modify, "# Write Bass Enhance Setting\n")     \
  FIELD(WriteBassLrLevel, DAP_BASS_ENHANCE_CTRL_REG, Bits(13, 8), Modify, "# Write Bass Enhance Setting\n")  \
  /* Equalisers; tone control drives the first and last graphic-EQ band registers */                        \
  FIELD(SelectEqMode, DAP_AUDIO_EQ_REG, Bits(1, 0), Modify, "# Select between PEQ or GEQ or Tone Control\n") \
  FIELD(WriteNumPeqFilters, DAP_PEQ_REG, Bits(15, 0), Write, "# Write Num PEQ Filters\n")                    \
  FIELD(WriteGeq0Volume, DAP_AUDIO_EQ_BASS_BAND0_REG, Bits(6, 0), Modify, "# Write GEQ0 Volume\n")           \
  FIELD(WriteGeq1Volume, DAP_AUDIO_EQ_BAND1_REG, Bits(6, 0), Modify, "# Write GEQ1 Volume\n")                \
  FIELD(WriteGeq2Volume, DAP_AUDIO_EQ_BAND2_REG, Bits(6, 0), Modify, "# Write GEQ2 Volume\n")                \
  FIELD(WriteGeq3Volume, DAP_AUDIO_EQ_BAND3_REG, Bits(6, 0), Modify, "# Write GEQ3 Volume\n")                \
  FIELD(WriteGeq4Volume, DAP_AUDIO_EQ_TREBLE_BAND4_REG, Bits(6, 0), Modify, "# Write GEQ4 Volume\n")         \
  FIELD(WriteToneBass, DAP_AUDIO_EQ_BASS_BAND0_REG, Bits(6, 0), Modify, "# Write TC/Bass Settings\n")        \
  FIELD(WriteToneTreble, DAP_AUDIO_EQ_TREBLE_BAND4_REG, Bits(6, 0), Modify, "# Write TC/Treble Settings\n")  \
  /* Automatic volume control */                                                                             \
  FIELD(WriteAvcEnable, DAP_AVC_CTRL_REG, Bit(0), Modify, "# Write AVC enable and disable\n")                \
  FIELD(WriteAvcAttackRate, DAP_AVC_ATTACK_REG, Bits(11, 0), Modify, "# Write AVC Attack Rate\n")            \
  FIELD(WriteAvcMaxGain, DAP_AVC_CTRL_REG, Bits(13, 12), Modify, "# Write AVC Max Gain\n")                   \
  FIELD(WriteAvcDecayRate, DAP_AVC_DECAY_REG, Bits(11, 0), Modify, "# Write AVC Decay Rate\n")               \
  FIELD(WriteAvcLbiResponse, DAP_AVC_CTRL_REG, Bits(9, 8), Modify, "# Write AVC LBI Response\n")             \
  /* All 16 bits, yet a read-modify-write with nothing kept: it reads first, so SPI refuses it */           \
  FIELD(WriteAvcThreshold, DAP_AVC_THRESHOLD_REG, Bits(15, 0), Modify, "# Write AVC Threshold\n")

// Each field by its operation's name: field::WriteAdcMute.
namespace field {
#define TONVISOR_DEFINE_FIELD(name, address, bits, access, comment) \
  inline constexpr CodecField name{#name, reg::address, bits, FieldAccess::access, comment};
TONVISOR_CODEC_FIELDS(TONVISOR_DEFINE_FIELD)
#undef TONVISOR_DEFINE_FIELD
}  // namespace field

// Every field, in the order of the table.
std::span<const CodecField* const> CodecFields();

}  // namespace tonvisor
