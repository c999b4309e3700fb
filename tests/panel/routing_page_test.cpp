#include <gtest/gtest.h>

#include <QListWidget>

#include "codec/register_map.h"
#include "panel_harness.h"

namespace tonvisor::testing {
namespace {

struct RoutingPageTest : PanelTest {
  explicit RoutingPageTest(bool simulated = true) : PanelTest(simulated) {
    Click(button("Connect"));
    showPage(MainSheet::Tab::Routing);
    program = button("Program Route");
    edit = button("Edit Route");
    cancel = button("Cancel Edit");
    outputs = control<QListWidget>("Select Outputs");
    routes = control<QListWidget>("Programmed Routes");
  }

  Lines log() { return LogLines(link.writeLog()); }
  QStringList routeTexts() const {
    QStringList texts;
    for (int row = 0; row < routes->count(); ++row) texts << routes->item(row)->text();
    return texts;
  }
  // Clicks an output's row, which toggles it.
  void toggle(const QString& output) {
    const QList<QListWidgetItem*> found = outputs->findItems(output, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    QTest::mouseClick(outputs->viewport(), Qt::LeftButton, Qt::NoModifier, outputs->visualItemRect(found[0]).center());
  }
  QStringList selectedOutputs() const {
    QStringList texts;
    for (int row = 0; row < outputs->count(); ++row) {
      if (outputs->item(row)->isSelected()) texts << outputs->item(row)->text();
    }
    return texts;
  }
  void selectRoute(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseClick(routes->viewport(), Qt::LeftButton, modifiers, routes->visualItemRect(routes->item(row)).center());
  }
  bool shownOnPage(const QWidget* widget) const { return widget->isVisibleTo(scope); }

  QPushButton* program = nullptr;
  QPushButton* edit = nullptr;
  QPushButton* cancel = nullptr;
  QListWidget* outputs = nullptr;
  QListWidget* routes = nullptr;
};
struct RecordedRoutingPage : RoutingPageTest {
  RecordedRoutingPage() : RoutingPageTest(false) {}
};

std::string FromPage(const std::string& text) { return "Tonvisor | RoutingPage | " + text; }

// Each operation's comment lines and the write that follows.
Lines Operation(const char* comment, const char* write) { return {"   \n", comment, write}; }
Lines Joined(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
const Lines kRouteComment{"   \n", "# Configure Routing Route\n"};

TEST_F(RoutingPageTest, TheOpeningRouteIsLineInThroughTheAdcToLineOutAndI2sOut) {
  EXPECT_EQ(list("Select Input")->currentText(), "LINEIN");
  EXPECT_TRUE(shownOnPage(list("LINEIN Analog Input Path")));
  EXPECT_FALSE(shownOnPage(list("MIC Analog Input Path")));
  EXPECT_EQ(selectedOutputs(), (QStringList{"LINEOUT", "I2S_DOUT"}));
  EXPECT_FALSE(shownOnPage(cancel));
  EXPECT_EQ(link.writeLog().count(), 0u);

  chip.write(reg::CHIP_SSS_CTRL_REG, 0x0033);
  Click(program);
  EXPECT_EQ(routeTexts(), (QStringList{"LINEIN-->ADC-->LINEOUT , I2S_DOUT"}));
  EXPECT_EQ(routes->currentRow(), 0);
  EXPECT_EQ(log(), Joined({kRouteComment, Operation("# Configure ADC Input\n", "W 0024 0004"),
                           Operation("# Configure DAC OUT \n", "W 000A 0003"),
                           Operation("# Configure I2S DOUT \n", "W 000A 0000")}));
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(RoutingPageTest, I2sInputThroughTheProcessorToTheHeadphones) {
  Pick(list("Select Input"), "I2S_DIN");
  EXPECT_FALSE(list("LINEIN Analog Input Path")->isEnabled());
  EXPECT_FALSE(list("MIC Analog Input Path")->isEnabled());
  EXPECT_TRUE(shownOnPage(list("LINEIN Analog Input Path")));  // greyed where it was
  Click(check("Digital Audio Processing"));
  toggle("LINEOUT");
  toggle("I2S_DOUT");
  toggle("HP");
  Click(program);
  EXPECT_EQ(routeTexts(), (QStringList{"I2S_DIN-->Digital Audio Processing-->HP"}));
  EXPECT_EQ(log(), Joined({kRouteComment, Operation("# Configure DAP Select\n", "W 000A 0040"),
                           Operation("# Select input to HP \n", "W 0024 0000"),
                           Operation("# Configure DAC OUT \n", "W 000A 0070")}));
}

TEST_F(RoutingPageTest, MicRoutesGoThroughTheDacEvenWithTheHiddenLineInPathOnPassThrough) {
  Pick(list("LINEIN Analog Input Path"), "Pass through");
  Pick(list("Select Input"), "MIC");
  EXPECT_TRUE(shownOnPage(list("MIC Analog Input Path")));
  EXPECT_FALSE(shownOnPage(list("LINEIN Analog Input Path")));
  toggle("I2S_DOUT");
  toggle("HP");
  Click(program);
  EXPECT_EQ(routeTexts(), (QStringList{"MIC-->ADC-->LINEOUT , HP"}));
  EXPECT_EQ(log(), Joined({kRouteComment, Operation("# Configure ADC Input\n", "W 0024 0000"),
                           Operation("# Configure DAC OUT \n", "W 000A 0000"),
                           Operation("# Select input to HP \n", "W 0024 0000"),
                           Operation("# Configure DAC OUT \n", "W 000A 0000")}));
}

// Left to us: with the headphones passed through, I2S_DOUT keeps the route's own source (here the
// processor, 3) rather than the I2S input, which the route's text never names.
TEST_F(RoutingPageTest, PassThroughGreysTheProcessorBoxKeepsItsCheckAndLeavesI2sOutOnTheRoutesSource) {
  Click(check("Digital Audio Processing"));
  Pick(list("LINEIN Analog Input Path"), "Pass through");
  EXPECT_FALSE(check("Digital Audio Processing")->isEnabled());
  EXPECT_TRUE(check("Digital Audio Processing")->isChecked());
  toggle("LINEOUT");
  toggle("HP");
  Click(program);
  EXPECT_EQ(routeTexts(), (QStringList{"LINEIN-->Pass through-->Digital Audio Processing-->HP , I2S_DOUT"}));
  EXPECT_EQ(log(), Joined({kRouteComment, Operation("# Configure ADC Input\n", "W 0024 0004"),
                           Operation("# Configure DAP Select\n", "W 000A 0000"),
                           Operation("# Select input to HP \n", "W 0024 0044"),
                           Operation("# Configure I2S DOUT \n", "W 000A 0003")}));

  Pick(list("LINEIN Analog Input Path"), "ADC");
  EXPECT_TRUE(check("Digital Audio Processing")->isEnabled());
}

TEST_F(RoutingPageTest, NoOutputIsAnInvalidRouteAfterTheInputIsSet) {
  toggle("LINEOUT");
  toggle("I2S_DOUT");
  Click(program);
  EXPECT_EQ(shown(), (Lines{FromPage("Invalid Route")}));
  EXPECT_EQ(log(), Joined({kRouteComment, Operation("# Configure ADC Input\n", "W 0024 0004")}));
  EXPECT_TRUE(routeTexts().isEmpty());
}

TEST_F(RoutingPageTest, EditRouteLoadsARouteAndTheNextProgramReplacesItInPlace) {
  Click(program);  // LINEIN-->ADC-->LINEOUT , I2S_DOUT
  Pick(list("Select Input"), "MIC");
  Click(check("Digital Audio Processing"));
  toggle("HP");
  toggle("I2S_DOUT");
  Click(program);
  Pick(list("Select Input"), "I2S_DIN");
  Click(program);
  ASSERT_EQ(routeTexts(), (QStringList{"LINEIN-->ADC-->LINEOUT , I2S_DOUT",
                                       "MIC-->ADC-->Digital Audio Processing-->LINEOUT , HP",
                                       "I2S_DIN-->Digital Audio Processing-->LINEOUT , HP"}));

  // Load the MIC route over the I2S one: input, path, processor and exactly its outputs.
  selectRoute(1);
  link.writeLog().clear();
  Click(check("Digital Audio Processing"));  // unchecked now; the route checks it again
  Click(edit);
  EXPECT_EQ(list("Select Input")->currentText(), "MIC");
  EXPECT_TRUE(shownOnPage(list("MIC Analog Input Path")));
  EXPECT_TRUE(list("MIC Analog Input Path")->isEnabled());
  EXPECT_TRUE(check("Digital Audio Processing")->isChecked());
  EXPECT_EQ(selectedOutputs(), (QStringList{"LINEOUT", "HP"}));
  EXPECT_EQ(program->text(), "Edit Route");
  EXPECT_FALSE(edit->isEnabled());
  EXPECT_TRUE(shownOnPage(cancel));
  EXPECT_EQ(link.writeLog().count(), 0u);

  toggle("I2S_DOUT");
  Click(program);
  EXPECT_EQ(routeTexts(), (QStringList{"LINEIN-->ADC-->LINEOUT , I2S_DOUT",
                                       "MIC-->ADC-->Digital Audio Processing-->LINEOUT , HP , I2S_DOUT",
                                       "I2S_DIN-->Digital Audio Processing-->LINEOUT , HP"}));
  EXPECT_EQ(routes->currentRow(), 1);
  EXPECT_EQ(program->text(), "Program Route");
  EXPECT_TRUE(edit->isEnabled());
  EXPECT_FALSE(shownOnPage(cancel));

  // Loading the I2S route hides both path selectors; Cancel Edit keeps what was loaded, and the
  // next route is added.
  selectRoute(2);
  Click(edit);
  EXPECT_FALSE(shownOnPage(list("MIC Analog Input Path")));
  EXPECT_FALSE(shownOnPage(list("LINEIN Analog Input Path")));
  Click(cancel);
  EXPECT_EQ(program->text(), "Program Route");
  Click(program);
  EXPECT_EQ(routeTexts().size(), 4);
  EXPECT_EQ(routeTexts().back(), "I2S_DIN-->Digital Audio Processing-->LINEOUT , HP");
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(RoutingPageTest, EditWithNothingSelectedSaysSoAndStaysAddingUnderTheEditLook) {
  Click(program);
  routes->clearSelection();
  Click(edit);
  EXPECT_EQ(shown(), (Lines{FromPage("There is no route to edit")}));
  EXPECT_EQ(program->text(), "Edit Route");
  Click(program);  // adding: the route is appended, and the look stays
  EXPECT_EQ(routeTexts().size(), 2);
  EXPECT_EQ(program->text(), "Edit Route");
  Click(cancel);
  EXPECT_EQ(program->text(), "Program Route");
  EXPECT_TRUE(edit->isEnabled());
}

// Mend: editing with the selection lost (Ctrl+click) deleted at index -1; the route is now added.
TEST_F(RoutingPageTest, EditingWithTheSelectionLostAddsTheRouteAndEndsEditing) {
  Click(program);
  Pick(list("Select Input"), "MIC");
  Click(program);
  selectRoute(0);
  Click(edit);
  selectRoute(0, Qt::ControlModifier);
  ASSERT_TRUE(routes->selectedItems().isEmpty());
  Click(program);
  EXPECT_EQ(routeTexts(), (QStringList{"LINEIN-->ADC-->LINEOUT , I2S_DOUT", "MIC-->ADC-->LINEOUT , I2S_DOUT",
                                       "LINEIN-->ADC-->LINEOUT , I2S_DOUT"}));
  EXPECT_EQ(routes->currentRow(), 2);
  EXPECT_EQ(program->text(), "Program Route");
  EXPECT_TRUE(edit->isEnabled());
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(RecordedRoutingPage, ARefusedSourceSelectionIsReportedAndTheRouteStillListed) {
  bridge.setResult("i2c.write", 4);
  toggle("HP");  // LINEOUT, HP and I2S_DOUT: two DAC OUT selections and one I2S DOUT
  Click(program);
  // One user action: the same message is shown once.
  EXPECT_EQ(shown(), (Lines{FromPage(" Write DAC OUT Failed"), FromPage(" Write I2S DOUT Failed")}));
  EXPECT_EQ(routeTexts(), (QStringList{"LINEIN-->ADC-->LINEOUT , HP , I2S_DOUT"}));
  EXPECT_EQ(WritesIn(log(), false), Joined({kRouteComment,
                                            {"   \n", "# Configure ADC Input\n", "   \n", "# Configure DAC OUT \n",
                                             "   \n", "# Select input to HP \n", "   \n", "# Configure DAC OUT \n",
                                             "   \n", "# Configure I2S DOUT \n"}}));
}

}  // namespace
}  // namespace tonvisor::testing
