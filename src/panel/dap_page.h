#pragma once

#include "panel/chip_page.h"

class QCheckBox;
class QTabWidget;

namespace tonvisor {

// "Digital Audio Processing": the audio processor's switch, "Enable Digital Audio
// Processing", and below it the processor's blocks as a sheet of their own: "DAP Mixer",
// "Korvel Surround", "Korvel Bass", "PEQ/GEQ/Tone Control" and "AVC". The sheet keeps its tab
// and every control while the main sheet shows other pages, and its pages work whether the
// processor is on or off (setting the blocks up before switching it on avoids pops).
class DigitalAudioProcessingPage : public ChipPage {
  Q_OBJECT

 public:
  explicit DigitalAudioProcessingPage(const PanelContext& context, QWidget* parent = nullptr);

  // The processor's sheet; nullptr until the page is first shown.
  QTabWidget* sheet() const { return m_sheet; }

 protected:
  void build() override;

 private:
  void enableClicked(bool checked);

  QTabWidget* m_sheet = nullptr;
};

}  // namespace tonvisor
