#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>

#include "codec/codec_operations.h"
#include "link/access.h"
#include "link/device_link.h"
#include "link/link_settings.h"
#include "link/messenger.h"
#include "runner/log_view.h"

namespace tonvisor {

// What a job may touch while it runs: the link and the operations on it, never a widget.
struct LinkSide {
  DeviceLink& link;
  CodecOperations& codec;
  const std::atomic<bool>& cancelled;  // Cancel was pressed: stop between accesses
  // Steps done so far, for a job that counts steps of its own (a script's lines).
  std::function<void(std::size_t done)> stepDone;

  // A message of the page's own, captioned with the program's title: shown once the job ends,
  // after what the link said before it.
  void tell(std::string_view text, Owner owner) const;
};

// What a job left for the window: built on the link thread, read on the window's thread.
struct JobReport {
  AccessTally tally;
  std::string failures;           // the closing summary of the job's accesses; empty when all went through
  std::vector<Message> messages;  // what the link and the job said, each distinct text once, in order
  bool cancelled = false;         // Cancel was pressed while it ran
  std::optional<bool> connected;  // a Connect's outcome
  std::string outsideChanges;     // registers a read found changed outside this program, in words
  int status = 0;                 // the work's own status, where a page words a non-zero one
};

// How the link stands after the last job: for the status line and the pages that word it.
struct LinkState {
  LinkSettings settings;
  std::string bridgeName;  // the USB bridge an open I2C or SPI channel uses; empty when none
  bool connected = false;
};

// The one road from the window to the chip. A page submits a job: the work captures values
// read from the widgets beforehand, runs in one user action, and its messages and the page's
// done() come on the window's thread once it has ended, in the order the jobs were submitted.
// The link, the codec operations and the write log are touched only by jobs; the window reads
// the log through logView().
class LinkRunner : public QObject {
  Q_OBJECT

 public:
  using Work = std::function<void(LinkSide&, JobReport&)>;
  using Done = std::function<void(const JobReport&)>;

  struct Job {
    QString title;               // what the status line and a progress window call it
    std::size_t expected = 0;    // steps the progress counts to (register accesses unless countsSteps)
    bool countsSteps = false;    // the work reports its own steps through LinkSide::stepDone
    bool cancellable = false;    // its progress window offers Cancel
    bool exclusive = false;      // controls that would conflict are disabled while it waits or runs
    QString coalesceKey;         // a queued job with the same key is replaced by this one
    Work work;
  };

  // A short job: no progress window, nothing disabled meanwhile.
  static Job quick(QString title, Work work) {
    Job job;
    job.title = std::move(title);
    job.work = std::move(work);
    return job;
  }

  LinkRunner(DeviceLink& link, CodecOperations& codec, Messenger& messenger, QObject* parent = nullptr);
  ~LinkRunner() override;

  // Queues job. done (if any) is called on the window's thread with context as receiver once
  // the job's messages are shown; never when context is gone by then. Returns the job's id.
  std::uint64_t submit(Job job, const QObject* context, Done done = {});
  // The id the next submit() returns (a progress window follows a job from its first step).
  std::uint64_t nextId() const { return m_nextId; }
  // Asks the running job to stop between accesses (and wakes a wait on a silent board).
  virtual void cancel() = 0;
  // Drops every job still queued and asks the running one to stop after its current access.
  virtual void stopAll() = 0;

  // A job is queued, running, or its results are still to be shown.
  bool busy() const { return m_pending > 0; }
  bool exclusiveBusy() const { return m_exclusivePending > 0; }
  const LinkState& linkState() const { return m_linkState; }
  const LogView& logView() const { return m_logView; }
  // The window's view of the link's register cache, brought up to date as each job ends,
  // before its done() runs. Pages follow it; only the link thread touches the link's own.
  RegisterCache& cacheView() { return m_cacheView; }
  // The window's messenger: what pages tell outside a job.
  Messenger& messenger() const { return m_messenger; }

 signals:
  void busyChanged(bool busy);
  void exclusiveChanged(bool busy);
  void jobStarted(std::uint64_t id, const QString& title, std::size_t expected);
  // At most a few times a second, and once at the end of a job.
  void progress(std::uint64_t id, std::size_t done, std::size_t expected);
  void jobFinished(std::uint64_t id);
  void linkStateChanged();
  // A job's reads found registers changed outside this program (a reset, a brown-out, another
  // master): for the status line, once per job.
  void outsideChangesFound(const QString& text);

 protected:
  struct Queued {
    std::uint64_t id = 0;
    Job job;
    QPointer<const QObject> context;
    bool hasContext = false;
    Done done;
  };
  struct Finished {
    JobReport report;
    LinkState state;
    RegisterCache::Contents cache;
  };

  virtual void enqueue(Queued queued) = 0;
  // Runs one job on the calling thread (the link's): the link adopts it first.
  Finished execute(Queued& queued, const std::atomic<bool>& cancelled);
  // On the window's thread: shows the messages, calls done, updates what the window reads.
  void deliver(Queued& queued, Finished finished);
  // Called as a job starts on the link thread.
  void started(const Queued& queued);
  // Called after a job's results were shown, or when a queued job was dropped unrun.
  void dropped(const Queued& queued);
  // Called on the link thread as the job goes, as often as the work reports.
  void reportProgress(std::uint64_t id, std::size_t done, std::size_t expected, bool last);

  DeviceLink& m_link;
  CodecOperations& m_codec;

 private:
  Messenger& m_messenger;
  LogView m_logView;
  RegisterCache m_cacheView;
  LinkState m_linkState;
  std::string m_connectedLink;  // link thread: the link the last Connect opened; empty when it failed
  std::uint64_t m_nextId = 1;
  int m_pending = 0;
  int m_exclusivePending = 0;
  std::int64_t m_lastProgressMs = 0;  // link thread
};

// Runs each job at once on the calling thread: for tests, and for a program without a window.
class InlineLinkRunner final : public LinkRunner {
  Q_OBJECT

 public:
  using LinkRunner::LinkRunner;
  void cancel() override { m_cancelled = true; }
  void stopAll() override { m_cancelled = true; }

 protected:
  void enqueue(Queued queued) override;

 private:
  std::atomic<bool> m_cancelled{false};
  bool m_running = false;
  std::vector<Queued> m_waiting;  // jobs submitted from a running job's done() or messages
};

// Words the link for the status line: "I2C at 0x0A on bridge SERIAL at 100 kHz", "SPI on
// bridge SERIAL" (without the bridge when it has no name), "Ethernet 127.0.0.1:30", or "not
// connected" until a Connect went through or once another link is chosen.
QString DescribeLink(const LinkState& state);

}  // namespace tonvisor
