#include "codec/field_choices.h"

namespace tonvisor {

namespace {

struct FieldChoices {
  const CodecField* field;
  std::span<const Choice> choices;
};

constexpr FieldChoices kTable[] = {
    {&field::ConfigureSysMclk, choices::kSysMclk},
    {&field::ConfigureSampleRate, choices::kSampleRate},
    {&field::ConfigureI2sMasterSlave, choices::kI2sClockRole},
    {&field::ConfigureI2s0SclkFreq, choices::kSclkFreq},
    {&field::ConfigureI2s0SclkInv, choices::kSclkInv},
    {&field::ConfigureI2s0DLen, choices::kDLen},
    {&field::ConfigureI2s0Mode, choices::kI2sMode},
    {&field::ConfigureI2s0LrAlign, choices::kLrAlign},
    {&field::ConfigureI2s0LrPol, choices::kLrPol},
    {&field::ConfigureDacOut, choices::kOutputSource},
    {&field::ConfigureI2sDout, choices::kOutputSource},
    {&field::ConfigureDapSelect, choices::kDapSource},
    {&field::ConfigureAdcInput, choices::kAdcInput},
    {&field::SelectHpInput, choices::kHpInput},
    {&field::WriteDapMixerInput, choices::kMixerInput},
    {&field::WriteBassCutoff, choices::kBassCutoff},
    {&field::WriteBassHpfCutoff, choices::kBassHpfCutoff},
    {&field::SelectEqMode, choices::kEqMode},
    {&field::WriteAvcMaxGain, choices::kAvcMaxGain},
    {&field::WriteAvcLbiResponse, choices::kAvcLbiResponse},
};

}  // namespace

std::span<const Choice> ChoicesOf(const CodecField& field) {
  for (const FieldChoices& row : kTable) {
    // A field is its register and bits: operations that set the same bits name the same field.
    if (row.field->address == field.address && row.field->mask() == field.mask()) return row.choices;
  }
  return {};
}

const char* ChoiceText(const CodecField& field, int code) {
  for (const Choice& choice : ChoicesOf(field)) {
    if (choice.code == code) return choice.text;
  }
  return nullptr;
}

}  // namespace tonvisor
