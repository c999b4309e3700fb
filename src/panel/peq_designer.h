#pragma once

#include <array>
#include <functional>
#include <optional>

#include <QString>
#include <QWidget>

#include "codec/peq_design.h"

class QComboBox;
class QDoubleSpinBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;

namespace tonvisor {

class FileChooser;
class ResponsePlot;
struct PanelState;

// The parametric equaliser's band designer: a row per band (type, frequency, gain, Q), the
// response plot beside it, and Open and Save of design files. The curve follows every edit at
// once and nothing reaches the chip until "Load into Chip", which the page carries out. The
// design is made at the sample rate Config Clock set; before that the plot is drawn at 48 kHz
// and loading is refused.
class PeqDesigner : public QWidget {
  Q_OBJECT

 public:
  PeqDesigner(FileChooser& files, const PanelState& state, std::function<void(const QString&)> tell,
              QWidget* parent = nullptr);

  // What "Load into Chip" writes: the design's name for the log and its coefficients at the
  // chip's rate. Nothing, after telling the user why, when the design cannot be loaded.
  struct ChipLoad {
    std::string name;
    PeqBandTable table;
  };
  std::optional<ChipLoad> designForChip();

  // Puts a control of the page (its preset list) at the start of the row of buttons.
  void placeBeforeButtons(QWidget* control);

  const PeqDesign& design() const { return m_design; }
  ResponsePlot* plot() const { return m_plot; }
  QPushButton* loadButton() const { return m_load; }

  // What the plot shows: this design, a preset's bands, or the gains of bands whose shape is
  // not documented (the graphic equaliser and tone control), as points at their centres.
  void showDesign();
  void showPreset(PeqPreset preset);
  void showBandGains(const QList<QPointF>& hzAndDb, const QString& title);
  // Back from the points to the preset or design shown before them.
  void hideBandGains();

 signals:
  void loadRequested();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Row {
    QComboBox* type = nullptr;
    QDoubleSpinBox* frequency = nullptr;
    QDoubleSpinBox* gain = nullptr;
    QDoubleSpinBox* q = nullptr;
  };
  void addRow(std::size_t band, QGridLayout* grid);
  void edited(std::size_t band);
  void showRow(std::size_t band);
  void enableRow(std::size_t band);
  void open();
  void save();
  // Draws what the plot is to show: the band gains, a preset, or the design.
  void refresh();
  // The chip's rate once Config Clock has set it; otherwise the design's own, or 48 kHz (a
  // preset's too: its coefficients are fixed, only its frequency axis follows the rate).
  double plotRate() const;

  FileChooser& m_files;
  const PanelState& m_state;
  std::function<void(const QString&)> m_tell;
  PeqDesign m_design{};
  std::optional<double> m_designRate;  // the rate of the file it was opened from or saved to
  std::string m_name = "Untitled";
  std::optional<PeqPreset> m_preset;   // the plot shows this preset instead of the design
  std::optional<std::pair<QList<QPointF>, QString>> m_points;
  std::array<Row, kPeqBandCount> m_rows;
  QHBoxLayout* m_buttons = nullptr;
  QLabel* m_problem = nullptr;
  QPushButton* m_load = nullptr;
  ResponsePlot* m_plot = nullptr;
};

}  // namespace tonvisor
