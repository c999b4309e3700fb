#pragma once

// What the panel benchmarks share: the program as start-up builds it, a messenger that shows
// nothing, and the process's resident memory.

#include <fstream>
#include <string>

#include "codec/codec_operations.h"
#include "link/device_link.h"
#include "link/messenger.h"
#include "panel/main_sheet.h"
#include "panel/panel_context.h"
#include "panel/unsaved_log_question.h"
#include "runner/thread_link_runner.h"
#include "sim/chip_model.h"
#include "sim/simulated_bridge.h"
#include "tools/pages/file_chooser.h"

namespace tonvisor::bench {

class QuietMessenger final : public Messenger {
 public:
  void show(const Message&) override {}
  using Messenger::show;
};

// The program as start-up builds it, on the simulated chip: Runner is the program's own
// ThreadLinkRunner, or an InlineLinkRunner for benchmarks that reach into the link themselves.
template <typename Runner>
struct BasicProgram {
  ChipModel chip;
  SimulatedBridge bridge{chip};
  QuietMessenger messenger;
  DeviceLink link{bridge, messenger};
  CodecOperations codec{link};
  Runner runner{link, codec, messenger};
  PanelState state;
  DialogFileChooser files;
  MessageBoxUnsavedLogQuestion unsavedLog;
  PanelContext context{runner, state, files, unsavedLog};
  MainSheet sheet{context};
};
using Program = BasicProgram<InlineLinkRunner>;
using ThreadedProgram = BasicProgram<ThreadLinkRunner>;

// The process's resident memory in KiB, from /proc; -1 when it cannot be read.
inline long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace tonvisor::bench
