#include "snapshot_output.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <vector>

#include "codec/cached_field.h"
#include "codec/field_choices.h"
#include "codec/field_meaning.h"
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

void PrintFields(std::ostream& out, const ChipSnapshot& snapshot, bool json) {
  struct Line {
    std::string field;
    std::string_view registerName;
    std::optional<int> code;
    std::string meaning;
  };
  std::vector<Line> lines;
  // The AVC rates are per sample: they mean something at the chip's own rate.
  double rateHz = 0.0;
  const RegisterReading* clocks = snapshot.find(reg::CHIP_CLK_CTRL_REG);
  if (clocks != nullptr && clocks->value) {
    rateHz = choices::kSampleRateHz[FieldPlace::Of(field::ConfigureSampleRate).codeIn(*clocks->value)];
  }
  for (const RegisterReading& reading : snapshot.registers) {
    if (reading.address == reg::CHIP_DAC_VOL_REG) {
      // Both channels take the code ConfigureDacVolume writes; the left one's is shown.
      const std::optional<int> code = reading.value ? std::optional<int>(*reading.value & 0xFF) : std::nullopt;
      char level[32];
      if (code) std::snprintf(level, sizeof level, "%.2f dB", DacVolumeDb(*code));
      lines.push_back({"ConfigureDacVolume", reading.name, code, code ? level : ""});
    }
    for (const RegisterField& field : RegisterFields(reading.address)) {
      std::optional<int> code;
      if (reading.value) code = field.field->bits.copies != 0 ? ((*reading.value & field.mask) != 0 ? 1 : 0)
                                                             : static_cast<int>(field.valueIn(*reading.value));
      lines.push_back({field.name, reading.name, code, code ? FieldMeaning(*field.field, *code, rateHz) : ""});
    }
  }
  if (json) {
    out << "[";
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const Line& line = lines[i];
      out << (i == 0 ? "" : ", ") << "{\"field\": " << quoted(line.field) << ", \"register\": " << quoted(line.registerName)
          << ", \"code\": " << (line.code ? std::to_string(*line.code) : "null")
          << ", \"meaning\": " << (line.code ? quoted(line.meaning) : "null") << "}";
    }
    out << "]\n";
    return;
  }
  std::size_t width = 0;
  for (const Line& line : lines) width = std::max(width, line.field.size());
  for (const Line& line : lines) {
    out << line.field << std::string(width - line.field.size(), ' ') << " = " << (line.code ? line.meaning : "unknown")
        << '\n';
  }
}

}  // namespace tonvisor::cli
