#include "panel/response_plot.h"

#include <algorithm>
#include <cmath>

#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QValueAxis>
#include <QVBoxLayout>

namespace tonvisor {

namespace {

constexpr double kLowestHz = 20.0;
// The gain axis shows at least this much either side of 0 dB, and grows in steps of 6 dB to
// hold every curve, up to the depth of a deep notch.
constexpr double kLeastDb = 12.0;
constexpr double kStepDb = 6.0;
constexpr double kDeepestDb = -60.0;
constexpr double kHighestDb = 36.0;

QPen pen(const QColor& color, qreal width) {
  QPen line(color);
  line.setWidthF(width);
  return line;
}

}  // namespace

ResponsePlot::ResponsePlot(QWidget* parent) : QWidget(parent) {
  setAccessibleName(tr("Response plot"));
  new QVBoxLayout(this);
  layout()->setContentsMargins(0, 0, 0, 0);
}

QChart* ResponsePlot::chart() const { return m_view != nullptr ? m_view->chart() : nullptr; }

QSize ResponsePlot::sizeHint() const {
  const int m = fontMetrics().horizontalAdvance(QLatin1Char('M'));
  return {36 * m, 12 * m};
}

void ResponsePlot::showEvent(QShowEvent* event) {
  if (m_view == nullptr) {
    build();
    draw();
  }
  QWidget::showEvent(event);
}

void ResponsePlot::build() {
  auto* chart = new QChart;
  chart->legend()->hide();
  chart->setMargins(QMargins(2, 2, 2, 2));
  chart->setBackgroundRoundness(0);
  QFont small = font();
  chart->setTitleFont(small);
  small.setPointSizeF(small.pointSizeF() * 0.85);

  m_frequencyAxis = new QLogValueAxis;
  m_frequencyAxis->setBase(10.0);
  m_frequencyAxis->setLabelFormat(QStringLiteral("%g"));
  m_frequencyAxis->setMinorTickCount(8);
  m_frequencyAxis->setLabelsFont(small);
  m_gainAxis = new QValueAxis;
  m_gainAxis->setLabelFormat(QStringLiteral("%g"));
  m_gainAxis->setLabelsFont(small);
  chart->addAxis(m_frequencyAxis, Qt::AlignBottom);
  chart->addAxis(m_gainAxis, Qt::AlignLeft);

  const QColor ink = palette().color(QPalette::Highlight);
  QColor faint = ink;
  faint.setAlpha(120);
  auto attach = [&](QXYSeries* series, const QString& name) {
    series->setName(name);
    chart->addSeries(series);
    series->attachAxis(m_frequencyAxis);
    series->attachAxis(m_gainAxis);
  };
  m_zeroDb = new QLineSeries;
  m_zeroDb->setPen(pen(palette().color(QPalette::WindowText), 1.0));
  attach(m_zeroDb, tr("0 dB"));
  for (int b = 0; b < kMaxBands; ++b) {
    auto* curve = new QLineSeries;
    curve->setPen(pen(faint, 1.5));
    attach(curve, tr("Band %1").arg(b));
    m_bandCurves.push_back(curve);
  }
  m_combined = new QLineSeries;
  m_combined->setPen(pen(ink, 2.5));
  attach(m_combined, tr("Response"));
  m_gains = new QScatterSeries;
  m_gains->setColor(ink);
  m_gains->setMarkerSize(10.0);
  attach(m_gains, tr("Band gains"));

  m_view = new QChartView(chart);
  m_view->setRenderHint(QPainter::Antialiasing);
  m_view->setAccessibleName(tr("Response chart"));
  layout()->addWidget(m_view);
}

void ResponsePlot::showCurves(double rateHz, std::span<const std::optional<Biquad>> bands, const QString& title) {
  m_asPoints = false;
  m_rateHz = rateHz;
  m_bands.assign(bands.begin(), bands.end());
  m_title = title;
  if (m_view != nullptr) draw();
}

void ResponsePlot::showPoints(double rateHz, const QList<QPointF>& hzAndDb, const QString& title) {
  m_asPoints = true;
  m_rateHz = rateHz;
  m_points = hzAndDb;
  m_title = title;
  if (m_view != nullptr) draw();
}

void ResponsePlot::draw() {
  const double highestHz = m_rateHz / 2.0;
  if (m_frequenciesRateHz != m_rateHz) {
    m_frequencies.resize(kPoints);
    for (int i = 0; i < kPoints; ++i) {
      m_frequencies[i] = kLowestHz * std::pow(highestHz / kLowestHz, static_cast<double>(i) / (kPoints - 1));
    }
    m_frequenciesRateHz = m_rateHz;
  }
  chart()->setTitle(m_title);
  m_zeroDb->replace(QList<QPointF>{{kLowestHz, 0.0}, {highestHz, 0.0}});
  double lowest = 0.0;
  double highest = 0.0;

  QList<QPointF> combined;
  if (!m_asPoints) {
    combined.reserve(kPoints);
    for (double hz : m_frequencies) combined.append({hz, 0.0});
  }
  for (int b = 0; b < kMaxBands; ++b) {
    QList<QPointF> curve;
    const bool drawn = !m_asPoints && static_cast<std::size_t>(b) < m_bands.size() && m_bands[b];
    if (drawn) {
      curve.reserve(kPoints);
      const std::span<const Biquad> one(&*m_bands[b], 1);
      for (int i = 0; i < kPoints; ++i) {
        const double db = PeqResponseDb(one, m_frequencies[i], m_rateHz);
        curve.append({m_frequencies[i], db});
        combined[i].ry() += db;
      }
    }
    m_bandCurves[b]->replace(curve);
  }
  for (const QPointF& point : std::as_const(combined)) {
    lowest = std::min(lowest, point.y());
    highest = std::max(highest, point.y());
  }
  m_combined->replace(combined);
  m_gains->replace(m_asPoints ? m_points : QList<QPointF>{});
  for (const QPointF& point : std::as_const(m_points)) {
    if (!m_asPoints) break;
    lowest = std::min(lowest, point.y());
    highest = std::max(highest, point.y());
  }
  setAxes(m_rateHz, lowest, highest);
}

void ResponsePlot::setAxes(double rateHz, double lowestDb, double highestDb) {
  m_frequencyAxis->setRange(kLowestHz, rateHz / 2.0);
  const double top = std::clamp(std::ceil(highestDb / kStepDb) * kStepDb, kLeastDb, kHighestDb);
  const double bottom = std::clamp(std::floor(lowestDb / kStepDb) * kStepDb, kDeepestDb, -kLeastDb);
  m_gainAxis->setRange(bottom, top);
  m_gainAxis->setTickCount(static_cast<int>((top - bottom) / kStepDb) + 1);
}

}  // namespace tonvisor
