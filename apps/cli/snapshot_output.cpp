#include "snapshot_output.h"

#include <ostream>

#include "codec/register_map.h"
#include "link/typed_text.h"

namespace tonvisor::cli {

namespace {

std::string quoted(std::string_view text) {
  std::string json = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') json += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
      json += escaped;
      continue;
    }
    json += c;
  }
  return json + "\"";
}

std::string hexJson(std::optional<std::uint16_t> value) {
  return value ? quoted(FormatPrefixedHex4(*value)) : std::string("null");
}

std::string numberJson(std::optional<std::uint16_t> value) {
  return value ? std::to_string(*value) : std::string("null");
}

std::string hexText(std::optional<std::uint16_t> value) { return value ? FormatPrefixedHex4(*value) : "unknown"; }

std::string bitsText(const FieldDifference& field) {
  return field.highBit == field.lowBit ? std::to_string(field.lowBit)
                                       : std::to_string(field.highBit) + ":" + std::to_string(field.lowBit);
}

std::string fieldValueText(std::optional<std::uint16_t> value) {
  if (!value) return "unknown";
  char text[8];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(*value));
  return text;
}

}  // namespace

std::string RegisterJson(std::uint16_t address, std::optional<std::uint16_t> value) {
  const std::optional<std::string_view> name = FindRegisterName(address);
  return "{\"register\": " + (name ? quoted(*name) : std::string("null")) +
         ", \"address\": " + quoted(FormatPrefixedHex4(address)) + ", \"value\": " + hexJson(value) + "}";
}

void PrintDifferences(std::ostream& out, const std::vector<RegisterDifference>& differences, bool json) {
  if (json) {
    out << "{\"equal\": " << (differences.empty() ? "true" : "false") << ", \"differences\": [";
    for (std::size_t i = 0; i < differences.size(); ++i) {
      const RegisterDifference& d = differences[i];
      out << (i ? ", " : "") << "{\"register\": " << quoted(d.name)
          << ", \"address\": " << quoted(FormatPrefixedHex4(d.address)) << ", \"before\": " << hexJson(d.before)
          << ", \"after\": " << hexJson(d.after) << ", \"fields\": [";
      for (std::size_t f = 0; f < d.fields.size(); ++f) {
        const FieldDifference& field = d.fields[f];
        out << (f ? ", " : "") << "{\"field\": " << quoted(field.name) << ", \"bits\": " << quoted(bitsText(field))
            << ", \"before\": " << numberJson(field.before) << ", \"after\": " << numberJson(field.after) << "}";
      }
      out << "]}";
    }
    out << "]}\n";
    return;
  }
  if (differences.empty()) {
    out << "no differences\n";
    return;
  }
  for (const RegisterDifference& d : differences) {
    out << d.name << " (" << FormatPrefixedHex4(d.address) << "): " << hexText(d.before) << " -> " << hexText(d.after)
        << '\n';
    for (const FieldDifference& field : d.fields) {
      out << "  " << field.name << ", bits " << bitsText(field) << ": " << fieldValueText(field.before) << " -> "
          << fieldValueText(field.after) << '\n';
    }
  }
}

}  // namespace tonvisor::cli
