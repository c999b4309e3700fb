#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <ostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include "codec/codec_operations.h"
#include "link/device_link.h"
#include "panel/dap_page.h"
#include "panel/main_sheet.h"
#include "panel/panel_context.h"
#include "panel/unsaved_log_question.h"
#include "panel/up_down.h"
#include "sim/board_server.h"
#include "sim/chip_model.h"
#include "sim/simulated_bridge.h"
#include "support/recording_bridge.h"
#include "support/recording_messenger.h"
#include "support/write_log_text.h"
#include "tools/pages/file_chooser.h"
#include "tools/pages/widget_owner.h"

// Failure messages show texts as texts, not as their UTF-16 code units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace tonvisor::testing {

using Lines = std::vector<std::string>;

// Answers the file dialogs for the user: a path, or nothing for Cancel.
class FakeFileChooser final : public FileChooser {
 public:
  std::optional<QString> chooseSaveFile(QWidget*) override { return saveAnswer; }
  std::optional<QString> chooseOpenFile(QWidget*) override { return openAnswer; }
  std::optional<QString> saveAnswer, openAnswer;
};

// Answers the question about an unsaved log for the user, and counts the questions.
class FakeUnsavedLogQuestion final : public UnsavedLogQuestion {
 public:
  UnsavedLogAnswer ask(QWidget*, std::size_t unsavedEntries, LogLoss loss) override {
    asked.push_back(unsavedEntries);
    losses.push_back(loss);
    return answer;
  }
  BusyEndAnswer askWhileBusy(QWidget*, const QString& doing) override {
    askedWhileBusy.push_back(doing.toStdString());
    return busyAnswer;
  }
  // Discard, as most runs want: a test that asks something else says so.
  UnsavedLogAnswer answer = UnsavedLogAnswer::Discard;
  std::vector<std::size_t> asked;  // the unsaved count told at each question
  std::vector<LogLoss> losses;     // and what was about to lose the log
  BusyEndAnswer busyAnswer = BusyEndAnswer::Wait;
  std::vector<std::string> askedWhileBusy;  // what the link was doing at each question
};

// The control whose accessible name (its visible caption) is name, under root.
template <typename W>
W* Control(const QWidget* root, const QString& name) {
  for (W* widget : root->findChildren<W*>()) {
    if (widget->accessibleName() == name) return widget;
  }
  ADD_FAILURE() << "no control named \"" << name.toStdString() << "\"";
  return nullptr;
}

inline void Click(QAbstractButton* button) {
  ASSERT_NE(button, nullptr);
  if (qobject_cast<QCheckBox*>(button) == nullptr) {
    QTest::mouseClick(button, Qt::LeftButton);
    return;
  }
  // A check box takes clicks on its box and its text only, not on the rest of its row.
  QStyleOptionButton option;
  option.initFrom(button);
  option.text = button->text();
  const QRect box = button->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, button);
  QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, box.center());
}

// Picks an item with the keyboard, as a user does, so the page hears of each step.
inline void Choose(QComboBox* list, const QString& item) {
  ASSERT_NE(list, nullptr);
  const int index = list->findText(item);
  ASSERT_GE(index, 0) << item.toStdString();
  QTest::keyClick(list, Qt::Key_Home);
  for (int i = 0; i < index; ++i) QTest::keyClick(list, Qt::Key_Down);
  ASSERT_EQ(list->currentText(), item);
}

// Picks an item with the mouse from the list's open popup: one choice, however far away.
inline void Pick(QComboBox* list, const QString& item) {
  ASSERT_NE(list, nullptr);
  const int index = list->findText(item);
  ASSERT_GE(index, 0) << item.toStdString();
  list->showPopup();
  QAbstractItemView* view = list->view();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
  const QRect row = view->visualRect(list->model()->index(index, list->modelColumn()));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
  ASSERT_EQ(list->currentText(), item);
  ASSERT_FALSE(view->isVisible());
}

// Replaces a box's text by typing, as a user does.
inline void Type(QLineEdit* box, const QString& text) {
  ASSERT_NE(box, nullptr);
  box->selectAll();
  QTest::keyClick(box, Qt::Key_Delete);
  QTest::keyClicks(box, text);
}

// Sliders, moved as a user moves them: with the mouse on the handle or the track, or with keys.
inline QStyleOptionSlider SliderOption(const QSlider* slider) {
  QStyleOptionSlider option;
  option.initFrom(slider);
  option.subControls = QStyle::SC_All;
  option.orientation = slider->orientation();
  option.minimum = slider->minimum();
  option.maximum = slider->maximum();
  option.sliderPosition = slider->sliderPosition();
  option.sliderValue = slider->value();
  option.singleStep = slider->singleStep();
  option.pageStep = slider->pageStep();
  option.tickPosition = slider->tickPosition();
  option.tickInterval = slider->tickInterval();
  // As QSlider draws itself: a vertical slider has its minimum at the bottom.
  option.upsideDown = slider->orientation() == Qt::Vertical
                          ? !slider->invertedAppearance()
                          : slider->invertedAppearance() != (slider->layoutDirection() == Qt::RightToLeft);
  return option;
}

inline QRect SliderPart(const QSlider* slider, QStyle::SubControl part) {
  const QStyleOptionSlider option = SliderOption(slider);
  return slider->style()->subControlRect(QStyle::CC_Slider, &option, part, slider);
}

// The point of a horizontal slider's track where the handle's centre sits at value.
inline QPoint TrackPointOf(const QSlider* slider, int value) {
  const QRect groove = SliderPart(slider, QStyle::SC_SliderGroove);
  const QRect handle = SliderPart(slider, QStyle::SC_SliderHandle);
  const int span = groove.width() - handle.width();
  const int offset = QStyle::sliderPositionFromValue(slider->minimum(), slider->maximum(), value, span);
  return {groove.x() + offset + handle.width() / 2, handle.center().y()};
}

// Presses the handle, drags it to value and lets go there.
inline void DragTo(QSlider* slider, int value) {
  ASSERT_NE(slider, nullptr);
  const QPoint from = SliderPart(slider, QStyle::SC_SliderHandle).center();
  const QPoint to = TrackPointOf(slider, value) + (from - TrackPointOf(slider, slider->value()));
  QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, from);
  for (int step = 1; step <= 4; ++step) QTest::mouseMove(slider, from + (to - from) * step / 4);
  ASSERT_EQ(slider->value(), value) << "the drag missed";
  QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, to);
}

// Clicks the handle where it is, without moving it.
inline void ClickHandle(QSlider* slider) {
  ASSERT_NE(slider, nullptr);
  QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, SliderPart(slider, QStyle::SC_SliderHandle).center());
}

// Clicks the track beyond the handle, towards the slider's end (its maximum: the right end, or
// the top of a vertical slider) or its start.
inline void ClickTrack(QSlider* slider, bool towardsEnd) {
  ASSERT_NE(slider, nullptr);
  const QRect groove = SliderPart(slider, QStyle::SC_SliderGroove);
  const QRect handle = SliderPart(slider, QStyle::SC_SliderHandle);
  QPoint at;
  if (slider->orientation() == Qt::Horizontal) {
    at = {towardsEnd ? (handle.right() + groove.right()) / 2 : (groove.left() + handle.left()) / 2, handle.center().y()};
  } else {
    at = {handle.center().x(), towardsEnd ? (groove.top() + handle.top()) / 2 : (handle.bottom() + groove.bottom()) / 2};
  }
  ASSERT_FALSE(handle.contains(at)) << "no track left on that side";
  QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, at);
}

// A turn of the mouse wheel over the slider.
inline void Wheel(QSlider* slider, int notches) {
  ASSERT_NE(slider, nullptr);
  const QPoint at = SliderPart(slider, QStyle::SC_SliderHandle).center();
  QWheelEvent wheel(at, slider->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(slider, &wheel);
}

inline QStringList TabTexts(const QTabWidget* tabs) {
  QStringList texts;
  for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
  return texts;
}

// The register writes of a log (or, with writes false, the comments).
inline Lines WritesIn(const Lines& log, bool writes = true) {
  Lines kept;
  for (const std::string& line : log) {
    if (line.starts_with("W ") == writes) kept.push_back(line);
  }
  return kept;
}

// Expected log lines one after the other.
inline Lines operator+(Lines first, const Lines& then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

// The log lines of field operations that share one comment: per write, the separator, the
// comment and the write ("W 0104 0040").
inline Lines Written(const char* comment, std::initializer_list<const char*> writes) {
  Lines lines;
  for (const char* write : writes) lines.insert(lines.end(), {"   \n", comment, write});
  return lines;
}

// The program with the Ethernet link to the board emulator on loopback (the board's real pause
// unless options say otherwise), its main sheet shown, messages kept by a Messenger of type M.
template <typename M>
struct ProgramOnBoard {
  explicit ProgramOnBoard(EthernetOptions options = {}) : link(bridge, messages, std::move(options)) {
    EXPECT_FALSE(board.start());
    sheet.show();
    // After the sheet: its Initialization page chooses I2C when it is made.
    link.settings().connectionType = "Ethernet";
    link.settings().ethernetAddress = "127.0.0.1";
    link.settings().ethernetPort = board.port();
  }

  ChipModel boardChip;
  BoardServer board{boardChip};
  RecordingBridge bridge;
  M messages;
  DeviceLink link;
  CodecOperations codec{link};
  InlineLinkRunner runner{link, codec, messages};
  PanelState state;
  FakeFileChooser files;
  FakeUnsavedLogQuestion unsavedLog;
  PanelContext context{runner, state, files, unsavedLog};
  MainSheet sheet{context};
};

// One run of the program on the recording bridge or on a simulated chip, its main sheet shown,
// every message recorded instead of shown and the Ethernet link's pauses skipped.
class PanelTest : public ::testing::Test {
 protected:
  explicit PanelTest(bool simulated = false)
      : link(simulated ? static_cast<UsbBridge&>(simulator) : bridge, messages,
             EthernetOptions{.pause = [](std::chrono::milliseconds) {}}) {
    // The recording bridge answers every read alike whatever was written: it is no chip whose
    // registers could be kept.
    if (!simulated) {
      link.cache().describe({});
      runner.cacheView().describe({});
    }
    show();
  }

  // Forgets what the Connect's Read Chip learned of the blank register file, so that the
  // pages keep their start positions (tests of the pages' own writes start from there).
  void forgetChip() {
    link.cache().clear();
    runner.cacheView().assign(link.cache().contents());
    QApplication::processEvents();
  }

  // A new sheet in place of the old one, as at a new start of the program.
  void show() {
    scope = nullptr;
    sheet.reset();
    sheet = std::make_unique<MainSheet>(context);
    sheet->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
  }

  // Controls by their captions: on the page last brought to the front by showPage() if it has
  // one of that name (several pages have an "Enable ZCD"), else anywhere on the sheet.
  template <typename W>
  W* control(const QString& name) const {
    if (scope != nullptr) {
      for (W* widget : scope->findChildren<W*>()) {
        if (widget->accessibleName() == name) return widget;
      }
    }
    return Control<W>(sheet.get(), name);
  }
  QPushButton* button(const QString& name) const { return control<QPushButton>(name); }
  QComboBox* list(const QString& name) const { return control<QComboBox>(name); }
  QLineEdit* box(const QString& name) const { return control<QLineEdit>(name); }
  QCheckBox* check(const QString& name) const { return control<QCheckBox>(name); }
  QSlider* slider(const QString& name) const { return control<QSlider>(name); }
  // A slider's value label, named "<slider> value" (its accessible name is what it shows).
  QLabel* valueLabel(const QString& sliderName) const {
    const QString name = sliderName + " value";
    QLabel* label = scope != nullptr ? scope->findChild<QLabel*>(name) : nullptr;
    if (label == nullptr) label = sheet->findChild<QLabel*>(name);
    EXPECT_NE(label, nullptr) << name.toStdString();
    return label;
  }
  // The text of a slider's value label.
  QString valueOf(const QString& sliderName) const {
    const QLabel* label = valueLabel(sliderName);
    return label != nullptr ? label->text() : QString();
  }
  // Brings a page to the front, as a click on its tab does.
  void showPage(MainSheet::Tab tab) {
    scope = sheet->page(tab);
    sheet->tabs()->setCurrentWidget(scope);
    QApplication::processEvents();
  }

  // Brings a page of the audio processor's sheet to the front: its tab on the processor's page.
  void showDapPage(const QString& tab) {
    showPage(MainSheet::Tab::DigitalAudioProcessing);
    QTabWidget* processor = static_cast<DigitalAudioProcessingPage*>(scope)->sheet();
    ASSERT_NE(processor, nullptr);
    const int index = TabTexts(processor).indexOf(tab);
    ASSERT_GE(index, 0) << tab.toStdString();
    processor->setCurrentIndex(index);
    scope = processor->widget(index);
    QApplication::processEvents();
  }
  UpDown* upDown(const QString& name) const { return control<UpDown>(name); }

  // The messages so far, one "caption | owner | text" line each; a page owner by its name.
  Lines shown() const {
    Lines lines;
    for (const Message& m : messages.messages) {
      std::string name = m.owner == Owner::mainWindow() ? "main window" : "none";
      if (const QWidget* owner = WidgetOf(m.owner)) name = owner->objectName().toStdString();
      lines.push_back(m.caption + " | " + name + " | " + m.text);
    }
    return lines;
  }

  // Files of the test, in a folder of its own.
  QString tempPath(const QString& name) const { return temp.filePath(name); }
  QString writeFile(const QString& name, const std::string& bytes) const {
    std::ofstream(tempPath(name).toStdString(), std::ios::binary) << bytes;
    return tempPath(name);
  }
  static std::string ReadFile(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  RecordingBridge bridge;
  ChipModel chip;
  SimulatedBridge simulator{chip};
  RecordingMessenger messages;
  DeviceLink link;
  CodecOperations codec{link};
  InlineLinkRunner runner{link, codec, messages};
  PanelState state;
  FakeFileChooser files;
  FakeUnsavedLogQuestion unsavedLog;
  PanelContext context{runner, state, files, unsavedLog};
  std::unique_ptr<MainSheet> sheet;
  QWidget* scope = nullptr;  // the page shown last by showPage()
  QTemporaryDir temp;
};

}  // namespace tonvisor::testing
