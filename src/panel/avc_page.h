#pragma once

#include <optional>

#include "panel/chip_page.h"

class QLineEdit;

namespace tonvisor {

// "AVC": the processor's automatic volume control on or off, its largest gain, its LBI response
// time, and its threshold (dB), attack and decay rates (dB per second), each typed and written
// with the "Set" under it. The rates depend on the sample rate Config Clock last set, and are
// refused until it has set one; a number whose code does not fit the chip's field is refused
// with the range it may take.
class AvcPage : public ChipPage {
  Q_OBJECT

 public:
  explicit AvcPage(const PanelContext& context, QWidget* parent = nullptr);

 protected:
  void build() override;

 private:
  // A box with its caption above it and its "Set" below it, named after the caption.
  QLayout* addNumber(const char* caption, const char* text, QLineEdit*& box, void (AvcPage::*set)());
  void setThreshold();
  void setDecayRate();
  void setAttackRate();
  // The sample rate the rates are worked out at: Config Clock's, else the chip's; 0 for none.
  double sampleRate() const;
  // The rate typed in box, or nothing (and the user told) when there is no sample rate yet.
  std::optional<double> typedRate(const QLineEdit* box);

  QLineEdit* m_threshold = nullptr;
  QLineEdit* m_decay = nullptr;
  QLineEdit* m_attack = nullptr;
};

}  // namespace tonvisor
