#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "codec/codec_operations.h"
#include "link/device_link.h"
#include "panel/main_sheet.h"
#include "panel/panel_context.h"
#include "panel/unsaved_log_question.h"
#include "sim/chip_model.h"
#include "sim/simulated_bridge.h"
#include "support/recording_bridge.h"
#include "support/recording_messenger.h"
#include "support/write_log_text.h"
#include "tools/pages/file_chooser.h"
#include "tools/pages/widget_owner.h"

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
  UnsavedLogAnswer ask(QWidget*, std::size_t unsavedEntries) override {
    asked.push_back(unsavedEntries);
    return answer;
  }
  UnsavedLogAnswer answer = UnsavedLogAnswer::Stay;
  std::vector<std::size_t> asked;  // the unsaved count told at each question
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
  QTest::mouseClick(button, Qt::LeftButton);
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

// Replaces a box's text by typing, as a user does.
inline void Type(QLineEdit* box, const QString& text) {
  ASSERT_NE(box, nullptr);
  box->selectAll();
  QTest::keyClick(box, Qt::Key_Delete);
  QTest::keyClicks(box, text);
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

// One run of the program on the recording bridge or on a simulated chip, its main sheet shown,
// every message recorded instead of shown and the Ethernet link's pauses skipped.
class PanelTest : public ::testing::Test {
 protected:
  explicit PanelTest(bool simulated = false)
      : link(simulated ? static_cast<UsbBridge&>(simulator) : bridge, messages,
             EthernetOptions{.pause = [](std::chrono::milliseconds) {}}) {
    show();
  }

  // A new sheet in place of the old one, as at a new start of the program.
  void show() {
    sheet.reset();
    sheet = std::make_unique<MainSheet>(context);
    sheet->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
  }

  // Controls of the sheet by their captions.
  QPushButton* button(const QString& name) const { return Control<QPushButton>(sheet.get(), name); }
  QComboBox* list(const QString& name) const { return Control<QComboBox>(sheet.get(), name); }
  QLineEdit* box(const QString& name) const { return Control<QLineEdit>(sheet.get(), name); }

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
  PanelState state;
  FakeFileChooser files;
  FakeUnsavedLogQuestion unsavedLog;
  PanelContext context{link, codec, state, files, unsavedLog};
  std::unique_ptr<MainSheet> sheet;
  QTemporaryDir temp;
};

}  // namespace tonvisor::testing
