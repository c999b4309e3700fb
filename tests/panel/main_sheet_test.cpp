#include <gtest/gtest.h>

#include <algorithm>

#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>

#include "panel/about_dialog.h"
#include "panel/message_box_messenger.h"
#include "panel_harness.h"
#include "tools/pages/direct_register_page.h"
#include "tools/pages/widget_owner.h"

namespace tonvisor::testing {
namespace {

using MainSheetTest = PanelTest;

TEST_F(MainSheetTest, OpensOnInitializationWithItsTitleTabsAndButtonRowAndPlacesPagesAddedLater) {
  EXPECT_EQ(sheet->windowTitle(), "KRVL7300 Control Software");
  EXPECT_EQ(TabTexts(sheet->tabs()), (QStringList{"Initialization", "Routing", "I2S", "Inputs", "Outputs",
                                                   "Digital Audio Processing", "Direct Register Access"}));
  EXPECT_EQ(sheet->tabs()->currentIndex(), 0);
  EXPECT_TRUE(sheet->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(sheet->windowIcon().isNull());

  // The version button opens the row of standard buttons at the left edge of the tabs.
  QPushButton* version = sheet->versionButton();
  QPushButton* ok = sheet->buttons()->button(QDialogButtonBox::Ok);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(version->text(), "Ver 1.0.1.8");
  // It has OK's top, bottom and width, and its text still fits.
  const QRect versionBox(version->mapTo(sheet.get(), QPoint(0, 0)), version->size());
  const QRect okBox(ok->mapTo(sheet.get(), QPoint(0, 0)), ok->size());
  EXPECT_EQ(versionBox.top(), okBox.top());
  EXPECT_EQ(versionBox.bottom(), okBox.bottom());
  EXPECT_EQ(versionBox.width(), okBox.width());
  EXPECT_GE(version->width(), version->sizeHint().width());
  EXPECT_LT(versionBox.right(), okBox.left());
  EXPECT_EQ(versionBox.left(), sheet->tabs()->mapTo(sheet.get(), QPoint(0, 0)).x());

  // A page added later takes its tab's place, whatever is around it.
  sheet->addPage(MainSheet::Tab::Inputs, new QWidget);
  EXPECT_EQ(TabTexts(sheet->tabs()), (QStringList{"Initialization", "Routing", "I2S", "Inputs", "Inputs", "Outputs",
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

// The three ways to end the program: OK, Cancel and the close button (or the window
// manager). True when the sheet ended.
bool End(MainSheet* sheet, int way) {
  QSignalSpy finished(sheet, &QDialog::finished);
  if (way == 0) Click(sheet->buttons()->button(QDialogButtonBox::Ok));
  if (way == 1) Click(sheet->buttons()->button(QDialogButtonBox::Cancel));
  if (way == 2) {
    const bool closed = sheet->close();
    EXPECT_EQ(closed, finished.count() == 1);
  }
  EXPECT_NE(sheet->isVisible(), finished.count() == 1);
  return finished.count() == 1;
}

TEST_F(MainSheetTest, OkCancelAndTheCloseButtonEndTheSheetAtOnceWhenNothingIsUnsaved) {
  for (int way = 0; way < 3; ++way) {
    show();
    EXPECT_TRUE(End(sheet.get(), way)) << way;  // an empty log
  }
  EXPECT_TRUE(unsavedLog.asked.empty());
  // A log emptied by Connect (its entries discarded when Connect asked) holds nothing unsaved.
  for (int way = 0; way < 3; ++way) {
    show();
    link.writeLog().appendComment("# before\n");
    Click(button("Connect"));
    EXPECT_TRUE(End(sheet.get(), way)) << way;
  }
  EXPECT_EQ(unsavedLog.losses, std::vector<LogLoss>(3, LogLoss::Connect));
}

// Connect empties the log: unsaved entries are asked about first, by the button and by Return
// in the address box. Cancel keeps the log and connects nothing; Save saves, then connects.
TEST_F(MainSheetTest, ConnectAsksBeforeEmptyingUnsavedEntries) {
  WriteLog& log = link.writeLog();
  log.appendComment("# one\n");
  log.appendWrite(0x0022, 0x1818);
  unsavedLog.answer = UnsavedLogAnswer::Stay;
  Click(button("Connect"));
  QTest::keyClick(Control<QLineEdit>(sheet.get(), "I2C Address"), Qt::Key_Return);
  EXPECT_EQ(log.count(), 2u);
  EXPECT_TRUE(button("Connect")->isEnabled());
  EXPECT_EQ(unsavedLog.losses, std::vector<LogLoss>(2, LogLoss::Connect));

  unsavedLog.answer = UnsavedLogAnswer::Save;
  files.saveAnswer = std::nullopt;  // the save cancelled: still nothing
  Click(button("Connect"));
  EXPECT_EQ(log.count(), 2u);
  files.saveAnswer = tempPath("before connect.txt");
  Click(button("Connect"));
  EXPECT_EQ(log.count(), 0u);
  EXPECT_FALSE(button("Connect")->isEnabled());
  EXPECT_EQ(ReadFile(*files.saveAnswer), "# one\n\nWrite   0x0022    0x1818\n");
  EXPECT_EQ(unsavedLog.asked, (std::vector<std::size_t>{2, 2, 2, 2}));
}

TEST_F(MainSheetTest, ReturnAndEscapeNeverEndTheSheetAndNoButtonIsPressedByReturn) {
  link.writeLog().appendComment("# unsaved\n");
  QSignalSpy finished(sheet.get(), &QDialog::finished);
  for (QPushButton* b : sheet->findChildren<QPushButton*>()) EXPECT_FALSE(b->isDefault()) << b->text().toStdString();

  // Every box of every page, the spin boxes' own included, the Ethernet fields shown.
  Choose(list("Connection Type"), "Ethernet");
  int boxes = 0;
  const auto typeIntoEveryBox = [&] {
    for (QLineEdit* edit : sheet->findChildren<QLineEdit*>()) {
      if (!edit->isVisible() || !edit->isEnabled()) continue;
      ++boxes;
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(edit, key);
    }
  };
  for (int page = 0; page < sheet->tabs()->count(); ++page) {
    sheet->tabs()->setCurrentIndex(page);
    typeIntoEveryBox();
  }
  sheet->directRegisterPage()->sheet()->setCurrentIndex(1);  // the monitor
  typeIntoEveryBox();
  // The audio processor's pages, Return running what it runs on each of them.
  showPage(MainSheet::Tab::DigitalAudioProcessing);
  QTabWidget* processor = sheet->page(MainSheet::Tab::DigitalAudioProcessing)->findChild<QTabWidget*>();
  ASSERT_NE(processor, nullptr);
  for (int page = 1; page < processor->count(); ++page) {
    processor->setCurrentIndex(page);
    typeIntoEveryBox();
  }
  // 10 on the main sheet's own pages, the mixer's 2, Surround 1, Bass 3, AVC 3; the EQ's are
  // disabled until a mode is chosen.
  EXPECT_EQ(boxes, 19);
  // OK and Cancel with the focus: Return and Escape still leave them alone (Space presses).
  for (QAbstractButton* b : sheet->buttons()->buttons()) {
    b->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(b, key);
  }
  QTest::keyClick(sheet.get(), Qt::Key_Escape);
  EXPECT_EQ(finished.count(), 0);
  EXPECT_TRUE(sheet->isVisible());
  // Return in the Ethernet address connects, and asks about the log first; nothing asked to end.
  EXPECT_EQ(std::count(unsavedLog.losses.begin(), unsavedLog.losses.end(), LogLoss::ProgramEnd), 0);
  for (QPushButton* b : sheet->findChildren<QPushButton*>()) EXPECT_FALSE(b->isDefault()) << b->text().toStdString();
}

TEST_F(MainSheetTest, EndingWithUnsavedEntriesAsksAndStaysDiscardsOrSavesAsSaveScriptDoes) {
  WriteLog& log = link.writeLog();
  log.appendComment("   \n");
  log.appendComment("# Write Register \n");
  log.appendWrite(0x0022, 0x1818);
  // Stay, by each way.
  unsavedLog.answer = UnsavedLogAnswer::Stay;
  for (int way = 0; way < 3; ++way) EXPECT_FALSE(End(sheet.get(), way)) << way;
  EXPECT_EQ(unsavedLog.asked, (std::vector<std::size_t>{3, 3, 3}));

  // Save, with the chooser cancelled or a file that cannot be written: stay.
  unsavedLog.answer = UnsavedLogAnswer::Save;
  EXPECT_FALSE(End(sheet.get(), 0));
  files.saveAnswer = temp.path();  // a folder
  EXPECT_FALSE(End(sheet.get(), 2));
  EXPECT_EQ(shown(), (Lines{"Tonvisor | RegisterWriteMonitorPage |  Error Creating File"}));

  // Save to a file: the lines as the monitor lists them, in its display mode, then end.
  sheet->tabs()->setCurrentWidget(sheet->directRegisterPage());
  sheet->directRegisterPage()->sheet()->setCurrentIndex(1);
  Choose(list("Display Mode"), "Show Reg Name");
  files.saveAnswer = tempPath("at exit.txt");
  EXPECT_TRUE(End(sheet.get(), 1));
  EXPECT_EQ(ReadFile(*files.saveAnswer),
            "   \n\n# Write Register \n\nWrite   \tCHIP_ANA_HP_CTRL_REG" + std::string(20, ' ') + "\t0x1818\n");
  EXPECT_EQ(unsavedLog.asked.size(), 6u);

  // Discard.
  show();
  unsavedLog.answer = UnsavedLogAnswer::Discard;
  EXPECT_TRUE(End(sheet.get(), 2));
  EXPECT_EQ(unsavedLog.asked.size(), 7u);
  EXPECT_EQ(log.count(), 3u);
}

TEST_F(MainSheetTest, AfterSaveScriptNothingIsUnsavedUntilTheNextEntryAlsoAfterConnect) {
  unsavedLog.answer = UnsavedLogAnswer::Stay;
  WriteLog& log = link.writeLog();
  for (std::uint16_t i = 0; i < 3; ++i) log.appendWrite(0x0010, i);
  sheet->tabs()->setCurrentWidget(sheet->directRegisterPage());
  sheet->directRegisterPage()->sheet()->setCurrentIndex(1);
  files.saveAnswer = tempPath("saved.txt");
  Click(button("Save Script"));
  EXPECT_TRUE(End(sheet.get(), 0));
  EXPECT_TRUE(unsavedLog.asked.empty());

  show();
  sheet->tabs()->setCurrentWidget(sheet->directRegisterPage());
  sheet->directRegisterPage()->sheet()->setCurrentIndex(1);
  Click(button("Save Script"));
  log.appendComment("# one more\n");
  EXPECT_FALSE(End(sheet.get(), 0));
  // Saved at three entries; Connect empties the log and two new ones are not saved, though
  // the log is shorter than it was at the save.
  Click(button("Save Script"));
  sheet->tabs()->setCurrentIndex(0);
  Click(button("Connect"));
  log.appendWrite(0x0010, 1);
  log.appendWrite(0x0010, 2);
  EXPECT_FALSE(End(sheet.get(), 2));
  EXPECT_EQ(unsavedLog.asked, (std::vector<std::size_t>{1, 2}));
}

TEST(MessageBoxUnsavedLogQuestion, AsksWithSaveDiscardAndCancelUnderTheProgramsTitle) {
  QWidget window;
  window.show();
  MessageBoxUnsavedLogQuestion question;
  QStringList seen;
  const auto answerWith = [&](std::optional<QMessageBox::StandardButton> press) {
    QTimer::singleShot(0, [&seen, press] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      seen << QString("%1 | %2 %3 | %4 %5").arg(box->windowTitle(), box->text(), box->informativeText())
                  .arg(box->buttons().size())
                  .arg(box->defaultButton() == box->button(QMessageBox::Save) ? "Save" : "?");
      if (press) {
        box->button(*press)->click();
      } else {
        QTest::keyClick(box, Qt::Key_Escape);
      }
    });
  };
  answerWith(QMessageBox::Save);
  EXPECT_EQ(question.ask(&window, 12, LogLoss::ProgramEnd), UnsavedLogAnswer::Save);
  answerWith(QMessageBox::Discard);
  EXPECT_EQ(question.ask(&window, 1, LogLoss::ProgramEnd), UnsavedLogAnswer::Discard);
  answerWith(QMessageBox::Cancel);
  EXPECT_EQ(question.ask(&window, 2, LogLoss::ProgramEnd), UnsavedLogAnswer::Stay);
  answerWith(std::nullopt);
  EXPECT_EQ(question.ask(&window, 2, LogLoss::Connect), UnsavedLogAnswer::Stay);
  const QString asks = " Save the log before the program ends? | 3 Save";
  EXPECT_EQ(seen, (QStringList{"Tonvisor | The write log holds 12 entries not yet saved as a script." + asks,
                               "Tonvisor | The write log holds 1 entry not yet saved as a script." + asks,
                               "Tonvisor | The write log holds 2 entries not yet saved as a script." + asks,
                               "Tonvisor | The write log holds 2 entries not yet saved as a script. Save the log "
                               "before Connect empties it? | 3 Save"}));
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

namespace tonvisor::testing {
namespace {

struct StatusLine : PanelTest {
  StatusLine() : PanelTest(true) {}
};

// The status line names the link a Connect opened, and nothing once another link is chosen
// or a Connect failed.
TEST_F(StatusLine, NamesTheLinkTheLastConnectOpened) {
  EXPECT_EQ(sheet->linkText(), "not connected");
  const struct {
    const char* type;
    const char* address;  // the I2C address typed, or the Ethernet port
    const char* shown;
  } cases[] = {
      {"I2C", "A", "I2C at 0x0A on bridge simulated bridge with a KRVL7300 model at 100 kHz"},
      {"SPI", "", "SPI on bridge simulated bridge with a KRVL7300 model"},
      {"Ethernet", "3000", "Ethernet 127.0.0.20:3000"},
      {"I2C", "xyz", "not connected"},  // refused: no hexadecimal digit
  };
  for (const auto& [type, address, text] : cases) {
    Choose(list("Connection Type"), type);
    EXPECT_EQ(sheet->linkText(), "not connected") << type;
    if (std::string(type) == "I2C") Type(box("I2C Address"), address);
    if (std::string(type) == "Ethernet") {
      Type(box("Ethernet Address"), "127.0.0.20");
      Type(box("Port"), address);
    }
    Click(button("Connect"));
    EXPECT_EQ(sheet->linkText(), text) << type;
  }
  // Other parts of the window put their own widgets there.
  auto* extra = new QLabel(QStringLiteral("extra"));
  sheet->statusLine()->addPermanentWidget(extra);
  EXPECT_TRUE(extra->isVisible());
}

}  // namespace
}  // namespace tonvisor::testing
