// Feeds arbitrary bytes to the PEQ design reader. Beyond the sanitizers' own checks, it asserts
// that whatever the reader accepts writes back to a text that reads as the same design, and
// that designing it at the file's rate (or 48 kHz) either gives coefficients or says why.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/peq_design_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<tonvisor::PeqDesignFile> file = tonvisor::ParsePeqDesign(text, error);
  if (!file) {
    if (error.empty()) {
      std::fprintf(stderr, "a refused design gave no reason\n");
      std::abort();
    }
    return 0;
  }
  const std::optional<tonvisor::PeqDesignFile> again =
      tonvisor::ParsePeqDesign(tonvisor::PeqDesignText(file->design, file->rateHz), error);
  if (!again || again->design != file->design || again->rateHz != file->rateHz) {
    std::fprintf(stderr, "a design did not read back as written: %s\n", error.c_str());
    std::abort();
  }
  const tonvisor::PeqTableResult table = tonvisor::DesignPeqFile(*file, file->rateHz.value_or(48000.0));
  if (!table.table && table.error.empty()) {
    std::fprintf(stderr, "a design that cannot be made gave no reason\n");
    std::abort();
  }
  return 0;
}
