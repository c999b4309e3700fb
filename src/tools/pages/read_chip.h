#pragma once

#include <optional>

#include <QString>

#include "tools/snapshot.h"

class QWidget;

namespace tonvisor {

// Read Chip: every readable register read into the link's cache as one user action, behind a
// progress window with Cancel, the reads that failed told in one closing message
// ("<title>: ..."). Over SPI, which cannot read, one message says so and nothing is sent.
// The readings, or nothing when nothing was read or the user cancelled.
std::optional<ReadAllResult> ReadChipWithProgress(DeviceLink& link, QWidget* owner, const QString& title);

}  // namespace tonvisor
