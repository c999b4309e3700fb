#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The numbers and addresses users type, read and written in one place. Each function is one
// reading rule; the panel, the command-line tool, the board and the script reader pick the
// rule their text has always followed, so the same kind of text reads the same everywhere.

namespace tonvisor {

// A hexadecimal number as the C library's strtoul reads base 16: leading white space, an
// optional sign, an optional 0x or 0X, then digits up to the first character that is not one
// ("0x" alone reads as 0). Only the low 16 bits are kept (only those reach the chip), so "-1"
// gives FFFF and "10000" gives 0. Nothing when there is no digit at all. The panel's
// register boxes and I2C address.
std::optional<std::uint16_t> ReadLenientHex16(std::string_view text);

// A hexadecimal number from 0 to FFFF and nothing else: an optional 0x or 0X, then at least
// one digit. No blanks, no sign. The command-line tool's and the board's options.
std::optional<std::uint16_t> ReadStrictHex16(std::string_view text);

// A script file's register or value field: an optional 0x or 0X, then digits up to the first
// character that is not one. Nothing when there is no digit, or when the number does not fit
// 16 bits (writing its low bits somewhere the author did not mean is worse than not writing).
// Saved scripts depend on exactly this.
std::optional<std::uint16_t> ReadScriptHex16(std::string_view field);

// A TCP port from 0 to 65535: decimal digits only (leading zeros are fine), with white space
// allowed before and after them. No sign. Zero is a port here; whether it may be used is the
// caller's to say.
std::optional<std::uint16_t> ReadPort(std::string_view text);

// A dotted IPv4 address as inet_pton reads it: four decimal parts from 0 to 255, no leading
// zeros, no blanks. The address as a number, its first part in the top byte.
std::optional<std::uint32_t> ReadDottedIpv4(std::string_view text);

// A decimal number and, when there is none, why.
template <typename T>
struct NumberReading {
  std::optional<T> value;
  bool outOfRange = false;  // the text has a number's form but the number does not fit T
};

// A decimal integer filling the whole text: an optional + or -, then digits only.
NumberReading<int> ReadDecimalInt(std::string_view text);

// A finite decimal number filling the whole text, such as -0.5017, +3 or -9e1; "inf" and
// "nan" are not numbers, and a number too large (or too small) for a double is out of range.
NumberReading<double> ReadFiniteNumber(std::string_view text);

// A number as scanf's "%f" reads it, whatever the user's locale: leading white space, an
// optional sign, digits with "." as the decimal point and an optional exponent (or inf or
// nan), up to the first character that does not fit. Nothing when no number starts the text
// or it is out of the range of a float.
std::optional<float> ReadLeadingFloat(std::string_view text);

// A decimal number at the start of a text, as the DAP pages read their boxes ("100%", "-12",
// "2.9"): leading white space, an optional sign, digits with "." as the decimal point and an
// optional exponent, up to the first character that does not fit. Never hexadecimal, inf or
// nan: "0x1F" reads as 0 and "inf" as no number. Nothing when no number starts the text. A
// number beyond the range of a double reads as the largest double of its sign, one too small
// for it as 0: every caller clamps or refuses numbers far smaller than that.
std::optional<double> ReadLeadingDecimal(std::string_view text);

// A double as the shortest C-locale text that reads back as the same number ("1000", "0.707",
// "1000000"; an exponent only below 1e-6 or from 1e15 up: "1e-07"), and with a fixed number of decimals ("6.000"); never a comma, whatever the locale.
std::string FormatDecimal(double value);
std::string FormatFixed(double value, int decimals);

// A register address or value as the panel shows it: four upper-case digits ("%04X").
std::string FormatHex4(std::uint16_t value);
// The same with a 0x ahead ("0x%04X"), as the command-line tool prints it.
std::string FormatPrefixedHex4(std::uint16_t value);

}  // namespace tonvisor
