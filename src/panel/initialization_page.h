#pragma once

#include <functional>
#include <initializer_list>
#include <optional>

#include <QWidget>

#include "panel/panel_context.h"
#include "panel/pll_divisor.h"
#include "tools/pages/conflict_guard.h"

class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tonvisor {

class Ipv4AddressEdit;

// "Initialization": the three steps of bringing the chip up. 1. choose the link and Connect;
// 2. Chip Initialize runs the init script (once per run); 3. choose the clocks and Config
// Clock programs them, the DAC muted meanwhile.
class InitializationPage : public QWidget {
  Q_OBJECT

 public:
  explicit InitializationPage(const PanelContext& context, QWidget* parent = nullptr);

  // Asked before Connect empties the write log: false keeps the log and Connect does nothing
  // (the main sheet asks the user about entries not yet saved, as at the end of the program).
  void setLogEmptyingCheck(std::function<bool()> mayEmptyLog) { m_mayEmptyLog = std::move(mayEmptyLog); }

 private slots:
  void connectionTypeChosen();
  void connectLink();
  void initializeChip();
  void configureClocks();

 private:
  QGroupBox* createInterfaceGroup();
  QGroupBox* createClocksGroup();
  static void alignCaptions(std::initializer_list<QGroupBox*> groups);
  // Config Clock's sequence: mute, clocks (with the PLL when given), rate, I2S role, unmute.
  // Runs on the link's thread.
  // True when the sample rate reached the chip.
  static bool programClocks(LinkSide& side, int sourceCode, int rateCode, bool slave,
                            const std::optional<PllDivisor>& pll, bool keepDacMuted);
  void tell(const QString& text);

  PanelContext m_context;
  ConflictGuard* m_guard = nullptr;
  std::function<bool()> m_mayEmptyLog;

  QComboBox* m_connectionType = nullptr;
  QLineEdit* m_i2cAddress = nullptr;
  Ipv4AddressEdit* m_ethernetAddress = nullptr;
  QLineEdit* m_port = nullptr;
  QLabel* m_spiNote = nullptr;
  QFormLayout* m_interfaceForm = nullptr;
  QPushButton* m_connect = nullptr;
  QLabel* m_usbDevice = nullptr;  // the USB bridge the last Connect opened
  QPushButton* m_chipInitialize = nullptr;
  QComboBox* m_sysMclk = nullptr;
  QComboBox* m_sampleRate = nullptr;
  QLineEdit* m_extMclk = nullptr;
  QComboBox* m_i2sClockRole = nullptr;
  QPushButton* m_configClock = nullptr;
};

}  // namespace tonvisor
