#pragma once

#include "panel/chip_page.h"

class QCheckBox;

namespace tonvisor {

// "Inputs": the ADC's analog gain for each channel (together unless "Independent L/R Volume
// Control" is checked), its mute and zero-cross detection, and the microphone's gain and bias.
// Sliders act when the mouse lets go of them; the page never reads the chip.
class InputsPage : public ChipPage {
  Q_OBJECT

 public:
  explicit InputsPage(const PanelContext& context, QWidget* parent = nullptr);

 protected:
  void build() override;

 private:
  // One ADC volume slider let go of: its channel, then (unless independent) the other slider
  // follows and its channel gets the same position.
  void volumeReleased(ValueSlider* moved, const CodecField& channel, ValueSlider* other, const CodecField& otherChannel);

  ValueSlider* m_left = nullptr;
  ValueSlider* m_right = nullptr;
  QCheckBox* m_independent = nullptr;
};

}  // namespace tonvisor
