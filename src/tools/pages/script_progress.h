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

// Keeps the window alive while a script runs on the user-interface thread. Over Ethernet
// every write takes at least 20 ms, so an init script of a few hundred lines blocks for
// seconds: the run repaints the windows as it goes, and once it has lasted longer than
// showAfter a progress dialog with the lines done and a Cancel button comes up. Cancel stops
// the run after the line in progress.
class ScriptProgress {
 public:
  static constexpr std::chrono::milliseconds kShowAfter{500};

  ScriptProgress(QWidget* parent, const QString& title, std::size_t totalLines,
                 std::chrono::milliseconds showAfter = kShowAfter);
  ~ScriptProgress();
  ScriptProgress(const ScriptProgress&) = delete;
  ScriptProgress& operator=(const ScriptProgress&) = delete;

  // What is counted, "lines" unless told otherwise ("registers" for a Read All).
  void setUnit(const QString& unit) { m_unit = unit; }

  // Called after each line; false asks the run to stop.
  bool lineDone(std::size_t linesDone);
  // Closes the dialog: the run's closing messages must not sit in front of a progress window
  // that has nothing more to show.
  void close();

  // The dialog, once the run has lasted long enough to show it.
  QProgressDialog* dialog() const { return m_dialog.data(); }

 private:
  void showDialog();
  void keepAlive();

  QWidget* m_parent;
  QString m_title;
  std::size_t m_totalLines;
  QString m_unit = QStringLiteral("lines");
  std::chrono::milliseconds m_showAfter;
  QElapsedTimer m_started;
  QElapsedTimer m_sinceEvents;
  QPointer<QProgressDialog> m_dialog;
  bool m_cancelled = false;
};

// The number of lines a script file holds (what the progress dialog counts up to); 0 when
// it cannot be read.
std::size_t CountScriptLines(const QString& path);

// Runs a script file with RunScriptFile, its messages owned by owner, behind a ScriptProgress
// parented to parent.
ScriptRunResult RunScriptWithProgress(DeviceLink& link, const QString& path, Owner owner, QWidget* parent);

}  // namespace tonvisor
