#pragma once

#include "panel/chip_page.h"

class QLineEdit;

namespace tonvisor {

class UpDown;

// "Korvel Surround": the processor's surround effect on or off, and its width from 0 to 7, set
// with the slider (when the mouse lets go of it), the up-down control beside the width's box, or
// by typing the width and pressing Return. A typed width outside 0 to 7 is refused with a
// message and nothing is written.
class SurroundPage : public ChipPage {
  Q_OBJECT

 public:
  explicit SurroundPage(const PanelContext& context, QWidget* parent = nullptr);

 protected:
  void build() override;
  bool enterPressed() override;

 private:
  ValueSlider* m_slider = nullptr;
  QLineEdit* m_box = nullptr;
  UpDown* m_steps = nullptr;
};

}  // namespace tonvisor
