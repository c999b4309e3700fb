#include "tools/pages/script_progress.h"

#include <algorithm>
#include <climits>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QProgressDialog>

#include "tools/pages/file_chooser.h"

namespace tonvisor {

namespace {

// Repaints are worth doing about once a frame; doing them after every line of a fast I2C run
// would cost more than the run.
constexpr qint64 kEventIntervalMs = 16;
// The dialog's count moves a few times a second: each change lays the dialog out again and
// repaints it (half a millisecond), which after every 20 ms access of an Ethernet run would
// lengthen the run by a few per cent.
constexpr qint64 kCountIntervalMs = 250;

int clampToInt(std::size_t value) { return static_cast<int>(std::min<std::size_t>(value, INT_MAX)); }

// Without a Cancel button the dialog must not go away on Escape or its close button either:
// the work goes on, and the dialog is what keeps the user's input from the other windows.
class KeepOpen final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close) {
      event->ignore();
      return true;
    }
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) return true;
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

WorkProgress::WorkProgress(QWidget* parent, const QString& title, std::size_t totalSteps, const QString& stepsDone,
                           Cancel cancel, std::chrono::milliseconds showAfter)
    : m_parent(parent),
      m_title(title),
      m_totalSteps(totalSteps),
      m_stepsDone(stepsDone),
      m_cancel(cancel),
      m_showAfter(showAfter) {
  m_started.start();
  m_sinceEvents.start();
  m_sinceCount.start();
}

WorkProgress::~WorkProgress() { close(); }

void WorkProgress::close() { delete m_dialog.data(); }

bool WorkProgress::stepDone(std::size_t stepsDone) {
  bool count = false;
  if (!m_dialog && m_started.elapsed() >= m_showAfter.count()) {
    showDialog();
    count = true;
  }
  if (m_dialog && (count || m_sinceCount.elapsed() >= kCountIntervalMs)) {
    m_sinceCount.restart();
    // The work can take more steps than counted beforehand (a line longer than the script
    // reader's buffer is read in parts); the bar then stays full.
    const std::size_t total = std::max(m_totalSteps, stepsDone);
    m_dialog->setMaximum(clampToInt(total));
    m_dialog->setValue(clampToInt(stepsDone));
    m_dialog->setLabelText(QStringLiteral("%1\n%2").arg(m_title, m_stepsDone.arg(stepsDone).arg(total)));
  }
  keepAlive();
  if (m_dialog && m_cancel == Cancel::Offered && m_dialog->wasCanceled()) m_cancelled = true;
  return !m_cancelled;
}

void WorkProgress::showDialog() {
  m_dialog = new QProgressDialog(m_parent);
  m_dialog->setWindowTitle(QCoreApplication::applicationName());
  m_dialog->setWindowModality(Qt::ApplicationModal);
  if (m_cancel == Cancel::Offered) {
    m_dialog->setCancelButtonText(QObject::tr("Cancel"));
  } else {
    m_dialog->setCancelButton(nullptr);
    m_dialog->installEventFilter(new KeepOpen(m_dialog));
  }
  m_dialog->setAutoClose(false);
  m_dialog->setAutoReset(false);
  m_dialog->setMinimumDuration(0);
  m_dialog->setRange(0, clampToInt(m_totalSteps));
  m_dialog->setMinimumWidth(360);
  m_dialog->show();
}

void WorkProgress::keepAlive() {
  if (m_sinceEvents.elapsed() < kEventIntervalMs) return;
  m_sinceEvents.restart();
  // Until the modal dialog is up, clicks and keys wait in the queue: a second run or a
  // Connect in the middle of this one must not start from inside it. Once it is up, it
  // keeps input away from every other window itself, and its Cancel button must work.
  QCoreApplication::processEvents(m_dialog ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
}

ScriptProgress::ScriptProgress(QWidget* parent, const QString& title, std::size_t totalLines,
                               std::chrono::milliseconds showAfter)
    : WorkProgress(parent, title, totalLines, QObject::tr("%1 of %2 lines done"), Cancel::Offered, showAfter) {}

std::size_t CountScriptLines(const QString& path) {
  QFile file(path);
  if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) return 0;
  std::size_t lines = 0;
  char last = '\n';
  char buffer[64 * 1024];
  for (qint64 got; (got = file.read(buffer, sizeof buffer)) > 0;) {
    lines += static_cast<std::size_t>(std::count(buffer, buffer + got, '\n'));
    last = buffer[got - 1];
  }
  if (last != '\n') ++lines;  // a last line without its line end still runs
  return lines;
}

ScriptRunResult RunScriptWithProgress(DeviceLink& link, const QString& path, Owner owner, QWidget* parent) {
  ScriptProgress progress(parent, QObject::tr("Running %1").arg(QFileInfo(path).fileName()), CountScriptLines(path));
  ScriptRunOptions options;
  options.owner = owner;
  options.progress = [&progress](std::size_t linesDone) { return progress.lineDone(linesDone); };
  options.linesDone = [&progress] { progress.close(); };
  return RunScriptFile(link, LocalPath(path), options);
}

}  // namespace tonvisor
