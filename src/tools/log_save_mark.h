#pragma once

#include <cstddef>
#include <cstdint>

#include "link/write_log.h"

namespace tonvisor {

// How much of the write log has gone to a script file. The log only grows between two
// Connects, so the log's generation and count at the last save tell what came after it; a
// log emptied since then holds nothing of what was saved, and nothing unsaved until it grows.
class LogSaveMark {
 public:
  // Nothing saved yet: every entry of the log as it stands is unsaved.
  explicit LogSaveMark(const WriteLog& log) : m_generation(log.generation()) {}

  // The whole log as it stands is in a file.
  void saved(const WriteLog& log);
  // The entries appended since the last save.
  std::size_t unsaved(const WriteLog& log) const;

 private:
  std::uint64_t m_generation;
  std::size_t m_count = 0;
};

}  // namespace tonvisor
