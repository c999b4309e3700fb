#pragma once

#include <cstdint>
#include <optional>

#include "link/device_link.h"

namespace tonvisor {

namespace status {
// An argument that names no register or field value at all (a graphic-EQ band other than 0
// to 4, a DAC level outside 0 to -95.8 dB): nothing was logged or sent.
inline constexpr Status kInvalidArgument = 200;
}  // namespace status

// The DAC volume code of a level in dB, as ConfigureDacVolume writes it to both channels:
// dB * (-1.9932230416583614) + 60 in double precision, truncated toward zero (0 dB is code
// 0x3C, one code is 0.5017 dB). Nothing when the code falls outside the DAC's range, 0x3C
// (0 dB) to 0xFB (-95.8 dB), or the level is not a number.
std::optional<std::int32_t> DacVolumeCode(double dB);

// Where one field operation puts its argument: register, keep-mask, shift, comment line and
// access kind. The table of them lives with the operations.
struct CodecField;

// One named operation per register field of the KRVL7300, plus the composite ones. Each
// appends its blank separator and comment line to the write log, then reads-modifies-writes
// (or writes) its register through the link, and returns the link's status unchanged.
// Arguments are not range-checked: bits outside a field are dropped by its keep-mask.
class CodecOperations {
 public:
  explicit CodecOperations(DeviceLink& link) : m_link(link) {}

  // Clocks
  Status ConfigureSysMclk(int a);
  Status ConfigureSampleRate(int a);
  Status InitializePllPower(int a);
  Status ConfigureSysMclkDiv2(int a);
  Status ConfigurePllDivisor(int integerPart, int fractionalPart);
  // I2S port
  Status ConfigureI2sMasterSlave(int a);
  Status ConfigureI2s0SclkFreq(int a);
  Status ConfigureI2s0SclkInv(int a);
  Status ConfigureI2s0LrAlign(int a);
  Status ConfigureI2s0Mode(int a);
  Status ConfigureI2s0LrPol(int a);
  Status ConfigureI2s0DLen(int a);
  // Routing
  Status ConfigureDapSelect(int a);
  Status ConfigureI2sDout(int a);
  Status ConfigureDacOut(int a);
  Status SelectHpInput(int a);
  Status WriteDapMixerInput(int a);
  // ADC and microphone
  Status ConfigureAdcInput(int a);
  Status WriteAdcMute(int a);
  Status WriteAdcZcd(int a);
  Status WriteAdcLeftVolume(int a);
  Status WriteAdcRightVolume(int a);
  Status WriteMicGain(int a);
  Status ConfigureMicBias(int a);
  // DAC, headphone and line out
  // Bit 0 of a mutes (1) or unmutes (0) both channels together, as InitializePllPower
  // switches both PLL power bits from bit 0 of its argument.
  Status WriteDacMute(int a);
  // No read, no clamping; a level without a code in range (see DacVolumeCode) is refused
  // with kInvalidArgument and nothing is logged or sent.
  Status ConfigureDacVolume(double dB);
  Status WriteHpLeftVolume(int a);
  Status WriteHpRightVolume(int a);
  Status WriteHpZcd(int a);
  Status WriteLineOutMute(int a);
  // Steps both headphone channels one code at a time from the left channel's present code to
  // the low byte of target; the steps stay out of an I2C write log. Does nothing when the
  // present code cannot be read (SPI, or a failed read).
  void RampHpVolume(int target);
  // 1 (as 16 bits) saves the volume, ramps to the quietest code and sets the mute; anything
  // else clears the mute (bit 0 of flag) and ramps back to the saved volume.
  void WriteHpMute(int flag);
  // Audio processor
  // Mutes the DAC, switches the processor (only if the mute went through) and always unmutes;
  // returns the first failure of the three, 0 when all went through.
  Status WriteDapEnable(int enable);
  Status WriteDapMixerEnable(int a);
  Status WriteDapMixerVolume(int a);
  Status WriteDapMainVolume(int a);
  Status WriteSurroundWidth(int a);
  Status WriteSurroundEnable(int a);
  Status WriteBassEnhanceEnable(int a);
  Status WriteBassCutoff(int a);
  Status WriteBassHpfCutoff(int a);
  Status WriteBassMult(int a);
  Status WriteBassHpfBypass(int a);
  Status WriteBassLevel(int a);
  Status WriteBassLrLevel(int a);
  Status SelectEqMode(int a);
  Status WriteNumPeqFilters(int a);
  Status WriteGeq0Volume(int a);
  Status WriteGeq1Volume(int a);
  Status WriteGeq2Volume(int a);
  Status WriteGeq3Volume(int a);
  Status WriteGeq4Volume(int a);
  // The five graphic-EQ bands as one family: band 0 to 4.
  Status WriteGeqVolume(int band, int a);
  Status WriteToneBass(int a);
  Status WriteToneTreble(int a);
  Status WriteAvcEnable(int a);
  Status WriteAvcAttackRate(int a);
  Status WriteAvcMaxGain(int a);
  Status WriteAvcDecayRate(int a);
  Status WriteAvcLbiResponse(int a);
  Status WriteAvcThreshold(int a);

  // CHIP_ANA_HP_CTRL_REG as the last mute found it; the unmute ramps back to its low byte.
  std::uint16_t SavedHpVolume() const { return m_savedHpVolume; }

  DeviceLink& link() { return m_link; }

 private:
  // Appends the field's comment lines, then modifies or writes its register with a.
  Status apply(const CodecField& field, int a);

  DeviceLink& m_link;
  std::uint16_t m_savedHpVolume = 0;
};

}  // namespace tonvisor
