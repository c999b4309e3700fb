#pragma once

#include <cstdint>
#include <optional>

#include "codec/codec_fields.h"
#include "link/device_link.h"

namespace tonvisor {

// The DAC volume code of a level in dB, as ConfigureDacVolume writes it to both channels:
// dB * (-1.9932230416583614) + 60 in double precision, truncated toward zero (0 dB is code
// 0x3C, one code is 0.5017 dB). Nothing when the code falls outside the DAC's range, 0x3C
// (0 dB) to 0xFB (-95.8 dB), or the level is not a number.
std::optional<std::int32_t> DacVolumeCode(double dB);

// One named operation per register field of the KRVL7300, plus the composite ones. Each
// appends its blank separator and comment line to the write log, then reads-modifies-writes
// (or writes) its register through the link, and returns what the link made of the access
// (its `status` is the dispatchers' status, unchanged).
// Field arguments are not range-checked: bits outside a field are dropped by its keep-mask
// (callers that take numbers from people or files check them first, see operation_index.h).
class CodecOperations {
 public:
  // Tells the link's cache which registers the chip has and how each behaves.
  explicit CodecOperations(DeviceLink& link);

  // One operation per field of the table in codec_fields.h, named as its row:
  // ConfigureSysMclk(a), WriteAdcMute(a), WriteDacMute(a) (bit 0 of a mutes or unmutes both
  // channels together), WriteAvcThreshold(a) and the rest.
#define TONVISOR_FIELD_OPERATION(name, ...) \
  AccessResult name(int a) { return apply(field::name, a); }
  TONVISOR_CODEC_FIELDS(TONVISOR_FIELD_OPERATION)
#undef TONVISOR_FIELD_OPERATION

  // Appends the field's comment lines, then modifies or writes its register with a.
  AccessResult apply(const CodecField& field, int a);

  // The five graphic-EQ bands as one family: band 0 to 4.
  AccessResult WriteGeqVolume(int band, int a);

  // Composite operations
  // No read, no clamping; a level without a code in range (see DacVolumeCode) is refused
  // with kInvalidArgument and nothing is logged or sent.
  AccessResult ConfigureDacVolume(double dB);
  AccessResult ConfigurePllDivisor(int integerPart, int fractionalPart);
  // Steps both headphone channels one code at a time from the left channel's present code to
  // target, a code of the 7-bit volume field (0, +12 dB, to 127, the quietest); the steps stay
  // out of an I2C write log. A target outside the field is refused with kInvalidArgument,
  // nothing sent or logged. Does nothing when the present code cannot be read (SPI, or a
  // failed read). Reports every access it made.
  AccessTally RampHpVolume(int target);
  // 1 (as 16 bits) saves the volume, ramps to the quietest code and sets the mute; anything
  // else unmutes: both channels go to the quietest code while still muted, the mute clears
  // (bit 0 of flag) and the volume ramps up to the saved one (with none saved in this run, to
  // the one found). The mute stays on when the volume cannot be read or brought down.
  AccessTally WriteHpMute(int flag);
  // Mutes the DAC, switches the processor (only if the mute went through) and always unmutes;
  // its status is the first failure of the three, 0 when all went through.
  AccessTally WriteDapEnable(int enable) { return switchDap(enable, true); }
  // The same while the user keeps the DAC muted: muted for the switch, and left muted (no
  // unmute, not even for a moment).
  AccessTally WriteDapEnableKeepingDacMuted(int enable) { return switchDap(enable, false); }

  // CHIP_ANA_HP_CTRL_REG as the last mute found it; the unmute ramps back to its low byte.
  std::uint16_t SavedHpVolume() const { return m_savedHpVolume; }
  bool HpVolumeSaved() const { return m_hpVolumeSaved; }
  // The volume the next unmute ramps back to, when the user chooses one while muted.
  void SetSavedHpVolume(std::uint16_t value) {
    m_savedHpVolume = value;
    m_hpVolumeSaved = true;
  }

  DeviceLink& link() { return m_link; }

 private:
  AccessTally switchDap(int enable, bool unmute);
  // The ramp's steps from one code to another, then its comment; nothing when they are equal.
  void stepHpVolume(int from, int to);

  DeviceLink& m_link;
  std::uint16_t m_savedHpVolume = 0;
  bool m_hpVolumeSaved = false;
};

}  // namespace tonvisor
