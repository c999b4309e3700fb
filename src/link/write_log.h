#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/messenger.h"

namespace tonvisor {

// The write log: every register write the transports make and every comment line the
// operations, pages and scripts add, in order. It holds at most kCapacity entries; when it is
// full further entries are refused (never overwritten) and the user is told once, until the
// log is emptied again.
class WriteLog {
 public:
  static constexpr std::size_t kCapacity = 2000;
  static constexpr std::string_view kWriteText = "Write";
  static constexpr std::string_view kFullMessage =
      "The write log is full (2000 entries); further writes are not logged. "
      "Save it with Save Script, then press Connect to empty it.";

  struct Entry {
    enum class Kind { Write, Comment };
    Kind kind = Kind::Comment;
    std::string text;  // "Write" for a write; the whole line, with its line end, for a comment
    std::uint16_t address = 0;
    std::uint16_t value = 0;

    bool isWrite() const { return kind == Kind::Write; }
  };

  explicit WriteLog(Messenger& messenger);

  // Both return false when the log is full and the entry was not kept.
  bool appendComment(std::string_view text);
  bool appendWrite(std::uint16_t address, std::uint16_t value);

  std::size_t count() const { return m_entries.size(); }
  const Entry& entry(std::size_t index) const { return m_entries.at(index); }
  bool full() const { return m_entries.size() >= kCapacity; }

  // Empties the log (Connect does this before opening the link).
  void clear();
  // Grows by one at every clear(), so that a view can tell an emptied and refilled log from
  // one that only grew.
  std::uint64_t generation() const { return m_generation; }

  // Called after every change (append or clear). One listener: the view that follows the log.
  void setChangeListener(std::function<void()> listener) { m_listener = std::move(listener); }

 private:
  bool makeRoom();
  void changed();

  Messenger& m_messenger;
  std::vector<Entry> m_entries;
  std::uint64_t m_generation = 0;
  bool m_fullReported = false;
  std::function<void()> m_listener;
};

}  // namespace tonvisor
