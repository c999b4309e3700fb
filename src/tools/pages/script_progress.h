#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include "runner/link_runner.h"
#include "tools/script_file.h"

class QWidget;

namespace tonvisor {

// The progress of long link work. Over Ethernet every access takes at least 20 ms, so an init
// script of a few hundred lines or an EQ preset (78 writes) lasts seconds: once it has lasted
// longer than showAfter a progress dialog with the steps done comes up, with a Cancel button
// when the work can stop between steps. The window stays usable meanwhile (the work runs on the
// link's thread); the controls that would conflict with it are disabled.
class WorkProgress {
 public:
  static constexpr std::chrono::milliseconds kShowAfter{500};
  enum class Cancel { Offered, NotOffered };

  // stepsDone is the dialog's second line, "%1" the steps done and "%2" the total.
  WorkProgress(QWidget* parent, const QString& title, std::size_t totalSteps, const QString& stepsDone,
               Cancel cancel, std::chrono::milliseconds showAfter = kShowAfter);
  ~WorkProgress();
  WorkProgress(const WorkProgress&) = delete;
  WorkProgress& operator=(const WorkProgress&) = delete;

  // Called after each step; false asks the work to stop (only when Cancel is offered).
  bool stepDone(std::size_t stepsDone);
  // Called at once when the user presses Cancel.
  void onCancel(std::function<void()> cancelled) { m_onCancel = std::move(cancelled); }
  // Closes the dialog: the work's closing messages must not sit in front of a progress window
  // that has nothing more to show.
  void close();

  // The dialog, once the work has lasted long enough to show it.
  QProgressDialog* dialog() const { return m_dialog.data(); }

 private:
  void showDialog();

  QWidget* m_parent;
  QString m_title;
  std::size_t m_totalSteps;
  QString m_stepsDone;
  Cancel m_cancel;
  std::chrono::milliseconds m_showAfter;
  QElapsedTimer m_started;
  std::function<void()> m_onCancel;
  QElapsedTimer m_sinceCount;
  QPointer<QProgressDialog> m_dialog;
  bool m_cancelled = false;
};

// A script run's progress: lines done, and Cancel stops the run after the line in progress.
class ScriptProgress : public WorkProgress {
 public:
  ScriptProgress(QWidget* parent, const QString& title, std::size_t totalLines,
                 std::chrono::milliseconds showAfter = kShowAfter);

  // Called after each line; false asks the run to stop.
  bool lineDone(std::size_t linesDone) { return stepDone(linesDone); }
};

// The number of lines a script file holds (what the progress dialog counts up to); 0 when
// it cannot be read.
std::size_t CountScriptLines(const QString& path);

// Shows the progress of job id of runner in a WorkProgress parented to parent until the job
// ends (closed before its messages come up); Cancel, when offered, cancels the job.
void FollowJob(LinkRunner& runner, std::uint64_t id, QWidget* parent, const QString& title, std::size_t totalSteps,
               const QString& stepsDone, WorkProgress::Cancel cancel);

// Runs a script file with RunScriptFile on the link, its messages owned by owner, its lines
// counted in a progress window parented to parent (the script's messages come once the window
// is gone). done, if any, follows on parent's thread.
void RunScriptWithProgress(LinkRunner& runner, const QString& path, Owner owner, QWidget* parent,
                           std::function<void()> done = {});

}  // namespace tonvisor
