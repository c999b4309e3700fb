#include "runner/thread_link_runner.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include <QThread>

#include "link/device_link.h"

namespace tonvisor {

ThreadLinkRunner::ThreadLinkRunner(DeviceLink& link, CodecOperations& codec, Messenger& messenger, QObject* parent)
    : LinkRunner(link, codec, messenger, parent) {
  m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  m_link.ethernet().setWakeDescriptor(m_wake);
  m_thread = QThread::create([this] { run(); });
  m_thread->setObjectName(QStringLiteral("link"));
  m_thread->start();
}

ThreadLinkRunner::~ThreadLinkRunner() {
  {
    const std::lock_guard lock(m_mutex);
    m_queue.clear();
    m_quit = true;
  }
  m_cancelled = true;
  wakeSocket();
  m_queued.notify_all();
  m_thread->wait();
  delete m_thread;
  m_link.ethernet().setWakeDescriptor(-1);
  if (m_wake >= 0) ::close(m_wake);
  // The link is the caller's again (the program's last words to it, a test's checks).
  m_link.adoptCurrentThread();
}

void ThreadLinkRunner::enqueue(Queued queued) {
  std::optional<Queued> replaced;
  {
    const std::lock_guard lock(m_mutex);
    if (!queued.job.coalesceKey.isEmpty()) {
      for (auto it = m_queue.begin(); it != m_queue.end(); ++it) {
        if (it->job.coalesceKey == queued.job.coalesceKey) {
          replaced = std::move(*it);
          m_queue.erase(it);
          break;
        }
      }
    }
    m_queue.push_back(std::move(queued));
  }
  m_queued.notify_one();
  if (replaced) dropped(*replaced);
}

void ThreadLinkRunner::cancel() {
  m_cancelled = true;
  wakeSocket();
}

void ThreadLinkRunner::wakeSocket() {
  const std::uint64_t one = 1;
  if (m_wake >= 0) [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
}

void ThreadLinkRunner::stopAll() {
  std::deque<Queued> dropping;
  {
    const std::lock_guard lock(m_mutex);
    dropping.swap(m_queue);
  }
  m_cancelled = true;
  wakeSocket();
  for (const Queued& queued : dropping) dropped(queued);
}

void ThreadLinkRunner::run() {
  for (;;) {
    auto queued = std::make_shared<Queued>();
    {
      std::unique_lock lock(m_mutex);
      m_queued.wait(lock, [this] { return m_quit || !m_queue.empty(); });
      if (m_quit) return;
      *queued = std::move(m_queue.front());
      m_queue.pop_front();
      // A Cancel meant for the job before ends nothing of this one.
      m_cancelled = false;
      std::uint64_t pending = 0;
      if (m_wake >= 0) [[maybe_unused]] const auto read = ::read(m_wake, &pending, sizeof pending);
    }
    started(*queued);
    auto result = std::make_shared<Finished>(execute(*queued, m_cancelled));
    QMetaObject::invokeMethod(
        this, [this, queued, result] { finished(queued, result); }, Qt::QueuedConnection);
  }
}

void ThreadLinkRunner::finished(std::shared_ptr<Queued> queued, std::shared_ptr<Finished> result) {
  m_results.emplace_back(std::move(queued), std::move(result));
  drain();
}

void ThreadLinkRunner::drain() {
  if (m_draining) return;
  m_draining = true;
  while (!m_results.empty()) {
    auto [queued, result] = std::move(m_results.front());
    m_results.pop_front();
    deliver(*queued, std::move(*result));
  }
  m_draining = false;
}

}  // namespace tonvisor
