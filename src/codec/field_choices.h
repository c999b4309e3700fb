#pragma once

#include <span>

#include "codec/codec_fields.h"

namespace tonvisor {

// A named value of a field: the item a page's drop-down list shows and the code it passes on.
struct Choice {
  const char* text;
  int code;
};

// The named values of the chip's fields, as the pages offer them. The pages build their lists
// from these and the Register Map names a field's value with them, so each name is written
// once.
namespace choices {
// Clocks (Initialization)
inline constexpr Choice kSysMclk[] = {{"256xFs", 0}, {"384xFs", 1}, {"512xFs", 2}, {"PLL", 3}};
inline constexpr Choice kSampleRate[] = {{"32 kHz", 0}, {"44.1 kHz", 1}, {"48 kHz", 2}, {"96 kHz", 3}};
// The sample rate of each code of the rate field, in Hz.
inline constexpr double kSampleRateHz[] = {32000.0, 44100.0, 48000.0, 96000.0};
inline constexpr Choice kI2sClockRole[] = {{"Slave", 0}, {"Master", 1}};
// I2S port
inline constexpr Choice kSclkFreq[] = {{"64Fs", 0}, {"32Fs", 1}};
inline constexpr Choice kSclkInv[] = {{"On rising edge", 0}, {"On falling edge", 1}};
inline constexpr Choice kDLen[] = {{"32 bits", 0}, {"24 bits", 1}, {"20 bits", 2}, {"16 bits", 3}};
// The mode field's code 3 is not offered.
inline constexpr Choice kI2sMode[] = {{"I2S or Left Justified", 0}, {"Right Justified", 1}, {"DSP Mode A/B", 2}};
inline constexpr Choice kLrAlign[] = {{"Delay By 1 Bit Clk", 0}, {"No delay", 1}};
inline constexpr Choice kLrPol[] = {{"Left Channel", 0}, {"Right Channel", 1}};
// Routing: the sources of CHIP_SSS_CTRL_REG's selectors and the analog inputs
inline constexpr Choice kOutputSource[] = {{"ADC", 0}, {"I2S_DIN", 1}, {"DAP", 3}};
inline constexpr Choice kDapSource[] = {{"ADC", 0}, {"I2S_DIN", 1}};
inline constexpr Choice kAdcInput[] = {{"MIC", 0}, {"LINEIN", 1}};
inline constexpr Choice kHpInput[] = {{"DAC", 0}, {"LINEIN", 1}};
// Audio processor
inline constexpr Choice kMixerInput[] = {{"ADC", 0}, {"I2S_DIN", 1}};
inline constexpr Choice kBassCutoff[] = {{"80", 0},  {"100", 1}, {"125", 2}, {"150", 3},
                                         {"175", 4}, {"200", 5}, {"225", 6}};
inline constexpr Choice kBassHpfCutoff[] = {{"80", 0},  {"100", 1}, {"125", 2}, {"150", 3},
                                            {"175", 4}, {"200", 5}, {"225", 6}, {"SAME_AS_CUTOFF_FREQ", 7}};
// The mode field's codes: 0 disabled, 1 PEQ, 2 tone control, 3 GEQ; listed in the page's order.
inline constexpr Choice kEqMode[] = {{"Disabled", 0}, {"PEQ", 1}, {"GEQ", 3}, {"Tone Control", 2}};
inline constexpr Choice kAvcMaxGain[] = {{"0dB", 0}, {"6dB", 1}, {"12dB", 2}};
inline constexpr Choice kAvcLbiResponse[] = {{"0ms", 0}, {"25ms", 1}, {"50ms", 2}, {"100ms", 3}};
}  // namespace choices

// The named values of a field; empty for a field set by number (a volume, a level).
std::span<const Choice> ChoicesOf(const CodecField& field);

// The text of a field's value, or nullptr when the value has no name.
const char* ChoiceText(const CodecField& field, int code);

}  // namespace tonvisor
