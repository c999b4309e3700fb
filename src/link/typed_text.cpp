#include "link/typed_text.h"

#include <arpa/inet.h>
#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace tonvisor {

namespace {

// The white space of the C locale, which is what strtoul and scanf skip.
bool isWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view withoutHexPrefix(std::string_view text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  return text;
}

// from_chars takes no "+"; a single one ahead of a digit (not of another sign) is dropped.
std::string_view withoutPlus(std::string_view text) {
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
  return text;
}

}  // namespace

std::optional<std::uint16_t> ReadLenientHex16(std::string_view text) {
  const std::string terminated(text);  // strtoul needs the terminator
  const char* begin = terminated.c_str();
  char* end = nullptr;
  const unsigned long value = std::strtoul(begin, &end, 16);
  if (end == begin) return std::nullopt;
  return static_cast<std::uint16_t>(value & 0xFFFFu);
}

std::optional<std::uint16_t> ReadStrictHex16(std::string_view text) {
  text = withoutHexPrefix(text);
  if (text.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    const int digit = hexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
    if (value > 0xFFFF) return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

std::optional<std::uint16_t> ReadScriptHex16(std::string_view field) {
  field = withoutHexPrefix(field);
  std::uint32_t value = 0;
  std::size_t digits = 0;
  for (; digits < field.size(); ++digits) {
    const int digit = hexDigit(field[digits]);
    if (digit < 0) break;
    value = value * 16 + static_cast<std::uint32_t>(digit);
    if (value > 0xFFFF) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::optional<std::uint16_t> ReadPort(std::string_view text) {
  while (!text.empty() && isWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isWhiteSpace(text.back())) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
    // Checked at every digit, so no length of text can overflow the sum.
    if (value > 0xFFFF) return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

std::optional<std::uint32_t> ReadDottedIpv4(std::string_view text) {
  // inet_pton would stop at an embedded terminator and accept what comes before it.
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  const std::string terminated(text);
  in_addr address{};
  if (::inet_pton(AF_INET, terminated.c_str(), &address) != 1) return std::nullopt;
  return ntohl(address.s_addr);
}

NumberReading<int> ReadDecimalInt(std::string_view text) {
  const std::string_view digits = withoutPlus(text);
  const char* last = digits.data() + digits.size();
  long long value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), last, value);
  if (ec == std::errc::invalid_argument || end != last) return {};
  if (ec == std::errc::result_out_of_range || value < std::numeric_limits<int>::min() ||
      value > std::numeric_limits<int>::max()) {
    return {std::nullopt, true};
  }
  return {static_cast<int>(value)};
}

NumberReading<double> ReadFiniteNumber(std::string_view text) {
  const std::string_view digits = withoutPlus(text);
  const char* last = digits.data() + digits.size();
  double value = 0.0;
  const auto [end, ec] = std::from_chars(digits.data(), last, value);
  // from_chars reads "inf" and "nan" as numbers; a level or gain never is one.
  const bool whole = ec != std::errc::invalid_argument && end == last;
  if (!whole || std::isnan(value) || (ec == std::errc() && std::isinf(value))) return {};
  if (ec == std::errc::result_out_of_range) return {std::nullopt, true};
  return {value};
}

std::optional<float> ReadLeadingFloat(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isWhiteSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) return std::nullopt;  // one sign only
  float value = 0.0f;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error != std::errc() || end == first) return std::nullopt;
  return negative ? -value : value;
}

std::optional<double> ReadLeadingDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isWhiteSpace(text[i])) ++i;
  const std::size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const auto digitsFrom = [&](std::size_t at) {
    std::size_t end = at;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    return end;
  };
  std::size_t end = digitsFrom(i);
  std::size_t digits = end - i;
  if (end < text.size() && text[end] == '.') {
    const std::size_t fractionEnd = digitsFrom(end + 1);
    digits += fractionEnd - (end + 1);
    end = fractionEnd;
  }
  if (digits == 0) return std::nullopt;
  // An exponent counts only with at least one digit: "1e" and "2e+" read as 1 and 2.
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    std::size_t exponent = end + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    const std::size_t exponentEnd = digitsFrom(exponent);
    if (exponentEnd > exponent) end = exponentEnd;
  }
  // Only the characters checked above reach strtod, so it cannot read hexadecimal, inf or nan;
  // it runs in the C locale so that "." is the decimal point whatever the user's locale.
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  const std::string number(text.substr(start, end - start));
  const double value = strtod_l(number.c_str(), nullptr, c);
  if (std::isinf(value)) return std::copysign(std::numeric_limits<double>::max(), value);
  return value;
}

std::string FormatHex4(std::uint16_t value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%04X", static_cast<unsigned>(value));
  return buffer;
}

std::string FormatPrefixedHex4(std::uint16_t value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%04X", static_cast<unsigned>(value));
  return buffer;
}

std::string FormatDecimal(double value) {
  char text[64];
  // Plain digits for the numbers people type (1000000, not 1e+06); exponents only for the
  // very large and the very small.
  const double size = std::abs(value);
  const bool plain = size < 1e15 && (size >= 1e-6 || value == 0.0);
  const auto [end, error] = plain ? std::to_chars(text, text + sizeof text, value, std::chars_format::fixed)
                                  : std::to_chars(text, text + sizeof text, value);
  return error == std::errc{} ? std::string(text, end) : std::string();
}

std::string FormatFixed(double value, int decimals) {
  // A value that rounds to zero prints as 0, not -0.
  if (std::abs(value) < 0.5 * std::pow(10.0, -decimals)) value = 0.0;
  char text[400];  // the largest double in full, with its decimals
  const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return error == std::errc{} ? std::string(text, end) : std::string();
}

}  // namespace tonvisor
