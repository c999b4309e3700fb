#pragma once

#include <array>

#include "panel/chip_page.h"

class QComboBox;
class QLineEdit;

namespace tonvisor {

class LiveSlider;
class PeqDesigner;
class UpDown;

// "PEQ/GEQ/Tone Control": which of the processor's equalisers is on (none, the parametric
// "PEQ", the five-band graphic "GEQ" or bass and treble "Tone Control"), the parametric
// presets, and the gains of the graphic and tone bands, -11.75 to +12 dB in quarter dB steps.
// Only the selected equaliser's controls are enabled. A band's slider writes at every move the
// user makes (+12 dB at the top), its up-down at every step; Return writes the typed gains of
// the selected equaliser's bands, each brought into the band's range. Beside the presets, the
// parametric designer and its response plot; in GEQ and Tone Control the plot shows the band
// gains as points.
class EqPage : public ChipPage {
  Q_OBJECT

 public:
  explicit EqPage(const PanelContext& context, QWidget* parent = nullptr);

 protected:
  void build() override;
  bool enterPressed() override;

 private:
  struct Band {
    const char* name;
    const char* frequency;  // under the name, or nullptr
    const CodecField* field;
    const char* failure;
    double gainDb = 0.0;  // what the box shows, until the user types into it
    LiveSlider* slider = nullptr;
    QLineEdit* box = nullptr;
    UpDown* steps = nullptr;
  };
  QLayout* addBand(Band& band);
  void modeChosen(int mode);
  // Only the controls of the equaliser in use are enabled.
  void enableFor(int mode);
  void presetChosen(int preset);
  void bandMoved(Band& band, int code);
  void showGains();
  void plotBandGains();
  void loadDesign();

  // GEQ0 to GEQ4, then Bass and Treble.
  std::array<Band, 7> m_bands;
  QComboBox* m_mode = nullptr;
  QComboBox* m_presets = nullptr;
  PeqDesigner* m_designer = nullptr;
};

}  // namespace tonvisor
