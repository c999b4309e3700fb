#include "link/write_log.h"

namespace tonvisor {

WriteLog::WriteLog(Messenger& messenger) : m_messenger(messenger) { m_entries.reserve(kCapacity); }

bool WriteLog::makeRoom() {
  if (!full()) return true;
  if (!m_fullReported) {
    m_fullReported = true;
    m_messenger.show(kFullMessage, kApplicationTitle, Owner::mainWindow());
  }
  return false;
}

bool WriteLog::appendComment(std::string_view text) {
  if (!makeRoom()) return false;
  m_entries.push_back(Entry{Entry::Kind::Comment, std::string(text), 0, 0});
  changed();
  return true;
}

bool WriteLog::appendWrite(std::uint16_t address, std::uint16_t value) {
  if (!makeRoom()) return false;
  m_entries.push_back(Entry{Entry::Kind::Write, std::string(kWriteText), address, value});
  changed();
  return true;
}

void WriteLog::clear() {
  m_entries.clear();
  m_fullReported = false;
  ++m_generation;
  changed();
}

void WriteLog::changed() {
  if (m_listener) m_listener();
}

}  // namespace tonvisor
