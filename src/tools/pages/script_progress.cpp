#include "tools/pages/script_progress.h"

#include <algorithm>
#include <climits>

#include <QCoreApplication>
#include <memory>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QProgressDialog>
#include <QTimer>

#include "tools/pages/file_chooser.h"

namespace tonvisor {

namespace {

// A job waiting on a silent board reports no steps: its window still comes up in time, with
// its Cancel.
constexpr int kIdleCheckMs = 100;
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
  if (m_dialog && m_cancel == Cancel::Offered && m_dialog->wasCanceled()) m_cancelled = true;
  return !m_cancelled;
}

void WorkProgress::showDialog() {
  m_dialog = new QProgressDialog(m_parent);
  m_dialog->setWindowTitle(QCoreApplication::applicationName());
  if (m_cancel == Cancel::Offered) {
    m_dialog->setCancelButtonText(QObject::tr("Cancel"));
    QObject::connect(m_dialog.data(), &QProgressDialog::canceled, m_dialog.data(), [this] {
      m_cancelled = true;
      if (m_onCancel) m_onCancel();
    });
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

void FollowJob(LinkRunner& runner, std::uint64_t id, QWidget* parent, const QString& title, std::size_t totalSteps,
               const QString& stepsDone, WorkProgress::Cancel cancel) {
  // Lives as long as the job; goes with the parent if that goes first.
  auto* follower = new QObject(parent);
  auto progress = std::make_shared<WorkProgress>(parent, title, totalSteps, stepsDone, cancel);
  progress->onCancel([&runner] { runner.cancel(); });
  auto done = std::make_shared<std::size_t>(0);
  QObject::connect(&runner, &LinkRunner::progress, follower,
                   [id, progress, done](std::uint64_t job, std::size_t steps, std::size_t) {
                     if (job != id) return;
                     *done = steps;
                     progress->stepDone(steps);
                   });
  auto* idle = new QTimer(follower);
  QObject::connect(idle, &QTimer::timeout, follower, [progress, done] { progress->stepDone(*done); });
  idle->start(kIdleCheckMs);
  QObject::connect(&runner, &LinkRunner::jobFinished, follower, [id, progress, follower](std::uint64_t job) {
    if (job != id) return;
    progress->close();
    follower->deleteLater();
  });
}

void RunScriptWithProgress(LinkRunner& runner, const QString& path, Owner owner, QWidget* parent,
                           std::function<void()> done) {
  const QString title = QObject::tr("Running %1").arg(QFileInfo(path).fileName());
  const std::size_t lines = CountScriptLines(path);
  LinkRunner::Job job;
  job.title = title;
  job.expected = lines;
  job.countsSteps = true;
  job.cancellable = true;
  job.exclusive = true;
  job.work = [file = LocalPath(path), owner](LinkSide& side, JobReport&) {
    ScriptRunOptions options;
    options.owner = owner;
    options.progress = [&side](std::size_t linesDone) {
      side.stepDone(linesDone);
      return !side.cancelled;
    };
    RunScriptFile(side.link, file, options);
  };
  FollowJob(runner, runner.nextId(), parent, title, lines, QObject::tr("%1 of %2 lines done"),
            WorkProgress::Cancel::Offered);
  runner.submit(std::move(job), parent, [done = std::move(done)](const JobReport&) {
    if (done) done();
  });
}

}  // namespace tonvisor
