#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>

#include "panel/about_dialog.h"
#include "panel/message_box_messenger.h"
#include "panel_harness.h"
#include "tools/pages/widget_owner.h"

namespace tonvisor::testing {
namespace {

using MainSheetTest = PanelTest;

TEST_F(MainSheetTest, OpensOnInitializationWithItsTitleTabsAndButtonRowAndPlacesPagesAddedLater) {
  EXPECT_EQ(sheet->windowTitle(), "KRVL7300 Control Software");
  EXPECT_EQ(TabTexts(sheet->tabs()), (QStringList{"Initialization", "Routing", "I2S", "Inputs", "Outputs",
                                                   "Direct Register Access"}));
  EXPECT_EQ(sheet->tabs()->currentIndex(), 0);
  EXPECT_TRUE(sheet->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(sheet->windowIcon().isNull());

  // The version button opens the row of standard buttons at the left edge of the tabs.
  QPushButton* version = sheet->versionButton();
  QPushButton* ok = sheet->buttons()->button(QDialogButtonBox::Ok);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(version->text(), "Ver 1.0.1.8");
  const QRect versionBox(version->mapTo(sheet.get(), QPoint(0, 0)), version->size());
  const QRect okBox(ok->mapTo(sheet.get(), QPoint(0, 0)), ok->size());
  EXPECT_EQ(versionBox.center().y(), okBox.center().y());
  EXPECT_LT(versionBox.right(), okBox.left());
  EXPECT_EQ(versionBox.left(), sheet->tabs()->mapTo(sheet.get(), QPoint(0, 0)).x());

  sheet->addPage(MainSheet::Tab::DigitalAudioProcessing, new QWidget);
  EXPECT_EQ(TabTexts(sheet->tabs()), (QStringList{"Initialization", "Routing", "I2S", "Inputs", "Outputs",
                                                   "Digital Audio Processing", "Direct Register Access"}));
}

TEST_F(MainSheetTest, VersionButtonShowsTheAboutBox) {
  QStringList texts;
  bool okIsDefault = false;
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(about, nullptr);
    texts << about->windowTitle();
    for (QLabel* label : about->findChildren<QLabel*>()) {
      if (!label->text().isEmpty()) texts << label->text();
    }
    auto* ok = about->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    okIsDefault = ok->isDefault();
    QTest::mouseClick(ok, Qt::LeftButton);
  });
  Click(sheet->versionButton());
  EXPECT_EQ(texts, (QStringList{"About Tonvisor", "KRVL7300 Control Software Version 1.0", "Version 1.0.1.6"}));
  EXPECT_TRUE(okIsDefault);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainSheetTest, OkCancelAndTheCloseButtonEachEndTheSheet) {
  for (int way = 0; way < 3; ++way) {
    show();
    QSignalSpy finished(sheet.get(), &QDialog::finished);
    if (way == 0) Click(sheet->buttons()->button(QDialogButtonBox::Ok));
    if (way == 1) Click(sheet->buttons()->button(QDialogButtonBox::Cancel));
    if (way == 2) sheet->close();
    EXPECT_EQ(finished.count(), 1) << way;
    EXPECT_FALSE(sheet->isVisible()) << way;
  }
}

TEST(MessageBoxMessenger, ShowsOneOkBoxOverItsOwnerWithTheGivenCaption) {
  QWidget page, mainWindow;
  page.setObjectName("page");
  mainWindow.setObjectName("main window");
  page.show();
  MessageBoxMessenger messenger;
  messenger.setMainWindow(&mainWindow);

  QStringList seen;  // "caption | parent | text | buttons" of each box
  const auto answer = [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    const QString parent = box->parentWidget() ? box->parentWidget()->objectName() : "none";
    seen << QString("%1 | %2 | %3 | %4").arg(box->windowTitle(), parent, box->text()).arg(box->buttons().size());
    box->button(QMessageBox::Ok)->click();
  };
  QTimer::singleShot(0, answer);
  messenger.show(" Error Write Registers", kApplicationTitle, OwnerOf(&page));
  QTimer::singleShot(0, answer);
  messenger.show(" BusB Open Error", kErrorCaption, Owner::none());
  QTimer::singleShot(0, answer);
  messenger.show("Connecting to socket Failed", kApplicationTitle, Owner::mainWindow());
  EXPECT_EQ(seen, (QStringList{"Tonvisor | page |  Error Write Registers | 1", "Error | none |  BusB Open Error | 1",
                               "Tonvisor | main window | Connecting to socket Failed | 1"}));
}

}  // namespace
}  // namespace tonvisor::testing
