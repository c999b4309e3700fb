#include <gtest/gtest.h>

#include <QAccessible>
#include <QDialogButtonBox>
#include <QTabBar>

#include "panel_harness.h"

namespace tonvisor::testing {
namespace {

struct AccessibilityTest : PanelTest {
  AccessibilityTest() : PanelTest(true) { Click(button("Connect")); }

  static QString accessible(QObject* object, QAccessible::Text kind) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face != nullptr ? face->text(kind) : QStringLiteral("(none)");
  }
};

// A screen reader reads what the window shows: a value label's text, a slider's value in its
// unit, not "Left Volume value" or the slider's bare position.
TEST_F(AccessibilityTest, LabelsAndSlidersReadOutTheValueShown) {
  showPage(MainSheet::Tab::Outputs);
  DragTo(slider("DAC Volume"), 190);
  showPage(MainSheet::Tab::Inputs);
  DragTo(slider("Left Volume"), 3);

  const struct { MainSheet::Tab tab; const char* slider; const char* value; } shown[] = {
      {MainSheet::Tab::Outputs, "DAC Volume", "-0.5dB"},
      {MainSheet::Tab::Inputs, "Left Volume", "4.5dB"},
  };
  for (const auto& row : shown) {
    SCOPED_TRACE(row.slider);
    showPage(row.tab);
    EXPECT_EQ(valueOf(row.slider), row.value);
    EXPECT_EQ(accessible(valueLabel(row.slider), QAccessible::Name), row.value);
    EXPECT_EQ(accessible(slider(row.slider), QAccessible::Value), row.value);
    EXPECT_EQ(accessible(slider(row.slider), QAccessible::Name), row.slider);
  }
  // An EQ band reads as its box shows it, in dB, not as its position: 0 dB is "0 dB", not 47.
  showDapPage("PEQ/GEQ/Tone Control");
  for (const auto& [code, text] : {std::pair{47, "0 dB"}, std::pair{95, "12 dB"}, std::pair{0, "-11.75 dB"}}) {
    slider("Treble")->setValue(code);
    EXPECT_EQ(accessible(slider("Treble"), QAccessible::Value), text);
  }
}

// From the tab strip, Tab goes into the page; Ver, Read Chip, OK and Cancel after its controls.
TEST_F(AccessibilityTest, TabGoesFromTheTabStripIntoThePageBeforeTheButtons) {
  QApplication::setActiveWindow(sheet.get());
  for (MainSheet::Tab tab : {MainSheet::Tab::Initialization, MainSheet::Tab::Outputs}) {
    showPage(tab);
    QTabBar* strip = sheet->tabs()->tabBar();
    strip->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(strip, Qt::Key_Tab);
    QWidget* first = QApplication::focusWidget();
    ASSERT_NE(first, nullptr);


    EXPECT_TRUE(sheet->page(tab)->isAncestorOf(first)) << first->accessibleName().toStdString();
    // Backwards from the tab strip: the last of the buttons, Cancel.
    strip->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(strip, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), sheet->buttons()->button(QDialogButtonBox::Cancel));
  }
}

// After a refusal the box keeps the focus with its text selected: what is typed next replaces it.
TEST_F(AccessibilityTest, ARefusedTypedValueIsSelectedToBeTypedOver) {
  QApplication::setActiveWindow(sheet.get());
  showDapPage("Korvel Surround");
  QLineEdit* width = box("Surround Width value");
  width->setFocus(Qt::OtherFocusReason);
  Type(width, "9");
  QTest::keyClick(width, Qt::Key_Return);
  ASSERT_EQ(messages.messages.size(), 1u);
  QTest::keyClicks(width, "5");
  EXPECT_EQ(width->text(), "5");
}

// The same gain sits at the same height on the GEQ bands and on Bass and Treble.
TEST_F(AccessibilityTest, EqBandSlidersAreLevelWithEachOther) {
  showDapPage("PEQ/GEQ/Tone Control");
  const auto place = [this](const char* band) {
    QSlider* bandSlider = slider(band);
    return QRect(bandSlider->mapTo(sheet.get(), QPoint(0, 0)), bandSlider->size());
  };
  const QRect geq = place("GEQ0");
  for (const char* band : {"GEQ4", "Bass", "Treble"}) {
    EXPECT_EQ(place(band).top(), geq.top()) << band;
    EXPECT_EQ(place(band).height(), geq.height()) << band;
  }
}

}  // namespace
}  // namespace tonvisor::testing
