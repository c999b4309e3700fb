// The parametric-EQ designer's curve: seven bands at 512 frequencies.
//  - Compute: designing and quantising seven bands, and the response of seven quantised bands
//    at 512 log-spaced frequencies (goal: under 2 ms together).
//  - Redraw: what one edit costs on screen: the plot's seven band curves and the combined
//    curve recomputed and handed to the chart, and the chart repainted (goal: within one frame
//    of a 60 Hz display, 16.7 ms).
// Without a display the plot is drawn off screen, as in the tests.

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <vector>

#include <QApplication>
#include <QChartView>

#include "codec/peq_design.h"
#include "panel/response_plot.h"

namespace {

using tonvisor::Biquad;
using tonvisor::PeqBandType;

constexpr double kRate = 48000.0;
constexpr int kFrequencies = 512;

tonvisor::PeqDesign SevenBands(double shift) {
  return {{{PeqBandType::HighPass, 30.0, 0.0, 0.707},
           {PeqBandType::LowShelf, 120.0, 4.0, 0.707},
           {PeqBandType::Peaking, 400.0 + shift, -3.0, 1.2},
           {PeqBandType::Peaking, 1500.0, 2.0, 2.0},
           {PeqBandType::Notch, 4000.0, 0.0, 6.0},
           {PeqBandType::HighShelf, 9000.0, 3.0, 0.707},
           {PeqBandType::LowPass, 18000.0, 0.0, 0.707}}};
}

std::vector<Biquad> Quantised(const tonvisor::PeqDesign& design) {
  const tonvisor::PeqTableResult made = tonvisor::DesignPeqTable(design, kRate);
  std::vector<Biquad> bands;
  for (const tonvisor::PeqBandWords& band : *made.table) bands.push_back(tonvisor::DecodePeqBand(band));
  return bands;
}

void BM_DesignAndQuantiseSevenBands(benchmark::State& state) {
  double shift = 0.0;
  for (auto _ : state) {
    shift = shift > 100.0 ? 0.0 : shift + 1.0;
    benchmark::DoNotOptimize(tonvisor::DesignPeqTable(SevenBands(shift), kRate));
  }
}
BENCHMARK(BM_DesignAndQuantiseSevenBands)->Unit(benchmark::kMicrosecond);

void BM_ResponseOfSevenBandsAt512Frequencies(benchmark::State& state) {
  const std::vector<Biquad> bands = Quantised(SevenBands(0.0));
  std::vector<double> hz(kFrequencies);
  for (int i = 0; i < kFrequencies; ++i) hz[i] = 20.0 * std::pow(kRate / 2.0 / 20.0, i / (kFrequencies - 1.0));
  std::vector<double> db(kFrequencies);
  for (auto _ : state) {
    tonvisor::PeqResponseDb(bands, hz, kRate, db);
    benchmark::DoNotOptimize(db.data());
  }
  state.SetItemsProcessed(state.iterations() * kFrequencies);
}
BENCHMARK(BM_ResponseOfSevenBandsAt512Frequencies)->Unit(benchmark::kMicrosecond);

// One edit as the designer handles it: the design made again, each band's curve and the
// combined one recomputed into the chart, and the chart painted.
void BM_EditRecomputesAndRedrawsThePlot(benchmark::State& state) {
  tonvisor::ResponsePlot plot;
  plot.resize(600, 260);
  plot.show();
  QApplication::processEvents();
  auto* view = plot.findChild<QChartView*>();
  double shift = 0.0;
  for (auto _ : state) {
    shift = shift > 100.0 ? 0.0 : shift + 1.0;
    const std::vector<Biquad> quantised = Quantised(SevenBands(shift));
    std::array<std::optional<Biquad>, 7> bands;
    for (std::size_t b = 0; b < bands.size(); ++b) bands[b] = quantised[b];
    plot.showCurves(kRate, bands, QStringLiteral("Design"));
    view->viewport()->repaint();
  }
}
BENCHMARK(BM_EditRecomputesAndRedrawsThePlot)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
