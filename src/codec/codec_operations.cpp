#include "codec/codec_operations.h"

#include <cstdlib>
#include <iterator>
#include <optional>
#include <span>
#include <string_view>

#include "codec/register_map.h"
#include "link/user_action.h"

namespace tonvisor {

namespace {

constexpr std::string_view kBlankLine = "   \n";

constexpr bool WithinTheRegister(const CodecField& f) {
  return f.bits.lowBit >= 0 && f.bits.width >= 1 && f.bits.lowBit + f.bits.width <= 16;
}
#define TONVISOR_CHECK_FIELD(name, ...) \
  static_assert(WithinTheRegister(field::name), #name ": the field does not fit its register");
TONVISOR_CODEC_FIELDS(TONVISOR_CHECK_FIELD)
#undef TONVISOR_CHECK_FIELD

#define TONVISOR_FIELD_ADDRESS(name, ...) &field::name,
constexpr const CodecField* kAllFields[] = {TONVISOR_CODEC_FIELDS(TONVISOR_FIELD_ADDRESS)};
#undef TONVISOR_FIELD_ADDRESS

// The graphic EQ's five bands, 0 (bass) to 4 (treble).
constexpr const CodecField* kGeqBands[] = {&field::WriteGeq0Volume, &field::WriteGeq1Volume, &field::WriteGeq2Volume,
                                           &field::WriteGeq3Volume, &field::WriteGeq4Volume};

// The DAC volume code steps by 0.5017 dB; this is the double nearest to -1/0.5017, and code
// 60 (0x3C) is 0 dB.
constexpr double kDacCodesPerDb = -1.9932230416583614;
constexpr double kDacZeroDbCode = 60.0;

constexpr std::uint16_t kHpMuteValue = 1 << 4;  // CHIP_ANA_CTRL_REG bit 4
constexpr std::uint16_t kHpMuteKeep = 0xFFEF;
// The headphone volume field's largest code is its quietest setting.
constexpr int kHpQuietestCode = field::WriteHpLeftVolume.largestCode();
// The left channel's volume code in CHIP_ANA_HP_CTRL_REG; the ramp drives both channels from it.
constexpr int LeftHpCode(std::uint16_t value) { return value & kHpQuietestCode; }
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

std::span<const CodecField* const> CodecFields() { return kAllFields; }

CodecOperations::CodecOperations(DeviceLink& link) : m_link(link) { m_link.cache().describe(RegisterDescriptions()); }

AccessResult CodecOperations::apply(const CodecField& field, int a) {
  WriteLog& log = m_link.writeLog();
  log.appendComment(kBlankLine);
  log.appendComment(field.comment);
  const std::uint16_t value = field.valueFor(a);
  if (field.access == FieldAccess::Write) return m_link.Write(field.address, value);
  return m_link.Modify(field.address, field.keepMask(), value);
}

AccessResult CodecOperations::WriteGeqVolume(int band, int a) {
  // There are five band registers; any other band has nowhere to go, so nothing is logged.
  if (band < 0 || band >= static_cast<int>(std::size(kGeqBands))) return Refused(reg::DAP_AUDIO_EQ_BASS_BAND0_REG);
  return apply(*kGeqBands[band], a);
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
  const auto value = static_cast<std::uint16_t>((static_cast<std::uint32_t>(integerPart) << kPllIntegerBits.lowBit) |
                                                static_cast<std::uint32_t>(fractionalPart));
  return m_link.Write(reg::CHIP_PLL_CTRL_REG, value);
}

AccessTally CodecOperations::RampHpVolume(int target) {
  // The target is a code of the 7-bit volume field. Anything past it would be stepped to in
  // codes the field does not hold (0x80 reads as code 0, +12 dB): refused, nothing sent.
  if (target < 0 || target > kHpQuietestCode) {
    AccessTally refused;
    refused.add(Refused(reg::CHIP_ANA_HP_CTRL_REG));
    return refused;
  }
  ScopedTally tally(m_link);
  // Without a value read back (SPI cannot read; a failed read delivers nothing) there is no
  // known starting point, and stepping from a guess could blast the headphones: do nothing.
  const std::optional<std::uint16_t> present = m_link.Read(reg::CHIP_ANA_HP_CTRL_REG).value;
  if (present) stepHpVolume(LeftHpCode(*present), target);
  return tally.tally();
}

void CodecOperations::stepHpVolume(int from, int to) {
  if (from == to) return;
  // One step per code keeps the change click-free; over I2C the steps stay out of the log.
  LinkSettings& settings = m_link.settings();
  settings.logRegisterWrites = 0;
  for (int code = from; code != to;) {
    code += code < to ? 1 : -1;
    m_link.Write(reg::CHIP_ANA_HP_CTRL_REG, static_cast<std::uint16_t>(code | (code << 8)));
  }
  settings.logRegisterWrites = 1;
  WriteLog& log = m_link.writeLog();
  log.appendComment(kBlankLine);
  log.appendComment("# Ramping HP Volume...\n");
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
    RampHpVolume(kHpQuietestCode);
    log.appendComment(kBlankLine);
    log.appendComment("# Mute HP Out\n");
    m_link.Modify(reg::CHIP_ANA_CTRL_REG, kHpMuteKeep, kHpMuteValue);
    return tally.tally();
  }
  // The headphones are never unmuted above their quietest code: a volume chosen while muted
  // already sits in the register, and clearing the mute over it would jump straight there.
  // So both channels go down to the quietest code while still muted (inaudible), and the
  // unmute's ramp brings them up. When that cannot be made sure of (no value read, a step
  // that failed) the mute stays on.
  const std::optional<std::uint16_t> found = m_link.Read(reg::CHIP_ANA_HP_CTRL_REG).value;
  bool quiet = false;
  if (found) {
    ScopedTally steps(m_link);
    int left = LeftHpCode(*found);
    // The steps set both channels from the left one's code; a right channel louder than an
    // already quiet left one still needs that one step.
    if (left == kHpQuietestCode && ((*found >> 8) & kHpQuietestCode) != kHpQuietestCode) left = kHpQuietestCode - 1;
    stepHpVolume(left, kHpQuietestCode);
    quiet = steps.tally().allWentThrough();
  }
  log.appendComment(kBlankLine);
  log.appendComment("# Unmute HP Out\n");
  if (!quiet) return tally.tally();
  // Bit 4 takes bit 0 of the flag (callers pass 0, which clears the mute).
  if (!m_link.Modify(reg::CHIP_ANA_CTRL_REG, kHpMuteKeep,
                     static_cast<std::uint16_t>(static_cast<std::uint32_t>(flag) << 4)).ok()) {
    return tally.tally();
  }
  // Up to the volume saved at the mute (or chosen since); with none saved in this run, to the
  // one the unmute found. Bit 7 set names no code of the field: the volume stays quietest.
  const int volume = (m_hpVolumeSaved ? m_savedHpVolume : *found) & 0xFF;
  if (volume <= kHpQuietestCode) stepHpVolume(kHpQuietestCode, volume);
  return tally.tally();
}

AccessTally CodecOperations::switchDap(int enable, bool unmute) {
  ScopedTally tally(m_link);
  WriteLog& log = m_link.writeLog();
  log.appendComment(kBlankLine);
  log.appendComment("# Writing DAP enable and disable\n");
  // The DAC is muted around the switch so the change in the signal path makes no pop. If it
  // could not be muted the processor is left alone, but the unmute is still sent.
  // Whether the mute reached the chip, not its status: that stays 0 when the board failed or
  // SPI refused the read-modify-write.
  if (WriteDacMute(1).ok()) {
    m_link.Modify(reg::DAP_CONTROL_REG, kDapEnableKeep, static_cast<std::uint16_t>(enable));
  }
  if (unmute) WriteDacMute(0);
  // The tally's status is the first failure of the three, even when the unmute went through.
  return tally.tally();
}

}  // namespace tonvisor
