// One register access as one user action on the simulated chip over I2C: what a call of the
// Python module costs below the binding (python_bench sets its own figure beside this one).
//  - Read, Write: a single access inside a UserAction, as Chip.read and Chip.write make it.

#include <benchmark/benchmark.h>

#include "link/connect.h"
#include "link/user_action.h"
#include "sim/simulated_bridge.h"

namespace {

class QuietMessenger final : public tonvisor::Messenger {
 public:
  void show(const tonvisor::Message&) override {}
  using tonvisor::Messenger::show;
};

struct Rig {
  tonvisor::ChipModel chip;
  tonvisor::SimulatedBridge bridge{chip};
  QuietMessenger messages;
  tonvisor::DeviceLink link{bridge, messages};

  Rig() {
    tonvisor::ConnectRequest request;
    request.i2cAddress = 0x0A;
    tonvisor::Connect(link, request, tonvisor::Owner::none());
  }
};

void BM_Read(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) {
    tonvisor::UserAction action(rig.link);
    benchmark::DoNotOptimize(rig.link.Read(0x0022).value);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Read);

void BM_Write(benchmark::State& state) {
  Rig rig;
  std::uint16_t value = 0;
  for (auto _ : state) {
    tonvisor::UserAction action(rig.link);
    benchmark::DoNotOptimize(rig.link.Write(0x0022, ++value).ok());
    // The log holds 2,000 entries; keep it from filling so every write is logged alike.
    if (rig.link.writeLog().full()) rig.link.writeLog().clear();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Write);

}  // namespace

BENCHMARK_MAIN();
