// Feeds arbitrary bytes to the script reader as a script file and runs it against the
// simulated chip. Beyond the sanitizers' own checks, it asserts that whatever the reader made
// of the input saves to a script that replays the same register writes, in both forms.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "sim/simulated_bridge.h"
#include "tools/script_file.h"

namespace {

using tonvisor::DeviceLink;
using tonvisor::WriteLog;

class DiscardingMessenger final : public tonvisor::Messenger {
 public:
  void show(const tonvisor::Message&) override {}
  using tonvisor::Messenger::show;
};

std::string TempPath(const char* what) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/fuzz_script_reader." +
         std::to_string(::getpid()) + "." + what;
}

std::vector<std::pair<std::uint16_t, std::uint16_t>> Writes(const WriteLog& log) {
  std::vector<std::pair<std::uint16_t, std::uint16_t>> writes;
  for (std::size_t i = 0; i < log.count(); ++i) {
    if (log.entry(i).isWrite()) writes.emplace_back(log.entry(i).address, log.entry(i).value);
  }
  return writes;
}

// One chip for every run (what it holds does not matter here, and a fresh 128 KiB register
// file per input would cost more than the run itself); a fresh link and log for each.
tonvisor::SimulatedBridge& Bridge() {
  static tonvisor::ChipModel chip;
  static tonvisor::SimulatedBridge bridge(chip);
  return bridge;
}

struct Bench {
  DiscardingMessenger messages;
  DeviceLink link{Bridge(), messages};
  Bench() { link.i2c().I2cOpen(tonvisor::ChipModel::kI2cDeviceAddress); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string input = TempPath("input");
  static const std::string saved = TempPath("saved");
  // The two files are this process's own (named after its id): gone when it ends.
  static const bool cleanedAtExit = std::atexit([] {
    std::remove(input.c_str());
    std::remove(saved.c_str());
  }) == 0;
  (void)cleanedAtExit;

  std::FILE* file = std::fopen(input.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  Bench first;
  tonvisor::RunScriptFile(first.link, input, {});
  const auto writes = Writes(first.link.writeLog());

  for (tonvisor::WriteForm form : {tonvisor::WriteForm::Address, tonvisor::WriteForm::Name}) {
    tonvisor::RenderedLines lines;
    lines.render(first.link.writeLog(), 0, form);
    if (!tonvisor::WriteScriptFile(saved, lines)) std::abort();
    Bench replay;
    tonvisor::RunScriptFile(replay.link, saved, {});
    if (Writes(replay.link.writeLog()) != writes) {
      std::fprintf(stderr, "a saved script did not replay the same writes\n");
      std::abort();
    }
  }
  return 0;
}
