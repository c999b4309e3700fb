#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>

#include "panel/about_dialog.h"
#include "panel/message_box_messenger.h"
#include "panel_harness.h"
#include "support/recording_bridge.h"
#include "tools/pages/widget_owner.h"

namespace tonvisor {
namespace {

using testing::RecordingBridge;

QStringList TabTexts(const QTabWidget* tabs) {
  QStringList texts;
  for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
  return texts;
}

struct MainSheetTest : ::testing::Test {
  RecordingBridge bridge;
  testing::PanelHarness panel{bridge};
};

TEST_F(MainSheetTest, OpensOnInitializationWithItsTitleTabsAndButtonRow) {
  MainSheet& sheet = panel.show();
  EXPECT_EQ(sheet.windowTitle(), "KRVL7300 Control Software");
  EXPECT_EQ(TabTexts(sheet.tabs()), (QStringList{"Initialization", "Direct Register Access"}));
  EXPECT_EQ(sheet.tabs()->currentIndex(), 0);
  EXPECT_TRUE(sheet.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(sheet.windowIcon().isNull());
  EXPECT_EQ(panel.link.settings().connectionType, "I2C");

  // The version button opens the row of standard buttons at the left edge of the tabs.
  QPushButton* version = sheet.versionButton();
  QPushButton* ok = sheet.buttons()->button(QDialogButtonBox::Ok);
  ASSERT_NE(ok, nullptr);
  ASSERT_NE(sheet.buttons()->button(QDialogButtonBox::Cancel), nullptr);
  EXPECT_EQ(version->text(), "Ver 1.0.1.8");
  const QRect versionBox(version->mapTo(&sheet, QPoint(0, 0)), version->size());
  const QRect okBox(ok->mapTo(&sheet, QPoint(0, 0)), ok->size());
  EXPECT_EQ(versionBox.center().y(), okBox.center().y());
  EXPECT_LT(versionBox.right(), okBox.left());
  EXPECT_EQ(versionBox.left(), sheet.tabs()->mapTo(&sheet, QPoint(0, 0)).x());
}

TEST_F(MainSheetTest, PagesAddedLaterTakeTheirPlaceInTheTabOrder) {
  MainSheet& sheet = panel.show();
  sheet.addPage(MainSheet::Tab::Outputs, new QWidget);
  sheet.addPage(MainSheet::Tab::Routing, new QWidget);
  sheet.addPage(MainSheet::Tab::DigitalAudioProcessing, new QWidget);
  EXPECT_EQ(TabTexts(sheet.tabs()), (QStringList{"Initialization", "Routing", "Outputs", "Digital Audio Processing",
                                                 "Direct Register Access"}));
}

TEST_F(MainSheetTest, VersionButtonShowsTheAboutBox) {
  MainSheet& sheet = panel.show();
  QStringList texts;
  QString title;
  bool okIsDefault = false;
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(about, nullptr);
    title = about->windowTitle();
    for (QLabel* label : about->findChildren<QLabel*>()) {
      if (!label->text().isEmpty()) texts << label->text();
    }
    auto* ok = about->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    okIsDefault = ok->isDefault();
    QTest::mouseClick(ok, Qt::LeftButton);
  });
  testing::Click(sheet.versionButton());
  EXPECT_EQ(title, "About Tonvisor");
  EXPECT_EQ(texts, (QStringList{"KRVL7300 Control Software Version 1.0", "Version 1.0.1.6"}));
  EXPECT_TRUE(okIsDefault);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainSheetTest, OkCancelAndTheCloseButtonEachEndTheSheet) {
  for (int way = 0; way < 3; ++way) {
    MainSheet& sheet = panel.show();
    QSignalSpy finished(&sheet, &QDialog::finished);
    if (way == 0) testing::Click(sheet.buttons()->button(QDialogButtonBox::Ok));
    if (way == 1) testing::Click(sheet.buttons()->button(QDialogButtonBox::Cancel));
    if (way == 2) sheet.close();
    EXPECT_EQ(finished.count(), 1) << way;
    EXPECT_FALSE(sheet.isVisible()) << way;
  }
}

TEST(MessageBoxMessenger, ShowsOneOkBoxOverItsOwnerWithTheGivenCaption) {
  QWidget page;
  page.show();
  MessageBoxMessenger messenger;
  QWidget mainWindow;
  messenger.setMainWindow(&mainWindow);

  struct Seen {
    QString title, text;
    QWidget* parent = nullptr;
    qsizetype buttons = 0;
  };
  std::vector<Seen> seen;
  const auto answer = [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen.push_back({box->windowTitle(), box->text(), box->parentWidget(), box->buttons().size()});
    box->button(QMessageBox::Ok)->click();
  };
  QTimer::singleShot(0, answer);
  messenger.show(" Error Write Registers", kApplicationTitle, OwnerOf(&page));
  QTimer::singleShot(0, answer);
  messenger.show(" BusB Open Error", kErrorCaption, Owner::none());
  QTimer::singleShot(0, answer);
  messenger.show("Connecting to socket Failed", kApplicationTitle, Owner::mainWindow());

  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].title, "Tonvisor");
  EXPECT_EQ(seen[0].text, " Error Write Registers");  // leading blank kept
  EXPECT_EQ(seen[0].parent, &page);
  EXPECT_EQ(seen[0].buttons, 1);
  EXPECT_EQ(seen[1].title, "Error");
  EXPECT_EQ(seen[1].parent, nullptr);
  EXPECT_EQ(seen[2].parent, &mainWindow);
}

}  // namespace
}  // namespace tonvisor
