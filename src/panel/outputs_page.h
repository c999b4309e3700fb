#pragma once

#include "panel/chip_page.h"

class QCheckBox;

namespace tonvisor {

// "Outputs": the DAC's digital volume and mute, the headphone amplifier's volume (changed by a
// ramp, one code at a time), mute and zero-cross detection, and the line output's mute. Sliders
// act when the mouse lets go of them; the page never reads the chip.
class OutputsPage : public ChipPage {
  Q_OBJECT

 public:
  explicit OutputsPage(const PanelContext& context, QWidget* parent = nullptr);

 protected:
  void build() override;

 private:
  void dacVolumeReleased(int position);
  void dacMuteClicked(bool checked);
  void hpVolumeReleased(int position);
  void hpMuteClicked(bool checked);

  QCheckBox* m_hpMute = nullptr;
};

}  // namespace tonvisor
