#pragma once

#include <string>
#include <vector>

#include <pybind11/pybind11.h>

#include "link/access.h"
#include "link/messenger.h"
#include "link/write_log.h"
#include "tools/snapshot.h"

// Python's side of the core's results: the records of tonvisor._types and the exceptions and
// warnings a call raises.
namespace tonvisor::python {

namespace py = pybind11;

// "i2c", "spi" or "ethernet", as open() takes it.
const char* LinkName(LinkKind link);

// Raises tonvisor.AccessError: the words, the first access that failed (none when the link
// could not be opened), the link and what the link told.
[[noreturn]] void RaiseAccessError(const std::string& words, const AccessResult* firstFailure, LinkKind link,
                                   const std::vector<Message>& messages);
// Raises the OSError for a file, from errno as the failed call left it.
[[noreturn]] void RaiseFileError(int error, const std::string& path);
// Issues each message as a tonvisor.TonvisorWarning (raising when warnings are errors).
void Warn(const std::vector<Message>& messages);

py::object LogEntryOf(const WriteLog::Entry& entry);
py::list RegistersOf(const ChipSnapshot& snapshot);
py::list DifferencesOf(const std::vector<RegisterDifference>& differences);
// Every field of every named register, as the Register Map decodes it. The snapshot holds a
// value for each.
py::list FieldsOf(const ChipSnapshot& snapshot);

}  // namespace tonvisor::python
