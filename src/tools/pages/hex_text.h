#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tonvisor {

// Hexadecimal text typed by the user, read as the C library's strtoul reads base 16: leading
// white space, an optional sign, an optional 0x or 0X, then digits up to the first character
// that is not one. Nothing when there is no digit at all.
std::optional<unsigned long> ParseHexText(std::string_view text);

// The same reading cut to a 16-bit register address or value: 0 when there is no digit,
// otherwise the low 16 bits (only those reach the chip).
std::uint16_t RegisterFromHexText(std::string_view text);

// A register value as the chip tool has always shown it: four upper-case digits, no prefix.
std::string FormatRegisterValue(std::uint16_t value);

}  // namespace tonvisor
