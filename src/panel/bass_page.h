#pragma once

#include "panel/chip_page.h"

class QLineEdit;

namespace tonvisor {

class UpDown;

// "Korvel Bass": the processor's bass enhancer on or off, the cut-off of its bass band, the
// cut-off of its high-pass filter or the filter bypassed, its multiplier, the bass level (a
// smaller number is more boost) and the main channel's mix level (a smaller number is a higher
// level). Levels are set with their sliders (when the mouse lets go), their up-down controls,
// or typed and written both at once with Return. The first time the page is shown it writes
// the bass band's cut-off, so that the chip agrees with the list's "175".
class BassPage : public ChipPage {
  Q_OBJECT

 public:
  explicit BassPage(const PanelContext& context, QWidget* parent = nullptr);

 protected:
  void build() override;
  bool enterPressed() override;
  void showEvent(QShowEvent* event) override;

 private:
  struct Level {
    const char* name;
    const CodecField* field;
    const char* failure;
    int value = 0;  // what the box shows, until the user types into it
    ValueSlider* slider = nullptr;
    QLineEdit* box = nullptr;
    UpDown* steps = nullptr;
  };
  QLayout* addLevel(Level& level, const char* lowEnd, const char* highEnd);
  void levelStepped(Level& level, int position);
  void levelReleased(Level& level, int position);
  void showLevels();
  void setMultiplier();

  Level m_bass;
  Level m_main;
  QLineEdit* m_multiplier = nullptr;
  bool m_shownOnce = false;
};

}  // namespace tonvisor
