#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include <QObject>

#include "link/write_log.h"

namespace tonvisor {

// The write log as the window sees it. The link's log is appended on the link thread; every
// change is handed over here under a lock and applied to a copy on the window's thread, which
// the monitor lists and Save Script writes. The copy holds the same entries and the same
// generation once the hand-off has been taken, so a save mark read from it when the link is
// idle counts exactly what the link's log holds.
class LogView final : public QObject {
  Q_OBJECT

 public:
  explicit LogView(WriteLog& source, QObject* parent = nullptr);
  ~LogView() override;

  // The copy; read it on the window's thread only.
  const WriteLog& log() const { return m_copy; }
  // Takes what the link thread handed over since the last call (called by itself on the
  // window's thread; callable directly where the window must be up to date at once).
  void takeHandOver();

 signals:
  void changed();

 private:
  struct Change {
    bool cleared = false;
    WriteLog::Entry entry;
  };
  class Silent final : public Messenger {
   public:
    void show(const Message&) override {}
    using Messenger::show;
  };

  void sourceChanged();  // on whichever thread changed the link's log

  WriteLog& m_source;
  Silent m_silent;
  WriteLog m_copy{m_silent};
  // Link thread: how much of the source has been handed over.
  std::uint64_t m_sourceGeneration;
  std::size_t m_sourceCount = 0;
  std::mutex m_mutex;
  std::vector<Change> m_handed;  // guarded by m_mutex
  std::atomic<bool> m_posted{false};
};

}  // namespace tonvisor
