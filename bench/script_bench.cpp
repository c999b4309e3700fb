// Script-file figures, on the simulated bridge (no USB, no wire: what the reader and the
// renderer themselves cost):
//  - Replay: running a 1,000-write script, saved in the address or the name form, through
//    WriteRegister over I2C; items/s are register writes per second.
//  - Render: rendering a full 2,000-entry log (separator, comment and two writes per
//    operation, as the codec operations leave it) into RenderedLines, in both forms.
//  - Save: writing those 2,000 rendered lines to a file.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "codec/register_map.h"
#include "sim/simulated_bridge.h"
#include "tools/script_file.h"

namespace {

using tonvisor::DeviceLink;
using tonvisor::RenderedLines;
using tonvisor::WriteForm;
using tonvisor::WriteLog;

class QuietMessenger final : public tonvisor::Messenger {
 public:
  void show(const tonvisor::Message&) override { ++shown; }
  using tonvisor::Messenger::show;
  int shown = 0;
};

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("script_bench." + std::to_string(::getpid()) + "." + name))
      .string();
}

// A log as a bring-up leaves it: for each operation its separator, its comment and two
// writes to named registers, up to the log's 2,000 entries.
void FillLog(DeviceLink& link) {
  WriteLog& log = link.writeLog();
  std::size_t row = 0;
  while (!log.full()) {
    const auto& entry = tonvisor::RegisterMap[row++ % tonvisor::RegisterMap.size()];
    log.appendComment("   \n");
    log.appendComment("# Configure DAC Volume\n");
    link.WriteRegister(static_cast<std::uint16_t>(entry.address), static_cast<std::uint16_t>(row));
    link.WriteRegister(static_cast<std::uint16_t>(entry.address), static_cast<std::uint16_t>(row * 3));
  }
}

struct Rig {
  tonvisor::ChipModel chip;
  tonvisor::SimulatedBridge bridge{chip};
  QuietMessenger messages;
};

// Saves a 1,000-write script in the given form and returns its path.
std::string SaveReplayScript(WriteForm form) {
  Rig rig;
  DeviceLink link(rig.bridge, rig.messages);
  link.i2c().I2cOpen(tonvisor::ChipModel::kI2cDeviceAddress);
  for (int i = 0; i < 1000; ++i) {
    if (i % 4 == 0) {
      link.writeLog().appendComment("   \n");
      link.writeLog().appendComment("# Write Register \n");
    }
    const auto& entry = tonvisor::RegisterMap[static_cast<std::size_t>(i) % tonvisor::RegisterMap.size()];
    link.WriteRegister(static_cast<std::uint16_t>(entry.address), static_cast<std::uint16_t>(i));
  }
  RenderedLines lines;
  lines.render(link.writeLog(), 0, form);
  const std::string path = TempPath(form == WriteForm::Name ? "names.txt" : "addresses.txt");
  if (!tonvisor::WriteScriptFile(path, lines)) std::abort();
  return path;
}

void Replay(benchmark::State& state, WriteForm form) {
  const std::string path = SaveReplayScript(form);
  Rig rig;
  std::size_t writes = 0;
  for (auto _ : state) {
    DeviceLink link(rig.bridge, rig.messages);
    link.i2c().I2cOpen(tonvisor::ChipModel::kI2cDeviceAddress);
    const auto result = tonvisor::RunScriptFile(link, path, {});
    writes += result.writes;
    benchmark::DoNotOptimize(result);
  }
  if (rig.messages.shown != 0 || writes != 1000 * static_cast<std::size_t>(state.iterations())) {
    state.SkipWithError("the replay did not make every write");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(writes));
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
  std::filesystem::remove(path);
}

void Render(benchmark::State& state, WriteForm form) {
  Rig rig;
  DeviceLink link(rig.bridge, rig.messages);
  link.i2c().I2cOpen(tonvisor::ChipModel::kI2cDeviceAddress);
  FillLog(link);
  RenderedLines lines;
  for (auto _ : state) {
    lines.clear();
    lines.render(link.writeLog(), 0, form);
    benchmark::DoNotOptimize(lines);
  }
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) bytes += lines.at(i).size();
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(lines.size()));
  state.counters["entries"] = static_cast<double>(lines.size());
  state.counters["bytes"] = static_cast<double>(bytes);
}

void Save(benchmark::State& state, WriteForm form) {
  Rig rig;
  DeviceLink link(rig.bridge, rig.messages);
  link.i2c().I2cOpen(tonvisor::ChipModel::kI2cDeviceAddress);
  FillLog(link);
  RenderedLines lines;
  lines.render(link.writeLog(), 0, form);
  const std::string path = TempPath("saved.txt");
  for (auto _ : state) {
    if (!tonvisor::WriteScriptFile(path, lines)) state.SkipWithError("the script could not be saved");
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
  std::filesystem::remove(path);
}

BENCHMARK_CAPTURE(Replay, AddressForm, WriteForm::Address)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Replay, NameForm, WriteForm::Name)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Render, AddressForm, WriteForm::Address)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Render, NameForm, WriteForm::Name)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Save, AddressForm, WriteForm::Address)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Save, NameForm, WriteForm::Name)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
