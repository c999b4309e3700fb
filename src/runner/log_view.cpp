#include "runner/log_view.h"

#include <QThread>

namespace tonvisor {

LogView::LogView(WriteLog& source, QObject* parent)
    : QObject(parent), m_source(source), m_sourceGeneration(source.generation()) {
  // The copy starts as the log stands; its generation counts clears from here on.
  for (std::size_t i = 0; i < source.count(); ++i) {
    const WriteLog::Entry& entry = source.entry(i);
    if (entry.isWrite()) {
      m_copy.appendWrite(entry.address, entry.value);
    } else {
      m_copy.appendComment(entry.text);
    }
  }
  m_sourceCount = source.count();
  m_source.setChangeListener([this] { sourceChanged(); });
}

LogView::~LogView() { m_source.setChangeListener({}); }

void LogView::sourceChanged() {
  {
    const std::lock_guard lock(m_mutex);
    if (m_source.generation() != m_sourceGeneration) {
      m_sourceGeneration = m_source.generation();
      m_sourceCount = 0;
      m_handed.push_back({true, {}});
    }
    for (; m_sourceCount < m_source.count(); ++m_sourceCount) m_handed.push_back({false, m_source.entry(m_sourceCount)});
  }
  if (QThread::currentThread() == thread()) {
    takeHandOver();
  } else if (!m_posted.exchange(true)) {
    // One wake-up for any number of appends until the window has taken them.
    QMetaObject::invokeMethod(this, &LogView::takeHandOver, Qt::QueuedConnection);
  }
}

void LogView::takeHandOver() {
  m_posted = false;
  std::vector<Change> changes;
  {
    const std::lock_guard lock(m_mutex);
    changes.swap(m_handed);
  }
  if (changes.empty()) return;
  for (const Change& change : changes) {
    if (change.cleared) {
      m_copy.clear();
    } else if (change.entry.isWrite()) {
      m_copy.appendWrite(change.entry.address, change.entry.value);
    } else {
      m_copy.appendComment(change.entry.text);
    }
  }
  emit changed();
}

}  // namespace tonvisor
