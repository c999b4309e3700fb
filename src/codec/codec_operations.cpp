#include "codec/codec_operations.h"

#include <array>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "codec/register_map.h"
#include "link/user_action.h"

namespace tonvisor {

namespace {

enum class Access { Modify, Write };

// How the argument becomes the value handed to the register access.
enum class Placement {
  Shifted,            // a << shift; the keep-mask drops whatever lands outside the field
  BitZeroInEveryBit,  // bit 0 of a copied into every bit of the field (paired left/right bits)
};

constexpr std::string_view kBlankLine = "   \n";

}  // namespace

struct CodecField {
  std::uint16_t address;
  std::uint16_t keep;  // bits outside the field; unused by full writes
  int shift;
  std::string_view comment;
  Access access;
  Placement placement;

  constexpr std::uint16_t valueFor(int a) const {
    if (placement == Placement::BitZeroInEveryBit) {
      return (a & 1) != 0 ? static_cast<std::uint16_t>(~keep) : std::uint16_t{0};
    }
    // Shift as unsigned so that negative or oversized arguments wrap instead of overflowing;
    // only the low 16 bits reach the register anyway.
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(a) << shift);
  }
};

namespace {

constexpr CodecField Modify(std::uint16_t address, std::uint16_t keep, int shift, std::string_view comment) {
  return {address, keep, shift, comment, Access::Modify, Placement::Shifted};
}
// Fields made of two separate bits that always move together (both DAC channels' mutes, the
// PLL's two power switches).
constexpr CodecField ModifyPair(std::uint16_t address, std::uint16_t keep, std::string_view comment) {
  return {address, keep, 0, comment, Access::Modify, Placement::BitZeroInEveryBit};
}
constexpr CodecField Write(std::uint16_t address, std::string_view comment) {
  return {address, 0x0000, 0, comment, Access::Write, Placement::Shifted};
}

// A shifted field's keep-mask must leave exactly one run of bits free, starting at the shift;
// this catches a mistyped mask or shift at compile time.
constexpr bool Consistent(const CodecField& f) {
  if (f.access == Access::Write || f.placement != Placement::Shifted) return true;
  const std::uint32_t free = static_cast<std::uint16_t>(~f.keep);
  if (free == 0) return false;
  const std::uint32_t run = free >> f.shift;
  return (run & 1) != 0 && (run & (run + 1)) == 0 && (free & ((1u << f.shift) - 1)) == 0;
}

using namespace reg;

// Clocks
constexpr CodecField kConfigureSysMclk = Modify(CHIP_CLK_CTRL_REG, 0xFFFC, 0, "# Configure SYS MCLK\n");
constexpr CodecField kConfigureSampleRate = Modify(CHIP_CLK_CTRL_REG, 0xFFF3, 2, "# Configure sample rate\n");
constexpr CodecField kInitializePllPower = ModifyPair(CHIP_ANA_POWER_REG, 0xFAFF, "# Initializing PLL Power\n");
constexpr CodecField kConfigureSysMclkDiv2 = Modify(CHIP_CLK_TOP_CTRL_REG, 0xFFF7, 3, "# Configure SYS_MCLK div2\n");
// I2S port
constexpr CodecField kConfigureI2sMasterSlave =
    Modify(CHIP_I2S0_CTRL_REG, 0xFF7F, 7, "# Configure I2S Master/slave\n");
constexpr CodecField kConfigureI2s0SclkFreq = Modify(CHIP_I2S0_CTRL_REG, 0xFEFF, 8, "# Configure I2S0 SCLK Freq\n");
constexpr CodecField kConfigureI2s0SclkInv = Modify(CHIP_I2S0_CTRL_REG, 0xFFBF, 6, "# Configure I2S0 SCLK Inv\n");
constexpr CodecField kConfigureI2s0LrAlign = Modify(CHIP_I2S0_CTRL_REG, 0xFFFD, 1, "# Configure I2S0 LRAlign\n");
constexpr CodecField kConfigureI2s0Mode = Modify(CHIP_I2S0_CTRL_REG, 0xFFF3, 2, "# Configure I2S0 Mode\n");
constexpr CodecField kConfigureI2s0LrPol = Modify(CHIP_I2S0_CTRL_REG, 0xFFFE, 0, "# Configure I2S0 LRPOL\n");
constexpr CodecField kConfigureI2s0DLen = Modify(CHIP_I2S0_CTRL_REG, 0xFFCF, 4, "# Configure I2S0 DLen\n");
// Routing
constexpr CodecField kConfigureDapSelect = Modify(CHIP_SSS_CTRL_REG, 0xFF3F, 6, "# Configure DAP Select\n");
constexpr CodecField kConfigureI2sDout = Modify(CHIP_SSS_CTRL_REG, 0xFFFC, 0, "# Configure I2S DOUT \n");
constexpr CodecField kConfigureDacOut = Modify(CHIP_SSS_CTRL_REG, 0xFFCF, 4, "# Configure DAC OUT \n");
constexpr CodecField kSelectHpInput = Modify(CHIP_ANA_CTRL_REG, 0xFFBF, 6, "# Select input to HP \n");
constexpr CodecField kWriteDapMixerInput = Modify(CHIP_SSS_CTRL_REG, 0xFCFF, 8, "# Write DAP Mixer Input\n");
// ADC and microphone
constexpr CodecField kConfigureAdcInput = Modify(CHIP_ANA_CTRL_REG, 0xFFFB, 2, "# Configure ADC Input\n");
constexpr CodecField kWriteAdcMute = Modify(CHIP_ANA_CTRL_REG, 0xFFFE, 0, "# Writing ADC Mute/ Unmute\n");
constexpr CodecField kWriteAdcZcd = Modify(CHIP_ANA_CTRL_REG, 0xFFFD, 1, "# Writing ZCD Enable/Disable\n");
constexpr CodecField kWriteAdcLeftVolume = Modify(CHIP_ANA_ADC_CTRL_REG, 0xFFF0, 0, "# Write ADC left volume\n");
constexpr CodecField kWriteAdcRightVolume = Modify(CHIP_ANA_ADC_CTRL_REG, 0xFF0F, 4, "# Write ADC right volume\n");
constexpr CodecField kWriteMicGain = Modify(CHIP_MIC_CTRL_REG, 0xFFFC, 0, "# Write Mic Gain\n");
constexpr CodecField kConfigureMicBias = Modify(CHIP_MIC_CTRL_REG, 0xFCFF, 8, "# Configure Mic bias\n");
// DAC, headphone and line out
constexpr CodecField kWriteDacMute = ModifyPair(CHIP_ADCDAC_CTRL_REG, 0xFFF3, "# Write DAC mute/unmute\n");
constexpr CodecField kWriteHpLeftVolume = Modify(CHIP_ANA_HP_CTRL_REG, 0xFF80, 0, "# Write HP left volume\n");
constexpr CodecField kWriteHpRightVolume = Modify(CHIP_ANA_HP_CTRL_REG, 0x80FF, 8, "# Write HP right volume\n");
constexpr CodecField kWriteHpZcd = Modify(CHIP_ANA_CTRL_REG, 0xFFDF, 5, "# Writing HP ZCD Enable/Disable\n");
constexpr CodecField kWriteLineOutMute = Modify(CHIP_ANA_CTRL_REG, 0xFEFF, 8, "# Writing LO Mute/ Unmute\n");
// Audio processor: mixer and surround
constexpr CodecField kWriteDapMixerEnable = Modify(DAP_CONTROL_REG, 0xFFEF, 4, "# Write DAP Mixer enable and disable\n");
constexpr CodecField kWriteDapMixerVolume = Write(DAP_MIX_CHAN_REG, "# Writing DAP Mixer Volume\n");
constexpr CodecField kWriteDapMainVolume = Write(DAP_MAIN_CHAN_REG, "# Writing DAP Main Volume\n");
constexpr CodecField kWriteSurroundWidth = Modify(DAP_KRVL_SURROUND_REG, 0xFF8F, 4, "# Write KRVL Surround Settings\n");
constexpr CodecField kWriteSurroundEnable =
    Modify(DAP_KRVL_SURROUND_REG, 0xFFFC, 0, "# Writing KRVL Surround enable and disable\n");
// Bass enhance (cutoff and both levels share one comment line)
constexpr CodecField kWriteBassEnhanceEnable =
    Modify(DAP_BASS_ENHANCE_REG, 0xFFFE, 0, "# Writing Bass Enhance enable and disable\n");
constexpr CodecField kWriteBassCutoff = Modify(DAP_BASS_ENHANCE_REG, 0xFF8F, 4, "# Write Bass Enhance Setting\n");
constexpr CodecField kWriteBassHpfCutoff =
    Modify(DAP_BASS_ENHANCE_REG, 0xF1FF, 9, "# Write Bass Enhance High Pass Filter Settings\n");
constexpr CodecField kWriteBassMult = Modify(DAP_BASS_ENHANCE_REG, 0x3FFF, 14, "# Write Bass Enhance Mult Settings\n");
constexpr CodecField kWriteBassHpfBypass =
    Modify(DAP_BASS_ENHANCE_REG, 0xFEFF, 8, "# Writing Bass Enhance HPF Bypass enable/disable\n");
constexpr CodecField kWriteBassLevel = Modify(DAP_BASS_ENHANCE_CTRL_REG, 0xFF80, 0, "# Write Bass Enhance Setting\n");
constexpr CodecField kWriteBassLrLevel = Modify(DAP_BASS_ENHANCE_CTRL_REG, 0xC0FF, 8, "# Write Bass Enhance Setting\n");
// Equalisers
constexpr CodecField kSelectEqMode =
    Modify(DAP_AUDIO_EQ_REG, 0xFFFC, 0, "# Select between PEQ or GEQ or Tone Control\n");
constexpr CodecField kWriteNumPeqFilters = Write(DAP_PEQ_REG, "# Write Num PEQ Filters\n");
constexpr std::array<CodecField, 5> kWriteGeqVolume = {
    Modify(DAP_AUDIO_EQ_BASS_BAND0_REG, 0xFF80, 0, "# Write GEQ0 Volume\n"),
    Modify(DAP_AUDIO_EQ_BAND1_REG, 0xFF80, 0, "# Write GEQ1 Volume\n"),
    Modify(DAP_AUDIO_EQ_BAND2_REG, 0xFF80, 0, "# Write GEQ2 Volume\n"),
    Modify(DAP_AUDIO_EQ_BAND3_REG, 0xFF80, 0, "# Write GEQ3 Volume\n"),
    Modify(DAP_AUDIO_EQ_TREBLE_BAND4_REG, 0xFF80, 0, "# Write GEQ4 Volume\n"),
};
// Tone control drives the first and last graphic-EQ band registers.
constexpr CodecField kWriteToneBass = Modify(DAP_AUDIO_EQ_BASS_BAND0_REG, 0xFF80, 0, "# Write TC/Bass Settings\n");
constexpr CodecField kWriteToneTreble = Modify(DAP_AUDIO_EQ_TREBLE_BAND4_REG, 0xFF80, 0, "# Write TC/Treble Settings\n");
// Automatic volume control
constexpr CodecField kWriteAvcEnable = Modify(DAP_AVC_CTRL_REG, 0xFFFE, 0, "# Write AVC enable and disable\n");
constexpr CodecField kWriteAvcAttackRate = Modify(DAP_AVC_ATTACK_REG, 0xF000, 0, "# Write AVC Attack Rate\n");
constexpr CodecField kWriteAvcMaxGain = Modify(DAP_AVC_CTRL_REG, 0xCFFF, 12, "# Write AVC Max Gain\n");
constexpr CodecField kWriteAvcDecayRate = Modify(DAP_AVC_DECAY_REG, 0xF000, 0, "# Write AVC Decay Rate\n");
constexpr CodecField kWriteAvcLbiResponse = Modify(DAP_AVC_CTRL_REG, 0xFCFF, 8, "# Write AVC LBI Response\n");
// All 16 bits, yet a read-modify-write with nothing kept: it reads first, so SPI refuses it.
constexpr CodecField kWriteAvcThreshold = Modify(DAP_AVC_THRESHOLD_REG, 0x0000, 0, "# Write AVC Threshold\n");

constexpr std::array kAllFields = {
    kConfigureSysMclk,     kConfigureSampleRate,   kInitializePllPower,     kConfigureSysMclkDiv2,
    kConfigureI2sMasterSlave, kConfigureI2s0SclkFreq, kConfigureI2s0SclkInv, kConfigureI2s0LrAlign,
    kConfigureI2s0Mode,    kConfigureI2s0LrPol,    kConfigureI2s0DLen,      kConfigureDapSelect,
    kConfigureI2sDout,     kConfigureDacOut,       kSelectHpInput,          kWriteDapMixerInput,
    kConfigureAdcInput,    kWriteAdcMute,          kWriteAdcZcd,            kWriteAdcLeftVolume,
    kWriteAdcRightVolume,  kWriteMicGain,          kConfigureMicBias,       kWriteDacMute,
    kWriteHpLeftVolume,    kWriteHpRightVolume,    kWriteHpZcd,             kWriteLineOutMute,
    kWriteDapMixerEnable,  kWriteDapMixerVolume,   kWriteDapMainVolume,     kWriteSurroundWidth,
    kWriteSurroundEnable,  kWriteBassEnhanceEnable, kWriteBassCutoff,       kWriteBassHpfCutoff,
    kWriteBassMult,        kWriteBassHpfBypass,    kWriteBassLevel,         kWriteBassLrLevel,
    kSelectEqMode,         kWriteNumPeqFilters,    kWriteGeqVolume[0],      kWriteGeqVolume[1],
    kWriteGeqVolume[2],    kWriteGeqVolume[3],     kWriteGeqVolume[4],      kWriteToneBass,
    kWriteToneTreble,      kWriteAvcEnable,        kWriteAvcAttackRate,     kWriteAvcMaxGain,
    kWriteAvcDecayRate,    kWriteAvcLbiResponse,   kWriteAvcThreshold,
};
constexpr bool AllConsistent() {
  for (const CodecField& f : kAllFields) {
    if (!Consistent(f)) return false;
  }
  return true;
}
static_assert(AllConsistent(), "a field's keep-mask and shift disagree");

// The DAC volume code steps by 0.5017 dB; this is the double nearest to -1/0.5017, and code
// 60 (0x3C) is 0 dB.
constexpr double kDacCodesPerDb = -1.9932230416583614;
constexpr double kDacZeroDbCode = 60.0;

constexpr std::uint16_t kHpMuteValue = 1 << 4;  // CHIP_ANA_CTRL_REG bit 4
constexpr std::uint16_t kHpMuteKeep = 0xFFEF;
constexpr int kHpQuietestTarget = 0x7F7F;
constexpr std::uint16_t kDapEnableKeep = 0xFFFE;  // DAP_CONTROL_REG bit 0

// An argument that names no value of the register: nothing was logged or sent.
AccessResult Refused(std::uint16_t address) {
  AccessResult refused;
  refused.address = address;
  refused.fault = AccessFault::InvalidArgument;
  refused.status = status::kInvalidArgument;
  return refused;
}

}  // namespace

AccessResult CodecOperations::apply(const CodecField& field, int a) {
  WriteLog& log = m_link.writeLog();
  log.appendComment(kBlankLine);
  log.appendComment(field.comment);
  const std::uint16_t value = field.valueFor(a);
  if (field.access == Access::Write) return m_link.Write(field.address, value);
  return m_link.Modify(field.address, field.keep, value);
}

AccessResult CodecOperations::ConfigureSysMclk(int a) { return apply(kConfigureSysMclk, a); }
AccessResult CodecOperations::ConfigureSampleRate(int a) { return apply(kConfigureSampleRate, a); }
AccessResult CodecOperations::InitializePllPower(int a) { return apply(kInitializePllPower, a); }
AccessResult CodecOperations::ConfigureSysMclkDiv2(int a) { return apply(kConfigureSysMclkDiv2, a); }
AccessResult CodecOperations::ConfigureI2sMasterSlave(int a) { return apply(kConfigureI2sMasterSlave, a); }
AccessResult CodecOperations::ConfigureI2s0SclkFreq(int a) { return apply(kConfigureI2s0SclkFreq, a); }
AccessResult CodecOperations::ConfigureI2s0SclkInv(int a) { return apply(kConfigureI2s0SclkInv, a); }
AccessResult CodecOperations::ConfigureI2s0LrAlign(int a) { return apply(kConfigureI2s0LrAlign, a); }
AccessResult CodecOperations::ConfigureI2s0Mode(int a) { return apply(kConfigureI2s0Mode, a); }
AccessResult CodecOperations::ConfigureI2s0LrPol(int a) { return apply(kConfigureI2s0LrPol, a); }
AccessResult CodecOperations::ConfigureI2s0DLen(int a) { return apply(kConfigureI2s0DLen, a); }
AccessResult CodecOperations::ConfigureDapSelect(int a) { return apply(kConfigureDapSelect, a); }
AccessResult CodecOperations::ConfigureI2sDout(int a) { return apply(kConfigureI2sDout, a); }
AccessResult CodecOperations::ConfigureDacOut(int a) { return apply(kConfigureDacOut, a); }
AccessResult CodecOperations::SelectHpInput(int a) { return apply(kSelectHpInput, a); }
AccessResult CodecOperations::WriteDapMixerInput(int a) { return apply(kWriteDapMixerInput, a); }
AccessResult CodecOperations::ConfigureAdcInput(int a) { return apply(kConfigureAdcInput, a); }
AccessResult CodecOperations::WriteAdcMute(int a) { return apply(kWriteAdcMute, a); }
AccessResult CodecOperations::WriteAdcZcd(int a) { return apply(kWriteAdcZcd, a); }
AccessResult CodecOperations::WriteAdcLeftVolume(int a) { return apply(kWriteAdcLeftVolume, a); }
AccessResult CodecOperations::WriteAdcRightVolume(int a) { return apply(kWriteAdcRightVolume, a); }
AccessResult CodecOperations::WriteMicGain(int a) { return apply(kWriteMicGain, a); }
AccessResult CodecOperations::ConfigureMicBias(int a) { return apply(kConfigureMicBias, a); }
AccessResult CodecOperations::WriteDacMute(int a) { return apply(kWriteDacMute, a); }
AccessResult CodecOperations::WriteHpLeftVolume(int a) { return apply(kWriteHpLeftVolume, a); }
AccessResult CodecOperations::WriteHpRightVolume(int a) { return apply(kWriteHpRightVolume, a); }
AccessResult CodecOperations::WriteHpZcd(int a) { return apply(kWriteHpZcd, a); }
AccessResult CodecOperations::WriteLineOutMute(int a) { return apply(kWriteLineOutMute, a); }
AccessResult CodecOperations::WriteDapMixerEnable(int a) { return apply(kWriteDapMixerEnable, a); }
AccessResult CodecOperations::WriteDapMixerVolume(int a) { return apply(kWriteDapMixerVolume, a); }
AccessResult CodecOperations::WriteDapMainVolume(int a) { return apply(kWriteDapMainVolume, a); }
AccessResult CodecOperations::WriteSurroundWidth(int a) { return apply(kWriteSurroundWidth, a); }
AccessResult CodecOperations::WriteSurroundEnable(int a) { return apply(kWriteSurroundEnable, a); }
AccessResult CodecOperations::WriteBassEnhanceEnable(int a) { return apply(kWriteBassEnhanceEnable, a); }
AccessResult CodecOperations::WriteBassCutoff(int a) { return apply(kWriteBassCutoff, a); }
AccessResult CodecOperations::WriteBassHpfCutoff(int a) { return apply(kWriteBassHpfCutoff, a); }
AccessResult CodecOperations::WriteBassMult(int a) { return apply(kWriteBassMult, a); }
AccessResult CodecOperations::WriteBassHpfBypass(int a) { return apply(kWriteBassHpfBypass, a); }
AccessResult CodecOperations::WriteBassLevel(int a) { return apply(kWriteBassLevel, a); }
AccessResult CodecOperations::WriteBassLrLevel(int a) { return apply(kWriteBassLrLevel, a); }
AccessResult CodecOperations::SelectEqMode(int a) { return apply(kSelectEqMode, a); }
AccessResult CodecOperations::WriteNumPeqFilters(int a) { return apply(kWriteNumPeqFilters, a); }
AccessResult CodecOperations::WriteGeq0Volume(int a) { return apply(kWriteGeqVolume[0], a); }
AccessResult CodecOperations::WriteGeq1Volume(int a) { return apply(kWriteGeqVolume[1], a); }
AccessResult CodecOperations::WriteGeq2Volume(int a) { return apply(kWriteGeqVolume[2], a); }
AccessResult CodecOperations::WriteGeq3Volume(int a) { return apply(kWriteGeqVolume[3], a); }
AccessResult CodecOperations::WriteGeq4Volume(int a) { return apply(kWriteGeqVolume[4], a); }
AccessResult CodecOperations::WriteToneBass(int a) { return apply(kWriteToneBass, a); }
AccessResult CodecOperations::WriteToneTreble(int a) { return apply(kWriteToneTreble, a); }
AccessResult CodecOperations::WriteAvcEnable(int a) { return apply(kWriteAvcEnable, a); }
AccessResult CodecOperations::WriteAvcAttackRate(int a) { return apply(kWriteAvcAttackRate, a); }
AccessResult CodecOperations::WriteAvcMaxGain(int a) { return apply(kWriteAvcMaxGain, a); }
AccessResult CodecOperations::WriteAvcDecayRate(int a) { return apply(kWriteAvcDecayRate, a); }
AccessResult CodecOperations::WriteAvcLbiResponse(int a) { return apply(kWriteAvcLbiResponse, a); }
AccessResult CodecOperations::WriteAvcThreshold(int a) { return apply(kWriteAvcThreshold, a); }

AccessResult CodecOperations::WriteGeqVolume(int band, int a) {
  // There are five band registers; any other band has nowhere to go, so nothing is logged.
  if (band < 0 || band >= static_cast<int>(kWriteGeqVolume.size())) return Refused(reg::DAP_AUDIO_EQ_BASS_BAND0_REG);
  return apply(kWriteGeqVolume[static_cast<std::size_t>(band)], a);
}

std::optional<std::int32_t> DacVolumeCode(double dB) {
  // The DAC's range: 0x3C is 0 dB, 0xFB about -95.8 dB, the two ends of the volume slider.
  // A code outside it does not fit the channel's byte as meant: -100 dB (code 0x103) would
  // write 0x0303 and +40 dB (code -19) 0xFFED, both far louder than 0 dB.
  constexpr double kLoudestCode = 0x3C;
  constexpr double kQuietestCode = 0xFB;
  // Kept as two separately rounded double operations: the codes of the volume slider's
  // positions depend on the exact rounding (some products land just below an integer).
  const double scaled = dB * kDacCodesPerDb;
  const double c = scaled + kDacZeroDbCode;
  // Compared before the truncation, which is undefined for a level that is not a number or
  // whose code does not fit an int. Truncation takes every c in [0x3C, 0xFC) to a code in
  // range: -0.5 dB (60.9966) still gives 0x3C.
  if (!(c >= kLoudestCode && c < kQuietestCode + 1)) return std::nullopt;
  return static_cast<std::int32_t>(c);  // toward zero
}

AccessResult CodecOperations::ConfigureDacVolume(double dB) {
  // A level without a code in the DAC's range is refused: nothing is logged or sent.
  const std::optional<std::int32_t> dacCode = DacVolumeCode(dB);
  if (!dacCode) return Refused(reg::CHIP_DAC_VOL_REG);
  const auto code = static_cast<std::uint32_t>(*dacCode);
  WriteLog& log = m_link.writeLog();
  log.appendComment(kBlankLine);
  log.appendComment("# Configure DAC Volume\n");
  // Left channel in bits 7:0, the same code for the right channel in bits 15:8.
  const auto value = static_cast<std::uint16_t>(code | ((code & 0xFF) << 8));
  return m_link.Write(reg::CHIP_DAC_VOL_REG, value);
}

AccessResult CodecOperations::ConfigurePllDivisor(int integerPart, int fractionalPart) {
  WriteLog& log = m_link.writeLog();
  log.appendComment(kBlankLine);
  log.appendComment("# Configure PLL divisor\n");
  // Integer divisor in bits 15:11, fraction in 1/2048 units in bits 10:0. Neither part is
  // masked; the Initialization page always passes a fraction below 2048.
  const auto value = static_cast<std::uint16_t>((static_cast<std::uint32_t>(integerPart) << 11) |
                                                static_cast<std::uint32_t>(fractionalPart));
  return m_link.Write(reg::CHIP_PLL_CTRL_REG, value);
}

AccessTally CodecOperations::RampHpVolume(int target) {
  ScopedTally tally(m_link);
  // Without a value read back (SPI cannot read; a failed read delivers nothing) there is no
  // known starting point, and stepping from a guess could blast the headphones: do nothing.
  const std::optional<std::uint16_t> present = m_link.Read(reg::CHIP_ANA_HP_CTRL_REG).value;
  if (!present) return tally.tally();
  // The left channel's field (with bit 7) drives both channels.
  int current = *present & 0xFF;
  const int goal = target & 0xFF;
  if (current == goal) return tally.tally();
  const int steps = std::abs(goal - current);
  // One step per code keeps the change click-free; over I2C the steps stay out of the log.
  LinkSettings& settings = m_link.settings();
  settings.logRegisterWrites = 0;
  for (int i = 0; i < steps; ++i) {
    current += current < goal ? 1 : -1;
    m_link.Write(reg::CHIP_ANA_HP_CTRL_REG, static_cast<std::uint16_t>(current | (current << 8)));
  }
  settings.logRegisterWrites = 1;
  WriteLog& log = m_link.writeLog();
  log.appendComment(kBlankLine);
  log.appendComment("# Ramping HP Volume...\n");
  return tally.tally();
}

AccessTally CodecOperations::WriteHpMute(int flag) {
  ScopedTally tally(m_link);
  WriteLog& log = m_link.writeLog();
  if (static_cast<std::uint16_t>(flag) == 1) {
    // Remember the volume to come back to; a read that delivers nothing keeps the last one.
    if (const std::optional<std::uint16_t> present = m_link.Read(reg::CHIP_ANA_HP_CTRL_REG).value) {
      m_savedHpVolume = *present;
      m_hpVolumeSaved = true;
    }
    RampHpVolume(kHpQuietestTarget);
    log.appendComment(kBlankLine);
    log.appendComment("# Mute HP Out\n");
    m_link.Modify(reg::CHIP_ANA_CTRL_REG, kHpMuteKeep, kHpMuteValue);
    return tally.tally();
  }
  log.appendComment(kBlankLine);
  log.appendComment("# Unmute HP Out\n");
  // Bit 4 takes bit 0 of the flag (callers pass 0, which clears the mute).
  m_link.Modify(reg::CHIP_ANA_CTRL_REG, kHpMuteKeep, static_cast<std::uint16_t>(static_cast<std::uint32_t>(flag) << 4));
  if (m_hpVolumeSaved) RampHpVolume(m_savedHpVolume);
  return tally.tally();
}

AccessTally CodecOperations::WriteDapEnable(int enable) {
  ScopedTally tally(m_link);
  WriteLog& log = m_link.writeLog();
  log.appendComment(kBlankLine);
  log.appendComment("# Writing DAP enable and disable\n");
  // The DAC is muted around the switch so the change in the signal path makes no pop. If it
  // could not be muted the processor is left alone, but the unmute is still sent.
  if (WriteDacMute(1).status == status::kOk) {
    m_link.Modify(reg::DAP_CONTROL_REG, kDapEnableKeep, static_cast<std::uint16_t>(enable));
  }
  WriteDacMute(0);
  // The tally's status is the first failure of the three, even when the unmute went through.
  return tally.tally();
}

}  // namespace tonvisor
