// Read All, as the Register Map view and `tonvisor-cli snapshot` do it: every named register
// read once. Over the simulated USB bridge it shows the cost of the reading itself; over
// Ethernet against the board emulator on loopback each read ends with the board's 20 ms
// pause, and the figure is the whole run against that floor (goal: at most 1.02 times it).
//
//   build/bench/snapshot_bench [--runs N]     (default 5)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "codec/register_map.h"
#include "link/connect.h"
#include "link/messenger.h"
#include "sim/board_server.h"
#include "sim/chip_model.h"
#include "sim/simulated_bridge.h"
#include "tools/snapshot.h"

namespace {

using Clock = std::chrono::steady_clock;
using tonvisor::ChipModel;

class QuietMessenger final : public tonvisor::Messenger {
 public:
  void show(const tonvisor::Message& message) override {
    std::fprintf(stderr, "unexpected message: %s\n", message.text.c_str());
    ++count;
  }
  using Messenger::show;
  int count = 0;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
  }
  const std::size_t registers = tonvisor::RegisterMap.size();
  bool clean = true;

  {
    ChipModel chip(ChipModel::Behaviour::Chip);
    tonvisor::SimulatedBridge bridge(chip);
    QuietMessenger messages;
    tonvisor::DeviceLink link(bridge, messages);
    tonvisor::Connect(link, {ChipModel::kI2cDeviceAddress, {}, {}}, tonvisor::Owner::none());
    constexpr int kRepeats = 2000;
    const auto start = Clock::now();
    for (int i = 0; i < kRepeats; ++i) clean &= tonvisor::ReadAllRegisters(link).tally.allWentThrough();
    const double each = Seconds(Clock::now() - start) / kRepeats;
    std::printf("Read All of %zu registers, simulated bridge over I2C: %.1f us (%.0f reads per s)\n", registers,
                each * 1e6, registers / each);
    clean &= messages.count == 0;
  }

  ChipModel boardChip(ChipModel::Behaviour::Chip);
  tonvisor::BoardServer board(boardChip);
  if (board.start()) {
    std::fprintf(stderr, "snapshot_bench: the board emulator could not start\n");
    return 1;
  }
  auto bridge = tonvisor::MakeAbsentBridge();
  QuietMessenger messages;
  tonvisor::DeviceLink link(*bridge, messages);
  link.settings().connectionType = "Ethernet";
  tonvisor::Connect(link, {{}, "127.0.0.1", board.port()}, tonvisor::Owner::none());
  const double floor = registers * 0.020;
  for (int run = 0; run < runs; ++run) {
    const auto start = Clock::now();
    clean &= tonvisor::ReadAllRegisters(link).tally.allWentThrough();
    const double measured = Seconds(Clock::now() - start);
    std::printf("Read All over Ethernet, run %d: %.3f s against %zu x 20 ms = %.3f s, ratio %.4f\n", run + 1,
                measured, registers, floor, measured / floor);
  }
  clean &= messages.count == 0;
  return clean ? 0 : 1;
}
