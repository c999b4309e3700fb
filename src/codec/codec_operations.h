#pragma once

#include <cstdint>
#include <optional>

#include "link/device_link.h"

namespace tonvisor {

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
// (or writes) its register through the link, and returns what the link made of the access
// (its `status` is the dispatchers' status, unchanged).
// Arguments are not range-checked: bits outside a field are dropped by its keep-mask.
class CodecOperations {
 public:
  explicit CodecOperations(DeviceLink& link) : m_link(link) {}

  // Clocks
  AccessResult ConfigureSysMclk(int a);
  AccessResult ConfigureSampleRate(int a);
  AccessResult InitializePllPower(int a);
  AccessResult ConfigureSysMclkDiv2(int a);
  AccessResult ConfigurePllDivisor(int integerPart, int fractionalPart);
  // I2S port
  AccessResult ConfigureI2sMasterSlave(int a);
  AccessResult ConfigureI2s0SclkFreq(int a);
  AccessResult ConfigureI2s0SclkInv(int a);
  AccessResult ConfigureI2s0LrAlign(int a);
  AccessResult ConfigureI2s0Mode(int a);
  AccessResult ConfigureI2s0LrPol(int a);
  AccessResult ConfigureI2s0DLen(int a);
  // Routing
  AccessResult ConfigureDapSelect(int a);
  AccessResult ConfigureI2sDout(int a);
  AccessResult ConfigureDacOut(int a);
  AccessResult SelectHpInput(int a);
  AccessResult WriteDapMixerInput(int a);
  // ADC and microphone
  AccessResult ConfigureAdcInput(int a);
  AccessResult WriteAdcMute(int a);
  AccessResult WriteAdcZcd(int a);
  AccessResult WriteAdcLeftVolume(int a);
  AccessResult WriteAdcRightVolume(int a);
  AccessResult WriteMicGain(int a);
  AccessResult ConfigureMicBias(int a);
  // DAC, headphone and line out
  // Bit 0 of a mutes (1) or unmutes (0) both channels together, as InitializePllPower
  // switches both PLL power bits from bit 0 of its argument.
  AccessResult WriteDacMute(int a);
  // No read, no clamping; a level without a code in range (see DacVolumeCode) is refused
  // with kInvalidArgument and nothing is logged or sent.
  AccessResult ConfigureDacVolume(double dB);
  AccessResult WriteHpLeftVolume(int a);
  AccessResult WriteHpRightVolume(int a);
  AccessResult WriteHpZcd(int a);
  AccessResult WriteLineOutMute(int a);
  // Steps both headphone channels one code at a time from the left channel's present code to
  // the low byte of target; the steps stay out of an I2C write log. Does nothing when the
  // present code cannot be read (SPI, or a failed read). Reports every access it made.
  AccessTally RampHpVolume(int target);
  // 1 (as 16 bits) saves the volume, ramps to the quietest code and sets the mute; anything
  // else clears the mute (bit 0 of flag) and ramps back to the saved volume. An unmute before
  // any volume was saved in this run only clears the mute: there is nothing to ramp back to,
  // and ramping to a made-up volume could blast the headphones.
  AccessTally WriteHpMute(int flag);
  // Audio processor
  // Mutes the DAC, switches the processor (only if the mute went through) and always unmutes;
  // its status is the first failure of the three, 0 when all went through.
  AccessTally WriteDapEnable(int enable);
  AccessResult WriteDapMixerEnable(int a);
  AccessResult WriteDapMixerVolume(int a);
  AccessResult WriteDapMainVolume(int a);
  AccessResult WriteSurroundWidth(int a);
  AccessResult WriteSurroundEnable(int a);
  AccessResult WriteBassEnhanceEnable(int a);
  AccessResult WriteBassCutoff(int a);
  AccessResult WriteBassHpfCutoff(int a);
  AccessResult WriteBassMult(int a);
  AccessResult WriteBassHpfBypass(int a);
  AccessResult WriteBassLevel(int a);
  AccessResult WriteBassLrLevel(int a);
  AccessResult SelectEqMode(int a);
  AccessResult WriteNumPeqFilters(int a);
  AccessResult WriteGeq0Volume(int a);
  AccessResult WriteGeq1Volume(int a);
  AccessResult WriteGeq2Volume(int a);
  AccessResult WriteGeq3Volume(int a);
  AccessResult WriteGeq4Volume(int a);
  // The five graphic-EQ bands as one family: band 0 to 4.
  AccessResult WriteGeqVolume(int band, int a);
  AccessResult WriteToneBass(int a);
  AccessResult WriteToneTreble(int a);
  AccessResult WriteAvcEnable(int a);
  AccessResult WriteAvcAttackRate(int a);
  AccessResult WriteAvcMaxGain(int a);
  AccessResult WriteAvcDecayRate(int a);
  AccessResult WriteAvcLbiResponse(int a);
  AccessResult WriteAvcThreshold(int a);

  // CHIP_ANA_HP_CTRL_REG as the last mute found it; the unmute ramps back to its low byte.
  std::uint16_t SavedHpVolume() const { return m_savedHpVolume; }

  DeviceLink& link() { return m_link; }

 private:
  // Appends the field's comment lines, then modifies or writes its register with a.
  AccessResult apply(const CodecField& field, int a);

  DeviceLink& m_link;
  std::uint16_t m_savedHpVolume = 0;
  bool m_hpVolumeSaved = false;
};

}  // namespace tonvisor
