#include "tools/log_save_mark.h"

namespace tonvisor {

void LogSaveMark::saved(const WriteLog& log) {
  m_generation = log.generation();
  m_count = log.count();
}

std::size_t LogSaveMark::unsaved(const WriteLog& log) const {
  // After a Connect the saved entries are gone: whatever the new log holds is unsaved.
  const std::size_t savedHere = log.generation() == m_generation ? m_count : 0;
  return log.count() > savedHere ? log.count() - savedHere : 0;
}

}  // namespace tonvisor
