#include "tools/pages/hex_text.h"

#include <cstdio>
#include <cstdlib>

namespace tonvisor {

std::optional<unsigned long> ParseHexText(std::string_view text) {
  const std::string terminated(text);  // strtoul needs the terminator
  const char* begin = terminated.c_str();
  char* end = nullptr;
  const unsigned long value = std::strtoul(begin, &end, 16);
  if (end == begin) return std::nullopt;
  return value;
}

std::uint16_t RegisterFromHexText(std::string_view text) {
  return static_cast<std::uint16_t>(ParseHexText(text).value_or(0) & 0xFFFFu);
}

std::string FormatRegisterValue(std::uint16_t value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%04X", static_cast<unsigned>(value));
  return buffer;
}

}  // namespace tonvisor
