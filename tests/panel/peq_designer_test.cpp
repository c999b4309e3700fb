#include <gtest/gtest.h>

#include <QChart>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QXYSeries>

#include "codec/register_map.h"
#include "link/typed_text.h"
#include "panel/response_plot.h"
#include "panel_harness.h"
#include "tools/peq_design_file.h"

namespace tonvisor::testing {
namespace {

QXYSeries* Series(QWidget* page, const QString& name) {
  const auto plots = page->findChildren<ResponsePlot*>();
  if (plots.size() != 1 || plots.front()->chart() == nullptr) return nullptr;
  for (QAbstractSeries* series : plots.front()->chart()->series()) {
    if (series->name() == name) return qobject_cast<QXYSeries*>(series);
  }
  return nullptr;
}

// Replaces a number box's text by typing, one key at a time, as a user does.
void TypeNumber(QDoubleSpinBox* box, const QString& text) {
  ASSERT_NE(box, nullptr);
  box->selectAll();
  QTest::keyClick(box, Qt::Key_Delete);
  QTest::keyClicks(box, text);
}

// Sets band b from the keyboard: its type, then frequency, gain and Q.
void DesignBand(QWidget* page, int b, const QString& type, const QString& hz, const QString& db, const QString& q) {
  const QString band = QStringLiteral("Band %1 ").arg(b);
  Choose(Control<QComboBox>(page, band + "type"), type);
  TypeNumber(Control<QDoubleSpinBox>(page, band + "frequency"), hz);
  if (!db.isEmpty()) TypeNumber(Control<QDoubleSpinBox>(page, band + "gain"), db);
  TypeNumber(Control<QDoubleSpinBox>(page, band + "Q"), q);
}

struct PeqDesignerTest : PanelTest {
  PeqDesignerTest() : PanelTest(true) {
    Click(button("Connect"));
    forgetChip();
    showDapPage("PEQ/GEQ/Tone Control");
    link.writeLog().clear();
  }
};

TEST_F(PeqDesignerTest, ThePlotShowsThePresetThenFollowsEveryEditOfTheDesign) {
  Pick(list("Select PEQ/GEQ/Tone Control"), "PEQ");
  Pick(list("PEQ Control"), "Rock");
  QXYSeries* response = Series(scope, "Response");
  ASSERT_NE(response, nullptr);
  ASSERT_EQ(response->count(), ResponsePlot::kPoints);
  EXPECT_EQ(response->at(0).x(), 20.0);
  EXPECT_NEAR(response->at(ResponsePlot::kPoints - 1).x(), 24000.0, 1e-6);
  std::vector<Biquad> rock;
  for (const PeqBandWords& band : PeqPresetTable(PeqPreset::Rock)) rock.push_back(DecodePeqBand(band));
  for (int i = 0; i < response->count(); i += 37) {
    EXPECT_NEAR(response->at(i).y(), PeqResponseDb(rock, response->at(i).x(), 48000.0), 1e-9);
  }
  for (int b = 0; b < 7; ++b) EXPECT_EQ(Series(scope, QStringLiteral("Band %1").arg(b))->count(), ResponsePlot::kPoints);

  const std::size_t logged = link.writeLog().count();
  DesignBand(scope, 3, "Peaking", "1000", "6", "1");
  const QList<QPointF> points = response->points();
  const auto peak = std::max_element(points.begin(), points.end(),
                                     [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
  EXPECT_NEAR(peak->y(), 6.0, 0.02);
  EXPECT_NEAR(peak->x(), 1000.0, 20.0);
  // Only the edited band has a curve of its own; nothing went to the chip.
  EXPECT_EQ(Series(scope, "Band 3")->count(), ResponsePlot::kPoints);
  EXPECT_EQ(Series(scope, "Band 0")->count(), 0);
  EXPECT_EQ(link.writeLog().count(), logged);

  // A band the chip cannot hold says why and draws no curve; the others stay drawn.
  DesignBand(scope, 5, "High shelf", "8000", "12", "0.707");
  EXPECT_EQ(control<QLabel>("Design problem")->text().toStdString().rfind("band 5 (highshelf): B0 would be 2.465", 0), 0u);
  EXPECT_EQ(Series(scope, "Band 5")->count(), 0);
  EXPECT_EQ(Series(scope, "Band 3")->count(), ResponsePlot::kPoints);
}

TEST_F(PeqDesignerTest, GraphicAndToneBandsArePointsAtTheirCentres) {
  Pick(list("Select PEQ/GEQ/Tone Control"), "GEQ");
  for (int i = 0; i < 8; ++i) QTest::keyClick(slider("GEQ2"), Qt::Key_Up);
  QXYSeries* gains = Series(scope, "Band gains");
  ASSERT_NE(gains, nullptr);
  EXPECT_EQ(gains->points(), (QList<QPointF>{{115, 0}, {330, 0}, {990, 2}, {3000, 0}, {9900, 0}}));
  EXPECT_EQ(Series(scope, "Response")->count(), 0);

  Pick(list("Select PEQ/GEQ/Tone Control"), "Tone Control");
  Type(box("Treble value"), "-3.5");
  QTest::keyClick(list("Select PEQ/GEQ/Tone Control"), Qt::Key_Return);
  EXPECT_EQ(gains->points(), (QList<QPointF>{{115, 0}, {9900, -3.5}}));
  // Editing the design meanwhile leaves the points up.
  DesignBand(scope, 0, "Peaking", "1000", "6", "1");
  EXPECT_EQ(gains->count(), 2);
  EXPECT_EQ(Series(scope, "Response")->count(), 0);

  // Back in PEQ the design's curve returns.
  Pick(list("Select PEQ/GEQ/Tone Control"), "PEQ");
  EXPECT_EQ(gains->count(), 0);
  EXPECT_EQ(Series(scope, "Band 0")->count(), ResponsePlot::kPoints);
}

TEST_F(PeqDesignerTest, LoadingNeedsTheSampleRateAndADesignTheChipCanHold) {
  Pick(list("Select PEQ/GEQ/Tone Control"), "PEQ");
  link.writeLog().clear();
  DesignBand(scope, 0, "Low-pass", "5000", "", "0.707");
  Click(button("Load into Chip"));
  state.systemSampleRate = 48000.0;
  DesignBand(scope, 1, "High shelf", "8000", "12", "0.707");
  Click(button("Load into Chip"));
  EXPECT_EQ(shown(), (Lines{"Tonvisor | EqPage | Set the sample rate with Config Clock on the Initialization page "
                            "first: the PEQ design's coefficients depend on it.",
                            "Tonvisor | EqPage | The design cannot be loaded: band 1 (highshelf): B0 would be 2.465, "
                            "beyond the chip's range of -2 to 2."}));
  EXPECT_EQ(link.writeLog().count(), 0u);

  messages.messages.clear();
  Choose(control<QComboBox>("Band 1 type"), "Flat");
  Click(button("Load into Chip"));
  EXPECT_TRUE(shown().empty());
  const Lines written = LogLines(link.writeLog());
  ASSERT_EQ(written.size(), 2u + 3u + 77u + 15u);
  EXPECT_EQ(written[1], "# Load PEQ Design Untitled\n");
  PeqDesign design{};
  design[0] = {PeqBandType::LowPass, 5000.0, 0.0, 0.707};
  const PeqBandTable table = *DesignPeqTable(design, 48000.0).table;
  EXPECT_EQ(chip.read(reg::DAP_COEF_WR_A2_MSB_REG), table[6][4].msb);
  EXPECT_EQ(written[7], "W 0110 " + FormatHex4(table[0][0].lsb));
  EXPECT_EQ(written[8], "W 010E " + FormatHex4(table[0][0].msb));
}

TEST_F(PeqDesignerTest, DesignsAreSavedAndOpenedThroughThePagesFileChooser) {
  state.systemSampleRate = 44100.0;
  DesignBand(scope, 2, "Notch", "50", "", "8");
  files.saveAnswer = tempPath("hum.txt");
  Click(button("Save Design"));
  std::string error;
  const auto saved = ReadPeqDesignFile(tempPath("hum.txt").toStdString(), error);
  ASSERT_TRUE(saved) << error;
  EXPECT_EQ(saved->rateHz, 44100.0);
  EXPECT_EQ(saved->design[2], (PeqBand{PeqBandType::Notch, 50.0, 0.0, 8.0}));

  // Values a file holds beyond what the boxes show stay exact.
  files.openAnswer = writeFile("fine.txt", "rate 48000\nband 6 peaking 1234.5678 -1.125 0.70711\n");
  Click(button("Open Design"));
  EXPECT_EQ(control<QDoubleSpinBox>("Band 6 frequency")->text(), "1234.57");
  EXPECT_EQ(control<QComboBox>("Band 2 type")->currentText(), "Flat");
  Pick(list("Select PEQ/GEQ/Tone Control"), "PEQ");
  link.writeLog().clear();
  Click(button("Load into Chip"));
  state.systemSampleRate = 48000.0;
  Click(button("Load into Chip"));
  PeqDesign design{};
  design[6] = {PeqBandType::Peaking, 1234.5678, -1.125, 0.70711};
  EXPECT_EQ(chip.read(reg::DAP_COEF_WR_B1_MSB_REG), (*DesignPeqTable(design, 48000.0).table)[6][1].msb);

  files.openAnswer = writeFile("bad.txt", "rate 48000\nband 9 notch 50 0 8\n");
  Click(button("Open Design"));
  EXPECT_EQ(shown(), (Lines{"Tonvisor | EqPage | The design fine.txt is for 48000 Hz, but Config Clock set 44100 Hz: "
                            "its bands would land elsewhere. Save it again to make it for 44100 Hz.",
                            "Tonvisor | EqPage | " + tempPath("bad.txt").toStdString() +
                                ", line 2: the band index must be 0 to 6, not \"9\""}));
  // The refused file changed nothing.
  EXPECT_EQ(control<QComboBox>("Band 6 type")->currentText(), "Peaking");
}

// Over Ethernet every access is a round trip to the board: editing the design sends nothing,
// "Load into Chip" sends the whole design.
TEST(PeqDesignerOnBoard, EditingWritesNothingUntilLoadIntoChip) {
  ProgramOnBoard<RecordingMessenger> program;
  program.state.systemSampleRate = 48000.0;
  auto* processor =
      static_cast<DigitalAudioProcessingPage*>(program.sheet.page(MainSheet::Tab::DigitalAudioProcessing));
  program.sheet.tabs()->setCurrentWidget(processor);
  processor->sheet()->setCurrentIndex(3);
  QWidget* eq = processor->sheet()->currentWidget();
  Pick(Control<QComboBox>(eq, "Select PEQ/GEQ/Tone Control"), "PEQ");
  const std::uint64_t before = program.board.accessCount();

  DesignBand(eq, 0, "Peaking", "250", "-4", "2");
  DesignBand(eq, 4, "Band-pass", "2000", "", "0.5");
  for (int i = 0; i < 20; ++i) QTest::keyClick(Control<QDoubleSpinBox>(eq, "Band 0 frequency"), Qt::Key_Up);
  EXPECT_EQ(program.board.accessCount(), before);

  Click(Control<QPushButton>(eq, "Load into Chip"));
  EXPECT_EQ(program.board.accessCount(), before + 78);
  EXPECT_TRUE(program.messages.messages.empty());
  EXPECT_EQ(program.boardChip.read(reg::DAP_FILTER_COEF_ACCESS_REG), 0x0106);
}

}  // namespace
}  // namespace tonvisor::testing
