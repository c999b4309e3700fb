#pragma once

namespace tonvisor {

// Letter case of the names the tools compare (link types, operations, presets, display modes),
// all plain ASCII. The C library's tolower follows the locale the window takes from the
// environment, where 'I' need not fold to 'i' (Turkish): these never look at the locale.
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace tonvisor
