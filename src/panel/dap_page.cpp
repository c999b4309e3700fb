#include "panel/dap_page.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QTabWidget>
#include <QVBoxLayout>

#include "panel/avc_page.h"
#include "panel/bass_page.h"
#include "panel/dap_mixer_page.h"
#include "panel/eq_page.h"
#include "panel/surround_page.h"

namespace tonvisor {

namespace {

template <typename Page>
ChipPage* Make(const PanelContext& context) {
  return new Page(context);
}

struct DapTab {
  const char* text;
  ChipPage* (*make)(const PanelContext&);
};

// The processor's pages in tab order.
constexpr DapTab kDapTabs[] = {
    {"DAP Mixer", Make<DapMixerPage>},
    {"Korvel Surround", Make<SurroundPage>},
    {"Korvel Bass", Make<BassPage>},
    {"PEQ/GEQ/Tone Control", Make<EqPage>},
    {"AVC", Make<AvcPage>},
};

constexpr CheckRow kEnable{"Enable Digital Audio Processing"};
// The processor's switch, bit 0 of DAP_CONTROL_REG (WriteDapEnable sets it around a DAC mute).
constexpr FieldPlace kDapEnableBit{reg::DAP_CONTROL_REG, 0x0001, 0};
constexpr const char* kEnableFailed = "Enable/Disable DAP failed";
// The switch mutes the DAC, modifies the processor's control register and unmutes: three
// accesses, each a read and a write over Ethernet.
constexpr std::size_t kEnableAccesses = 3;

}  // namespace

DigitalAudioProcessingPage::DigitalAudioProcessingPage(const PanelContext& context, QWidget* parent)
    : ChipPage(context, "DigitalAudioProcessingPage", parent) {}

void DigitalAudioProcessingPage::build() {
  auto* enableRow = new QHBoxLayout;
  enableRow->addStretch();
  QCheckBox* enable = addCheck(enableRow, kEnable, [this](bool checked) { enableClicked(checked); });
  follow(kDapEnableBit, [enable](int code) { enable->setChecked(code != 0); },
         [enable](bool unknown) { markUnknown(enable, unknown); });
  enableRow->addStretch();

  m_sheet = new QTabWidget;
  m_sheet->setAccessibleName(tr("Digital Audio Processing Blocks"));
  for (const DapTab& tab : kDapTabs) m_sheet->addTab(tab.make(context()), tr(tab.text));
  m_sheet->setCurrentIndex(0);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(enableRow);
  layout->addWidget(m_sheet, 1);
}

void DigitalAudioProcessingPage::enableClicked(bool checked) {
  const int enable = checked ? 1 : 0;
  // While the Outputs page's Mute is checked the switch leaves the DAC muted, as the box says:
  // its closing unmute would otherwise undo the user's mute.
  const bool keepMuted = state().dacMuted;
  actWithProgress(tr(kEnable.caption), keepMuted ? kEnableAccesses - 1 : kEnableAccesses, [&] {
    return (keepMuted ? codec().WriteDapEnableKeepingDacMuted(enable) : codec().WriteDapEnable(enable)).status;
  }, kEnableFailed);
}

}  // namespace tonvisor
