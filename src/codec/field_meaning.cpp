#include "codec/field_meaning.h"

#include <cmath>
#include <cstdio>
#include <iterator>

#include "codec/field_choices.h"

namespace tonvisor {

namespace {

constexpr double kUnityGain = 32768.0;     // 2^15
constexpr double kAttackScale = 524288.0;  // 2^19
constexpr double kDecayScale = 8388608.0;  // 2^23
constexpr int kDacZeroDbCode = 0x3C;

std::string Printed(const char* format, double value) {
  char text[48];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

bool Is(const CodecField& field, const CodecField& other) { return &field == &other; }

}  // namespace

double DacVolumeDb(int code) { return (kDacZeroDbCode - code) * 0.5017; }
double AdcVolumeDb(int code) { return code * 1.5; }
double HpVolumeDb(int code) { return code * -0.5 + 12; }
double DapVolumePercent(int gain) { return gain * 100.0 / kUnityGain; }
double EqBandGainDb(int code) { return (code - kEqBandZeroDb) * 0.25; }

std::optional<double> AvcThresholdDb(int code) {
  if (code <= 0) return std::nullopt;
  return 20.0 * std::log10(code / (0.636 * kUnityGain));
}

double AvcAttackRate(int code, double sampleRateHz) {
  return -20.0 * sampleRateHz * std::log10(1.0 - code / kAttackScale);
}

double AvcDecayRate(int code, double sampleRateHz) { return -20.0 * sampleRateHz * std::log10(1.0 - code / kDecayScale); }

std::string FieldMeaning(const CodecField& field, int code, double sampleRateHz) {
  if (!ChoicesOf(field).empty()) {
    const char* text = ChoiceText(field, code);
    return text != nullptr ? text : "code " + std::to_string(code) + " (no name)";
  }
  if (Is(field, field::WriteAdcLeftVolume) || Is(field, field::WriteAdcRightVolume)) {
    return Printed("%.1f dB", AdcVolumeDb(code));
  }
  if (Is(field, field::WriteHpLeftVolume) || Is(field, field::WriteHpRightVolume)) {
    return Printed("%.1f dB", HpVolumeDb(code));
  }
  if (Is(field, field::WriteMicGain)) return Printed("%.0f dB", kMicGainsDb[code & 3]);
  if (Is(field, field::ConfigureMicBias)) return kMicBiases[code & 3];
  if (Is(field, field::WriteDapMixerVolume) || Is(field, field::WriteDapMainVolume)) {
    return Printed("%.1f %%", DapVolumePercent(code));
  }
  if (field.address >= reg::DAP_AUDIO_EQ_BASS_BAND0_REG && field.address <= reg::DAP_AUDIO_EQ_TREBLE_BAND4_REG) {
    return Printed("%.2f dB", EqBandGainDb(code));
  }
  if (Is(field, field::WriteAvcThreshold)) {
    const std::optional<double> dB = AvcThresholdDb(code);
    return dB ? Printed("%.2f dB", *dB) : "off (0)";
  }
  const bool attack = Is(field, field::WriteAvcAttackRate);
  if ((attack || Is(field, field::WriteAvcDecayRate)) && sampleRateHz > 0.0) {
    return Printed("%.1f dB/s", attack ? AvcAttackRate(code, sampleRateHz) : AvcDecayRate(code, sampleRateHz));
  }
  return std::to_string(code);
}

}  // namespace tonvisor
