#pragma once

#include <optional>
#include <string>

#include "codec/codec_fields.h"

namespace tonvisor {

// What the chip's codes mean: the levels the pages show and the command-line tool prints.

// The DAC's digital volume: 0.5017 dB a code below code 0x3C, 0 dB.
double DacVolumeDb(int code);
// The ADC's analog gain: 1.5 dB a code from 0 dB.
double AdcVolumeDb(int code);
// The headphone amplifier: +12 dB at code 0, 0.5 dB less each code.
double HpVolumeDb(int code);
// The microphone amplifier's gain and bias resistor, by code.
inline constexpr int kMicGainsDb[] = {0, 20, 30, 40};
inline constexpr const char* kMicBiases[] = {"power off", "2Kohm", "4Kohm", "8Kohm"};

// The processor's mixer and main channel gain: 32768 is unity (100 %).
double DapVolumePercent(int gain);
// The equalisers' band code: 47 is 0 dB, a quarter dB a step.
inline constexpr int kEqBandZeroDb = 47;
double EqBandGainDb(int code);
// Automatic volume control: the threshold in dB (nothing for code 0, which no level reaches),
// the attack and decay rates in dB per second at a sample rate.
std::optional<double> AvcThresholdDb(int code);
double AvcAttackRate(int code, double sampleRateHz);
double AvcDecayRate(int code, double sampleRateHz);

// A field's code in words: its named value ("48 kHz"), its level ("-12.0 dB", "150 %"), or the
// number. The AVC rates need the chip's sample rate (0: unknown, the code is given).
std::string FieldMeaning(const CodecField& field, int code, double sampleRateHz = 0.0);

}  // namespace tonvisor
