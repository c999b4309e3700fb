#pragma once

#include <span>
#include <vector>

#include <QList>
#include <QPointF>
#include <QString>
#include <QWidget>

#include "codec/peq_design.h"

class QChart;
class QChartView;
class QLineSeries;
class QLogValueAxis;
class QScatterSeries;
class QValueAxis;

namespace tonvisor {

// The equaliser's magnitude response in dB against a logarithmic frequency axis from 20 Hz to
// half the sample rate, with a grid and a 0 dB line: either the combined curve of parametric
// bands with each band's own faint curve, or gains at their centre frequencies as points
// (bands whose shapes the chip does not document). The chart is made the first time the plot
// is shown; what it is asked to show before then is drawn then.
class ResponsePlot : public QWidget {
  Q_OBJECT

 public:
  // The curve is drawn at this many frequencies, evenly spaced in log frequency.
  static constexpr int kPoints = 512;
  static constexpr int kMaxBands = 7;

  explicit ResponsePlot(QWidget* parent = nullptr);

  // Bands as the chip runs them; a band that is not there (flat, or one that cannot be made)
  // gets no curve of its own. The title says what is shown.
  void showCurves(double rateHz, std::span<const std::optional<Biquad>> bands, const QString& title);
  void showPoints(double rateHz, const QList<QPointF>& hzAndDb, const QString& title);

  QChart* chart() const;  // nothing until the plot has been shown
  QSize sizeHint() const override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void build();
  void draw();
  void setAxes(double rateHz, double lowestDb, double highestDb);

  // What to draw, kept until the chart exists.
  bool m_asPoints = false;
  double m_rateHz = 48000.0;
  std::vector<std::optional<Biquad>> m_bands;
  QList<QPointF> m_points;
  QString m_title;

  QChartView* m_view = nullptr;
  QLineSeries* m_combined = nullptr;
  QLineSeries* m_zeroDb = nullptr;
  std::vector<QLineSeries*> m_bandCurves;
  QScatterSeries* m_gains = nullptr;
  QLogValueAxis* m_frequencyAxis = nullptr;
  QValueAxis* m_gainAxis = nullptr;
  std::vector<double> m_frequencies;  // for m_rateHz
  double m_frequenciesRateHz = 0.0;
};

}  // namespace tonvisor
