#pragma once

#include "panel/chip_page.h"

class QLineEdit;

namespace tonvisor {

// "DAP Mixer": the processor's mixer on or off, its input (ADC or I2S_DIN), and the two
// digital gains, mixer channel and main channel, from 0 % to 200 % of unity. A slider acts when
// the mouse lets go of it and shows the gain written in its box; Return writes both typed
// gains, main first, each brought into 0 % to 200 %.
class DapMixerPage : public ChipPage {
  Q_OBJECT

 public:
  explicit DapMixerPage(const PanelContext& context, QWidget* parent = nullptr);

 protected:
  void build() override;
  bool enterPressed() override;

 private:
  struct Volume {
    ValueSlider* slider = nullptr;
    QLineEdit* box = nullptr;
  };
  // A group of a volume slider, its box and its scale.
  Volume addVolume(QLayout* layout, const char* title, const CodecField& field, const char* failure);
  // The gain typed in a volume's box, to its slider and the chip; the status is not looked at.
  // Reads a volume's box into its slider (and the box, when clamped); the gain code to write.
  int enterVolume(const Volume& volume);

  Volume m_mixer;
  Volume m_main;
};

}  // namespace tonvisor
