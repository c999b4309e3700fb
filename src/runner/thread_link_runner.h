#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "runner/link_runner.h"

class QThread;

namespace tonvisor {

// Runs the jobs one after the other on a thread of its own, which owns the link from the
// first job on: the window never waits for the chip. The queue is first in, first out; a job
// with a coalesce key replaces a queued one with the same key (it moves to the end: the last
// position of a slider wins, and no other control's write is dropped). Destroying it drops
// what is still queued, stops the running job after its current access and joins the thread,
// so that the USB bridge can go away after it.
class ThreadLinkRunner final : public LinkRunner {
  Q_OBJECT

 public:
  ThreadLinkRunner(DeviceLink& link, CodecOperations& codec, Messenger& messenger, QObject* parent = nullptr);
  ~ThreadLinkRunner() override;

  void cancel() override;
  void stopAll() override;

 protected:
  void enqueue(Queued queued) override;

 private:
  void run();  // the link thread
  void finished(std::shared_ptr<Queued> queued, std::shared_ptr<Finished> result);
  void drain();
  void wakeSocket();  // ends a wait on a silent board at once

  QThread* m_thread = nullptr;
  std::mutex m_mutex;
  std::condition_variable m_queued;
  std::deque<Queued> m_queue;  // guarded by m_mutex
  bool m_quit = false;         // guarded by m_mutex
  std::atomic<bool> m_cancelled{false};  // the running job's
  int m_wake = -1;                       // eventfd: readable while the running job is cancelled
  // The window's thread: results waiting to be shown, in order, one at a time (a message box
  // of one must not let the next one's messages in before it).
  std::deque<std::pair<std::shared_ptr<Queued>, std::shared_ptr<Finished>>> m_results;
  bool m_draining = false;
};

}  // namespace tonvisor
