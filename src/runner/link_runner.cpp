#include "runner/link_runner.h"

#include <chrono>
#include <optional>
#include <utility>

#include "codec/codec_operations.h"
#include "link/device_link.h"
#include "link/user_action.h"

namespace tonvisor {

namespace {

// The progress of a job reaches the window a few times a second: a count moved at every
// 20 ms access would cost the window more than it shows.
constexpr std::chrono::milliseconds kProgressInterval{50};

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Connected: the last Connect went through, and the link chosen since is still the one it
// connected.
LinkState stateOf(DeviceLink& link, const std::string& connectedLink) {
  const bool connected = !connectedLink.empty() && EqualsIgnoringCase(connectedLink, link.settings().connectionType);
  return {link.settings(), link.usbBridge().deviceName(), connected};
}

}  // namespace

void LinkSide::tell(std::string_view text, Owner owner) const {
  link.messenger().show(text, kApplicationTitle, owner);
}

LinkRunner::LinkRunner(DeviceLink& link, CodecOperations& codec, Messenger& messenger, QObject* parent)
    : QObject(parent),
      m_link(link),
      m_codec(codec),
      m_messenger(messenger),
      m_logView(link.writeLog()),
      m_linkState(stateOf(link, {})) {
  m_cacheView.describe(link.cache().described());
  m_cacheView.assign(link.cache().contents());
}

LinkRunner::~LinkRunner() = default;

std::uint64_t LinkRunner::submit(Job job, const QObject* context, Done done) {
  Queued queued;
  queued.id = m_nextId++;
  queued.job = std::move(job);
  queued.context = context;
  queued.hasContext = context != nullptr;
  queued.done = std::move(done);
  const std::uint64_t id = queued.id;
  const bool exclusive = queued.job.exclusive;
  if (++m_pending == 1) emit busyChanged(true);
  if (exclusive && ++m_exclusivePending == 1) emit exclusiveChanged(true);
  enqueue(std::move(queued));
  return id;
}

LinkRunner::Finished LinkRunner::execute(Queued& queued, const std::atomic<bool>& cancelled) {
  m_link.adoptCurrentThread();
  const std::uint64_t id = queued.id;
  const std::size_t expected = queued.job.expected;
  Finished finished;
  JobReport& report = finished.report;
  m_lastProgressMs = 0;
  std::size_t steps = 0;
  {
    m_link.messenger().captureInto(&report.messages);
    m_link.setOutsideChangeTeller([&report](const std::string& text) { report.outsideChanges = text; });
    UserAction action(m_link);
    LinkSide side{m_link, m_codec, cancelled, [&](std::size_t done) {
                    steps = done;
                    reportProgress(id, done, expected, false);
                  }};
    std::optional<AccessWatch> watch;
    if (!queued.job.countsSteps) {
      watch.emplace(m_link, [&](const AccessResult&) { reportProgress(id, ++steps, expected, false); });
    }
    if (queued.job.work) queued.job.work(side, report);
    report.tally = action.tally();
    report.failures = action.failureSummary();
    report.cancelled = report.cancelled || cancelled;
  }
  m_link.messenger().captureInto(nullptr);
  m_link.setOutsideChangeTeller({});
  reportProgress(id, steps, expected, true);
  if (report.connected) m_connectedLink = *report.connected ? m_link.settings().connectionType : std::string();
  finished.state = stateOf(m_link, m_connectedLink);
  finished.cache = m_link.cache().contents();
  return finished;
}

void LinkRunner::reportProgress(std::uint64_t id, std::size_t done, std::size_t expected, bool last) {
  const std::int64_t now = nowMs();
  if (!last && m_lastProgressMs != 0 && now - m_lastProgressMs < kProgressInterval.count()) return;
  m_lastProgressMs = now;
  emit progress(id, done, expected);
}

void LinkRunner::deliver(Queued& queued, Finished finished) {
  m_linkState = std::move(finished.state);
  m_cacheView.assign(finished.cache);
  // Progress windows close before the job's messages come up.
  emit jobFinished(queued.id);
  emit linkStateChanged();
  for (const Message& message : finished.report.messages) m_messenger.show(message);
  if (!finished.report.outsideChanges.empty()) {
    emit outsideChangesFound(QString::fromStdString(finished.report.outsideChanges));
  }
  if (queued.done && (!queued.hasContext || queued.context != nullptr)) queued.done(finished.report);
  dropped(queued);
}

void LinkRunner::dropped(const Queued& queued) {
  if (queued.job.exclusive && --m_exclusivePending == 0) emit exclusiveChanged(false);
  if (--m_pending == 0) emit busyChanged(false);
}

void LinkRunner::started(const Queued& queued) {
  emit jobStarted(queued.id, queued.job.title, queued.job.expected);
}

void InlineLinkRunner::enqueue(Queued queued) {
  // A job submitted while one runs (from its done() or behind its message boxes) waits for it.
  m_waiting.push_back(std::move(queued));
  if (m_running) return;
  m_running = true;
  while (!m_waiting.empty()) {
    Queued next = std::move(m_waiting.front());
    m_waiting.erase(m_waiting.begin());
    m_cancelled = false;
    started(next);
    Finished finished = execute(next, m_cancelled);
    deliver(next, std::move(finished));
  }
  m_running = false;
}

QString DescribeLink(const LinkState& state) {
  if (!state.connected) return QObject::tr("not connected");
  const LinkSettings& settings = state.settings;
  const QString bridge =
      state.bridgeName.empty() ? QString() : QObject::tr(" on bridge %1").arg(QString::fromStdString(state.bridgeName));
  if (EqualsIgnoringCase(settings.connectionType, "I2C")) {
    return QObject::tr("I2C at 0x%1%2 at %3 kHz")
        .arg(QString::number(settings.i2cAddress, 16).toUpper().rightJustified(2, QLatin1Char('0')), bridge)
        .arg(settings.i2cClockHz / 1000);
  }
  if (EqualsIgnoringCase(settings.connectionType, "SPI")) return QObject::tr("SPI%1").arg(bridge);
  if (EqualsIgnoringCase(settings.connectionType, "Ethernet")) {
    return QObject::tr("Ethernet %1:%2").arg(QString::fromStdString(settings.ethernetAddress)).arg(settings.ethernetPort);
  }
  return QObject::tr("not connected");
}

}  // namespace tonvisor
