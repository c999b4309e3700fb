#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "link/write_log.h"

namespace tonvisor::testing {

// The log as short readable lines: "W 0024 1234" for a write, the comment text for a comment.
inline std::vector<std::string> LogLines(const WriteLog& log) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < log.count(); ++i) {
    const WriteLog::Entry& e = log.entry(i);
    if (e.isWrite()) {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "W %04X %04X", e.address, e.value);
      lines.emplace_back(buffer);
    } else {
      lines.push_back(e.text);
    }
  }
  return lines;
}

}  // namespace tonvisor::testing
