#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/codec_operations.h"

namespace tonvisor {

// Every codec operation and EQ preset callable by its name, for tools that take the name as
// text (the command-line tool). Arguments are decimal texts.
struct OperationInfo {
  std::string_view name;
  std::string_view arguments;  // how the arguments are written, e.g. "DB" or "INTEGER FRACTION"; empty for none
};

std::vector<OperationInfo> ListOperations();

// Runs the named operation with its arguments. Returns the operation's status in the
// dispatchers' sense (for a composite operation or preset, the first non-zero status of its
// accesses), or nothing when the name is unknown or the arguments do not fit, with the reason
// in error. An integer argument must lie within the codes of the field it lands in (a field
// operation's own, a flag's 0 or 1, the PLL divisor's parts), named in the error; nothing is
// logged or sent for a refused call. Callers that need the whole truth count the accesses with a ScopedTally.
std::optional<Status> CallOperationByName(CodecOperations& codec, std::string_view name,
                                          std::span<const std::string> arguments, std::string& error);

}  // namespace tonvisor
