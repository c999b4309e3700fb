#pragma once

#include <chrono>
#include <cstddef>
#include <memory>

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include "tools/script_file.h"

class QWidget;

namespace tonvisor {

// Keeps the window alive while long link work runs on the user-interface thread. Over
// Ethernet every access takes at least 20 ms, so an init script of a few hundred lines or an EQ
// preset (78 writes) blocks for seconds: the work repaints the windows as it goes, and once it
// has lasted longer than showAfter a progress dialog with the steps done comes up, with a
// Cancel button when the work can stop between steps. Until then, the user's clicks and keys
// wait; the dialog, once up, keeps them from every other window.
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
  // Closes the dialog: the work's closing messages must not sit in front of a progress window
  // that has nothing more to show.
  void close();

  // The dialog, once the work has lasted long enough to show it.
  QProgressDialog* dialog() const { return m_dialog.data(); }

 private:
  void showDialog();
  void keepAlive();

  QWidget* m_parent;
  QString m_title;
  std::size_t m_totalSteps;
  QString m_stepsDone;
  Cancel m_cancel;
  std::chrono::milliseconds m_showAfter;
  QElapsedTimer m_started;
  QElapsedTimer m_sinceEvents;
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

// Runs a script file with RunScriptFile, its messages owned by owner, behind a ScriptProgress
// parented to parent.
ScriptRunResult RunScriptWithProgress(DeviceLink& link, const QString& path, Owner owner, QWidget* parent);

}  // namespace tonvisor
