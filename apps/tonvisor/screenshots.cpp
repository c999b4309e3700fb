#include "screenshots.h"

#include <cstdlib>
#include <iostream>
#include <utility>
#include <memory>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QListWidget>
#include <QMouseEvent>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QEventLoop>
#include <QTimer>

#include "panel/about_dialog.h"
#include "panel/dap_page.h"
#include "panel/initialization_page.h"
#include "panel/main_sheet.h"
#include "panel/unsaved_log_question.h"
#include "tools/pages/direct_register_page.h"
#include "tools/pages/register_map_page.h"
#include "tools/pages/register_write_monitor_page.h"

namespace tonvisor {

namespace {

// The runner of the sheet being pictured.
const LinkRunner* g_runner = nullptr;

// Lets the link's work end and the windows lay out and paint before a picture is taken.
void settle() {
  QEventLoop loop;
  QTimer tick;
  int quietTicks = 0;
  QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
    quietTicks = g_runner != nullptr && g_runner->busy() ? 0 : quietTicks + 1;
    if (quietTicks >= 5) loop.quit();
  });
  tick.start(10);
  loop.exec();
}

template <typename W>
W* named(QWidget* root, const QString& name) {
  for (W* widget : root->findChildren<W*>()) {
    if (widget->accessibleName() == name) return widget;
  }
  std::cerr << "screenshots: no control named " << name.toStdString() << '\n';
  return nullptr;
}

void press(QWidget* widget, Qt::Key key) {
  QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
  QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
  QApplication::sendEvent(widget, &down);
  QApplication::sendEvent(widget, &up);
}

// Chooses an item the way the keyboard does, so the page hears of the choice.
void choose(QComboBox* list, const QString& item) {
  if (!list) return;
  const int index = list->findText(item);
  press(list, Qt::Key_Home);
  for (int i = 0; i < index; ++i) press(list, Qt::Key_Down);
}

void type(QLineEdit* box, const QString& text) {
  if (box) box->setText(text);
}

// Clicks and lets the work it queued end: a control that conflicts with running work is
// disabled until then, as for a user.
void click(QAbstractButton* button) {
  if (!button) return;
  button->click();
  settle();
}

void mouse(QWidget* widget, QEvent::Type type, QPoint at) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
  QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

// Moves a slider to a position and lets go of its handle with the mouse, so the page acts.
void release(QSlider* slider, int position) {
  if (!slider) return;
  slider->setValue(position);
  QStyleOptionSlider option;
  option.initFrom(slider);
  option.orientation = slider->orientation();
  option.minimum = slider->minimum();
  option.maximum = slider->maximum();
  option.sliderPosition = slider->sliderPosition();
  option.sliderValue = slider->value();
  option.tickPosition = slider->tickPosition();
  option.tickInterval = slider->tickInterval();
  const QPoint handle =
      slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider).center();
  mouse(slider, QEvent::MouseButtonPress, handle);
  mouse(slider, QEvent::MouseButtonRelease, handle);
}

// Toggles an item of a multiple-selection list, as a click on it does.
void toggle(QListWidget* list, const QString& item) {
  if (!list) return;
  for (QListWidgetItem* found : list->findItems(item, Qt::MatchExactly)) found->setSelected(!found->isSelected());
}

bool save(QWidget* widget, const QDir& dir, const QString& name) {
  settle();
  const QString path = dir.filePath(name);
  if (!widget->grab().save(path)) {
    std::cerr << "screenshots: could not save " << path.toStdString() << '\n';
    return false;
  }
  std::cout << path.toStdString() << '\n';
  return true;
}

}  // namespace

bool TakeScreenshots(MainSheet& sheet, const QString& dirPath) {
  g_runner = &sheet.runner();
  QDir dir(dirPath);
  if (!dir.mkpath(QStringLiteral("."))) {
    std::cerr << "screenshots: cannot create " << dirPath.toStdString() << '\n';
    return false;
  }
  sheet.show();
  settle();
  bool saved = true;

  // Initialization: connect over I2C, run the init script, program the clocks.
  QTabWidget* tabs = sheet.tabs();
  tabs->setCurrentWidget(sheet.initializationPage());
  click(named<QAbstractButton>(&sheet, QStringLiteral("Connect")));
  click(named<QAbstractButton>(&sheet, QStringLiteral("Chip Initialize")));
  click(named<QAbstractButton>(&sheet, QStringLiteral("Config Clock")));
  saved &= save(&sheet, dir, QStringLiteral("initialization.png"));

  // The same page with the Ethernet link chosen, its address and port shown.
  auto* connectionType = named<QComboBox>(&sheet, QStringLiteral("Connection Type"));
  choose(connectionType, QStringLiteral("Ethernet"));
  type(named<QLineEdit>(&sheet, QStringLiteral("Ethernet Address")), QStringLiteral("127.0.0.20"));
  saved &= save(&sheet, dir, QStringLiteral("initialization-ethernet.png"));
  // And with SPI, which can only write: its note replaces the address fields.
  choose(connectionType, QStringLiteral("SPI"));
  saved &= save(&sheet, dir, QStringLiteral("initialization-spi.png"));
  choose(connectionType, QStringLiteral("I2C"));

  // Routing: three routes programmed, the last one selected.
  tabs->setCurrentWidget(sheet.page(MainSheet::Tab::Routing));
  settle();
  auto* program = named<QAbstractButton>(&sheet, QStringLiteral("Program Route"));
  auto* input = named<QComboBox>(&sheet, QStringLiteral("Select Input"));
  auto* outputs = named<QListWidget>(&sheet, QStringLiteral("Select Outputs"));
  auto* dap = named<QAbstractButton>(&sheet, QStringLiteral("Digital Audio Processing"));
  click(program);
  choose(input, QStringLiteral("MIC"));
  click(dap);
  toggle(outputs, QStringLiteral("HP"));
  click(program);
  choose(input, QStringLiteral("I2S_DIN"));
  toggle(outputs, QStringLiteral("LINEOUT"));
  toggle(outputs, QStringLiteral("I2S_DOUT"));
  click(program);
  saved &= save(&sheet, dir, QStringLiteral("routing.png"));

  // I2S: 16-bit words in DSP mode.
  QWidget* i2s = sheet.page(MainSheet::Tab::I2s);
  tabs->setCurrentWidget(i2s);
  settle();
  choose(named<QComboBox>(i2s, QStringLiteral("I2S0_DLen")), QStringLiteral("16 bits"));
  choose(named<QComboBox>(i2s, QStringLiteral("I2S0_MODE")), QStringLiteral("DSP Mode A/B"));
  saved &= save(&sheet, dir, QStringLiteral("i2s.png"));

  // Inputs: both ADC channels at 15 dB, the microphone at 30 dB with a 2 kohm bias, ADC muted.
  QWidget* inputs = sheet.page(MainSheet::Tab::Inputs);
  tabs->setCurrentWidget(inputs);
  settle();
  release(named<QSlider>(inputs, QStringLiteral("Left Volume")), 10);
  release(named<QSlider>(inputs, QStringLiteral("Mic Gain")), 2);
  release(named<QSlider>(inputs, QStringLiteral("Mic Bias")), 1);
  click(named<QAbstractButton>(inputs, QStringLiteral("ADC Mute")));
  saved &= save(&sheet, dir, QStringLiteral("inputs.png"));

  // Outputs: the DAC a little down, the headphones up; zero-cross detection stays on, as the
  // init script left it (the page shows what the chip holds).
  QWidget* outputsPage = sheet.page(MainSheet::Tab::Outputs);
  tabs->setCurrentWidget(outputsPage);
  settle();
  release(named<QSlider>(outputsPage, QStringLiteral("DAC Volume")), 180);
  release(named<QSlider>(outputsPage, QStringLiteral("Volume")), 110);
  saved &= save(&sheet, dir, QStringLiteral("outputs.png"));

  // Digital Audio Processing: the processor on, its mixer on with the I2S input at 150 %.
  auto* processor = qobject_cast<DigitalAudioProcessingPage*>(sheet.page(MainSheet::Tab::DigitalAudioProcessing));
  tabs->setCurrentWidget(processor);
  settle();
  click(named<QAbstractButton>(processor, QStringLiteral("Enable Digital Audio Processing")));
  QWidget* mixer = processor->sheet()->widget(0);
  click(named<QAbstractButton>(mixer, QStringLiteral("Enable DAP Mixer")));
  choose(named<QComboBox>(mixer, QStringLiteral("Select DAP Mixer Input")), QStringLiteral("I2S_DIN"));
  release(named<QSlider>(mixer, QStringLiteral("DAP Mixer Volume")), 49152);
  saved &= save(&sheet, dir, QStringLiteral("dap-mixer.png"));

  // Korvel Surround: on, width 6.
  QWidget* surround = processor->sheet()->widget(1);
  processor->sheet()->setCurrentWidget(surround);
  settle();
  click(named<QAbstractButton>(surround, QStringLiteral("Enable KRVL Surround")));
  release(named<QSlider>(surround, QStringLiteral("Surround Width")), 6);
  saved &= save(&sheet, dir, QStringLiteral("korvel-surround.png"));

  // Korvel Bass: on, the bass band at 125 Hz, more boost.
  QWidget* bass = processor->sheet()->widget(2);
  processor->sheet()->setCurrentWidget(bass);
  settle();
  click(named<QAbstractButton>(bass, QStringLiteral("Enable Bass Enhance")));
  choose(named<QComboBox>(bass, QStringLiteral("Cut-Off Frequency(Hz)")), QStringLiteral("125"));
  type(named<QLineEdit>(bass, QStringLiteral("Multiplier ")), QStringLiteral("2"));
  click(named<QAbstractButton>(bass, QStringLiteral("Set Multiplier")));
  release(named<QSlider>(bass, QStringLiteral("Bass Level")), 20);
  saved &= save(&sheet, dir, QStringLiteral("korvel-bass.png"));

  // PEQ/GEQ/Tone Control: the Rock preset loaded, then the graphic equaliser shaped.
  QWidget* eq = processor->sheet()->widget(3);
  processor->sheet()->setCurrentWidget(eq);
  settle();
  auto* eqMode = named<QComboBox>(eq, QStringLiteral("Select PEQ/GEQ/Tone Control"));
  choose(eqMode, QStringLiteral("PEQ"));
  choose(named<QComboBox>(eq, QStringLiteral("PEQ Control")), QStringLiteral("Rock"));
  saved &= save(&sheet, dir, QStringLiteral("eq-peq.png"));
  // The designer: a rumble filter, a cut in the mud, presence and air, drawn as they are typed.
  struct DesignedBand {
    const char* type;
    double hz;
    double db;
    double q;
  };
  const DesignedBand design[] = {
      {"High-pass", 40, 0, 0.707}, {"Peaking", 300, -3, 1.2}, {"Peaking", 3000, 4, 1.5}, {"High shelf", 9000, 3, 0.707}};
  for (std::size_t b = 0; b < std::size(design); ++b) {
    const QString band = QStringLiteral("Band %1 ").arg(b);
    choose(named<QComboBox>(eq, band + QStringLiteral("type")), QString::fromLatin1(design[b].type));
    const std::pair<const char*, double> numbers[] = {{"frequency", design[b].hz}, {"gain", design[b].db}, {"Q", design[b].q}};
    for (const auto& [column, value] : numbers) {
      if (auto* box = named<QDoubleSpinBox>(eq, band + QString::fromLatin1(column))) box->setValue(value);
    }
  }
  saved &= save(&sheet, dir, QStringLiteral("eq-designer.png"));
  choose(eqMode, QStringLiteral("GEQ"));
  const std::pair<const char*, int> steps[] = {{"GEQ0", 8}, {"GEQ1", 4}, {"GEQ2", -2}, {"GEQ3", 3}, {"GEQ4", 6}};
  for (const auto& [band, count] : steps) {
    QSlider* slider = named<QSlider>(eq, QString::fromLatin1(band));
    for (int i = 0; slider && i < std::abs(count); ++i) press(slider, count > 0 ? Qt::Key_Up : Qt::Key_Down);
  }
  saved &= save(&sheet, dir, QStringLiteral("eq-geq.png"));

  // AVC: on, at most 12 dB of gain, a threshold of -18 dB.
  QWidget* avc = processor->sheet()->widget(4);
  processor->sheet()->setCurrentWidget(avc);
  settle();
  click(named<QAbstractButton>(avc, QStringLiteral("Enable AVC")));
  choose(named<QComboBox>(avc, QStringLiteral("AVC Max Gain(dB)")), QStringLiteral("12dB"));
  type(named<QLineEdit>(avc, QStringLiteral("Threshold (dB)")), QStringLiteral("-18"));
  click(named<QAbstractButton>(avc, QStringLiteral("Set Threshold (dB)")));
  saved &= save(&sheet, dir, QStringLiteral("avc.png"));
  processor->sheet()->setCurrentIndex(0);

  // Direct Register RW: three registers written, the same three read back.
  DirectRegisterPage* registers = sheet.directRegisterPage();
  tabs->setCurrentWidget(registers);
  registers->sheet()->setCurrentIndex(0);
  settle();
  named<QSpinBox>(registers, QStringLiteral("Register Write Rows"))->setValue(3);
  named<QSpinBox>(registers, QStringLiteral("Register Read Rows"))->setValue(3);
  const QString rows[3][2] = {{"0022", "1818"}, {"0010", "3C3C"}, {"0024", "0122"}};
  for (int r = 0; r < 3; ++r) {
    type(named<QLineEdit>(registers, QStringLiteral("Write Register Addr %1").arg(r + 1)), rows[r][0]);
    type(named<QLineEdit>(registers, QStringLiteral("Write Register Value %1").arg(r + 1)), rows[r][1]);
    type(named<QLineEdit>(registers, QStringLiteral("Read Register Addr %1").arg(r + 1)), rows[r][0]);
  }
  QWidget* writeSide = registers->findChild<QWidget*>(QStringLiteral("Register Write"));
  QWidget* readSide = registers->findChild<QWidget*>(QStringLiteral("Register Read"));
  click(named<QAbstractButton>(writeSide, QStringLiteral("Write")));
  click(named<QAbstractButton>(readSide, QStringLiteral("Read")));
  saved &= save(&sheet, dir, QStringLiteral("direct-register-rw.png"));

  // Register Write Monitor, by address and by name.
  registers->sheet()->setCurrentIndex(1);
  saved &= save(&sheet, dir, QStringLiteral("register-write-monitor.png"));
  auto* mode = named<QComboBox>(registers, QStringLiteral("Display Mode"));
  if (mode) mode->setCurrentText(QStringLiteral("Show Reg Name"));
  saved &= save(&sheet, dir, QStringLiteral("register-write-monitor-names.png"));

  // Register Map: read, then the sample rate typed in (marked as changed), its fields shown.
  registers->sheet()->setCurrentWidget(registers->mapPage());
  click(named<QAbstractButton>(registers->mapPage(), QStringLiteral("Read All")));
  QTableWidget* map = registers->mapPage()->registerTable();
  map->selectRow(2);  // CHIP_CLK_CTRL_REG
  map->item(2, RegisterMapPage::kValueColumn)->setText(QStringLiteral("0x0004"));
  settle();
  saved &= save(&sheet, dir, QStringLiteral("register-map.png"));

  AboutDialog about(&sheet);
  about.show();
  saved &= save(&about, dir, QStringLiteral("about.png"));
  about.close();

  // The question OK, Cancel and the close button ask, as the session leaves the log unsaved.
  const std::unique_ptr<QMessageBox> question = MakeUnsavedLogBox(&sheet, registers->monitorPage()->unsavedEntries());
  question->show();
  saved &= save(question.get(), dir, QStringLiteral("exit-question.png"));
  question->close();
  // Hidden, not closed: closing would ask that question for real.
  sheet.hide();
  return saved;
}

}  // namespace tonvisor
