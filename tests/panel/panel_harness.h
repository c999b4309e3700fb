#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QComboBox>
#include <QTest>
#include <QWidget>

#include "codec/codec_operations.h"
#include "link/device_link.h"
#include "panel/main_sheet.h"
#include "panel/panel_context.h"
#include "support/recording_messenger.h"
#include "tools/pages/file_chooser.h"

namespace tonvisor::testing {

// Answers the file dialogs for the user: a path, or nothing for Cancel.
class FakeFileChooser final : public FileChooser {
 public:
  std::optional<QString> chooseSaveFile(QWidget*) override {
    ++saveAsked;
    return saveAnswer;
  }
  std::optional<QString> chooseOpenFile(QWidget*) override {
    ++openAsked;
    return openAnswer;
  }

  std::optional<QString> saveAnswer;
  std::optional<QString> openAnswer;
  int saveAsked = 0;
  int openAsked = 0;
};

// One run of the program around a given bridge: the link, the operations, the shared state
// and the main sheet, with every message recorded instead of shown.
class PanelHarness {
 public:
  explicit PanelHarness(UsbBridge& bridge, EthernetOptions ethernet = NoPauses())
      : link(bridge, messages, std::move(ethernet)), codec(link), context{link, codec, state, files} {}

  // The Ethernet link's pause after each access, counted instead of slept.
  static EthernetOptions NoPauses() {
    EthernetOptions options;
    options.timeout = std::chrono::milliseconds(2000);
    options.pause = [](std::chrono::milliseconds) {};
    return options;
  }

  MainSheet& show() {
    sheet.reset();  // one sheet at a time, as in the program
    sheet = std::make_unique<MainSheet>(context);
    sheet->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
    return *sheet;
  }

  RecordingMessenger messages;
  DeviceLink link;
  CodecOperations codec;
  PanelState state;
  FakeFileChooser files;
  PanelContext context;
  std::unique_ptr<MainSheet> sheet;
};

// The control whose accessible name (its visible caption) is name, under root.
template <typename W>
W* Control(QWidget* root, const QString& name) {
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
template <typename Edit>
void Type(Edit* box, const QString& text) {
  ASSERT_NE(box, nullptr);
  box->selectAll();
  QTest::keyClick(box, Qt::Key_Delete);
  QTest::keyClicks(box, text);
}

// A message as one comparable, readable line: caption, owner and text.
inline std::string Shown(const Message& message) {
  std::string owner = "none";
  if (message.owner.kind == Owner::Kind::MainWindow) owner = "main window";
  if (message.owner.kind == Owner::Kind::Window) {
    const auto* widget = static_cast<const QWidget*>(message.owner.window);
    owner = widget ? widget->metaObject()->className() : "null window";
  }
  return message.caption + " | " + owner + " | " + message.text;
}

inline std::vector<std::string> ShownAll(const std::vector<Message>& messages) {
  std::vector<std::string> lines;
  for (const Message& message : messages) lines.push_back(Shown(message));
  return lines;
}

inline std::string TempPath(const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return (std::filesystem::path(::testing::TempDir()) /
          (std::string(info->test_suite_name()) + "." + info->name() + "." + name))
      .string();
}

inline std::string WriteTextFile(const std::string& name, const std::string& bytes) {
  const std::string path = TempPath(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

inline std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace tonvisor::testing
