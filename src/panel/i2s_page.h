#pragma once

#include "panel/chip_page.h"

namespace tonvisor {

// "I2S": the format of the chip's I2S0 port. Each list sets one field of CHIP_I2S0_CTRL_REG as
// soon as an item is chosen; opening the page writes nothing, and the lists show what was last
// chosen here, not what the chip holds.
class I2sPage : public ChipPage {
  Q_OBJECT

 public:
  explicit I2sPage(const PanelContext& context, QWidget* parent = nullptr);

 protected:
  void build() override;
};

}  // namespace tonvisor
