#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QString>

#include "runner/link_runner.h"
#include "tools/snapshot.h"

class QWidget;

namespace tonvisor {

// What a Read Chip found: the readings and the link they came over, or no result when nothing
// was read (SPI, which cannot read, or Cancel).
struct ReadChipOutcome {
  std::optional<ReadAllResult> result;
  std::string linkDescription;
};

// Read Chip: every readable register read into the link's cache as one job, behind a progress
// window with Cancel, the reads that failed told in one closing message ("<title>: ...").
// Over SPI one message says it cannot read and nothing is sent. then (if any) runs on the
// window's thread once the job's messages are shown, after the window's view of the cache has
// taken the readings.
void SubmitReadChip(LinkRunner& runner, QWidget* owner, const QString& title,
                    std::function<void(const ReadChipOutcome&)> then = {});

}  // namespace tonvisor
