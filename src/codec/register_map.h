#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "link/messenger.h"
#include "link/register_cache.h"

namespace tonvisor {

struct RegisterEntry {
  std::string_view name;
  std::uint32_t address;
  RegisterTraits traits;
};

// How the KRVL7300 treats its registers. Every named register answers a read.
namespace traits {
inline constexpr RegisterTraits kStored{};  // keeps what is written until written again
inline constexpr RegisterTraits kIdentity{.readOnly = true};  // the part and revision
inline constexpr RegisterTraits kStatus{.isVolatile = true, .readOnly = true};  // the analog status
// The filter-coefficient access register and the coefficient registers: a write loads a
// coefficient on its way into a band.
inline constexpr RegisterTraits kTrigger{.writeTriggers = true};
}  // namespace traits

// The chip's named registers, in ascending address order (the order every lookup scans).
extern const std::array<RegisterEntry, 53> RegisterMap;

// The row of a named register, or nullptr.
const RegisterEntry* FindRegister(std::uint16_t address);
// The named registers as a link's cache is told about them.
std::span<const DescribedRegister> RegisterDescriptions();

// The address of a register name (exact, case-sensitive, whole text). An unknown name tells
// the user "Invalid Register Name in the Script" (owned by the window running the script)
// and gives nothing: there is no register to write.
std::optional<std::uint16_t> FindRegisterAddress(std::string_view name, Messenger& messenger, Owner owner);
// The same lookup without telling anyone: nothing when the name is unknown.
std::optional<std::uint16_t> LookupRegisterAddress(std::string_view name);
// The name of a register address (its low 16 bits), or nothing.
std::optional<std::string_view> FindRegisterName(std::uint32_t address);

// Why writing a register's value back would not put the chip back as it was read: the
// read-only registers (the chip's ID, the analog status) and the filter-coefficient registers,
// whose writes load coefficients into a band rather than set a value. Nothing for the
// registers a write restores.
std::optional<std::string_view> NotRestoredByWrite(std::uint16_t address);

namespace reg {
inline constexpr std::uint16_t CHIP_ID_REG = 0x0000;
inline constexpr std::uint16_t CHIP_DIG_POWER_REG = 0x0002;
inline constexpr std::uint16_t CHIP_CLK_CTRL_REG = 0x0004;
inline constexpr std::uint16_t CHIP_I2S0_CTRL_REG = 0x0006;
inline constexpr std::uint16_t CHIP_I2S1_CTRL_REG = 0x0008;
inline constexpr std::uint16_t CHIP_SSS_CTRL_REG = 0x000A;
inline constexpr std::uint16_t CHIP_ADCDAC_CTRL_REG = 0x000E;
inline constexpr std::uint16_t CHIP_DAC_VOL_REG = 0x0010;
inline constexpr std::uint16_t CHIP_SPKR_VOL_REG = 0x0012;
inline constexpr std::uint16_t CHIP_PAD_STRENGTH_REG = 0x0014;
inline constexpr std::uint16_t CHIP_ANA_ADC_CTRL_REG = 0x0020;
inline constexpr std::uint16_t CHIP_ANA_HP_CTRL_REG = 0x0022;
inline constexpr std::uint16_t CHIP_ANA_CTRL_REG = 0x0024;
inline constexpr std::uint16_t CHIP_LINREG_CTRL_REG = 0x0026;
inline constexpr std::uint16_t CHIP_REF_CTRL_REG = 0x0028;
inline constexpr std::uint16_t CHIP_MIC_CTRL_REG = 0x002A;
inline constexpr std::uint16_t CHIP_LINE_OUT_CTRL_REG = 0x002C;
inline constexpr std::uint16_t CHIP_LINE_OUT_VOL_REG = 0x002E;
inline constexpr std::uint16_t CHIP_ANA_POWER_REG = 0x0030;
inline constexpr std::uint16_t CHIP_PLL_CTRL_REG = 0x0032;
inline constexpr std::uint16_t CHIP_CLK_TOP_CTRL_REG = 0x0034;
inline constexpr std::uint16_t CHIP_ANA_STATUS_REG = 0x0036;
inline constexpr std::uint16_t CHIP_ANA_TEST1_REG = 0x0038;
inline constexpr std::uint16_t CHIP_ANA_TEST2_REG = 0x003A;
inline constexpr std::uint16_t CHIP_SHORT_CTRL_REG = 0x003C;
inline constexpr std::uint16_t DAP_CONTROL_REG = 0x0100;
inline constexpr std::uint16_t DAP_PEQ_REG = 0x0102;
inline constexpr std::uint16_t DAP_BASS_ENHANCE_REG = 0x0104;
inline constexpr std::uint16_t DAP_BASS_ENHANCE_CTRL_REG = 0x0106;
inline constexpr std::uint16_t DAP_AUDIO_EQ_REG = 0x0108;
inline constexpr std::uint16_t DAP_KRVL_SURROUND_REG = 0x010A;
inline constexpr std::uint16_t DAP_FILTER_COEF_ACCESS_REG = 0x010C;
inline constexpr std::uint16_t DAP_COEF_WR_B0_MSB_REG = 0x010E;
inline constexpr std::uint16_t DAP_COEF_WR_B0_LSB_REG = 0x0110;
inline constexpr std::uint16_t DAP_AUDIO_EQ_BASS_BAND0_REG = 0x0116;
inline constexpr std::uint16_t DAP_AUDIO_EQ_BAND1_REG = 0x0118;
inline constexpr std::uint16_t DAP_AUDIO_EQ_BAND2_REG = 0x011A;
inline constexpr std::uint16_t DAP_AUDIO_EQ_BAND3_REG = 0x011C;
inline constexpr std::uint16_t DAP_AUDIO_EQ_TREBLE_BAND4_REG = 0x011E;
inline constexpr std::uint16_t DAP_MAIN_CHAN_REG = 0x0120;
inline constexpr std::uint16_t DAP_MIX_CHAN_REG = 0x0122;
inline constexpr std::uint16_t DAP_AVC_CTRL_REG = 0x0124;
inline constexpr std::uint16_t DAP_AVC_THRESHOLD_REG = 0x0126;
inline constexpr std::uint16_t DAP_AVC_ATTACK_REG = 0x0128;
inline constexpr std::uint16_t DAP_AVC_DECAY_REG = 0x012A;
inline constexpr std::uint16_t DAP_COEF_WR_B1_MSB_REG = 0x012C;
inline constexpr std::uint16_t DAP_COEF_WR_B1_LSB_REG = 0x012E;
inline constexpr std::uint16_t DAP_COEF_WR_B2_MSB_REG = 0x0130;
inline constexpr std::uint16_t DAP_COEF_WR_B2_LSB_REG = 0x0132;
inline constexpr std::uint16_t DAP_COEF_WR_A1_MSB_REG = 0x0134;
inline constexpr std::uint16_t DAP_COEF_WR_A1_LSB_REG = 0x0136;
inline constexpr std::uint16_t DAP_COEF_WR_A2_MSB_REG = 0x0138;
inline constexpr std::uint16_t DAP_COEF_WR_A2_LSB_REG = 0x013A;
}  // namespace reg

}  // namespace tonvisor
