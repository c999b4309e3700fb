#include "tools/pages/register_write_monitor_page.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>

#include "tools/pages/conflict_guard.h"
#include "tools/pages/file_chooser.h"
#include "tools/pages/script_progress.h"
#include "tools/pages/widget_owner.h"

namespace tonvisor {

namespace {

constexpr const char* kShowRegAddr = "Show Reg Addr";
constexpr const char* kShowRegName = "Show Reg Name";
constexpr const char* kSelectFilename = "You must select a filename.\n";
constexpr const char* kErrorCreatingFile = " Error Creating File";

// A rendered line as the list shows it: without its line ends (a comment renders with two),
// and with its tabs set to 8-column stops so the name form lines up in the fixed-width font.
// What Save Script writes is the rendered text itself.
QString displayText(const std::string& rendered) {
  std::string_view text(rendered);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  const QString decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (!decoded.contains(QLatin1Char('\t'))) return decoded;
  QString shown;
  shown.reserve(decoded.size() + 16);
  for (QChar c : decoded) {
    if (c == QLatin1Char('\t')) {
      do shown += QLatin1Char(' ');
      while (shown.size() % 8 != 0);
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace

RegisterWriteMonitorPage::RegisterWriteMonitorPage(LinkRunner& runner, FileChooser& files, QWidget* parent)
    : QWidget(parent),
      m_runner(runner),
      m_files(files),
      m_saveMark(runner.logView().log()),
      m_generation(runner.logView().log().generation()) {
  setObjectName(QStringLiteral("RegisterWriteMonitorPage"));

  m_displayMode = new QComboBox;
  m_displayMode->addItems({QString::fromLatin1(kShowRegAddr), QString::fromLatin1(kShowRegName)});
  m_displayMode->setCurrentIndex(0);
  m_displayMode->setAccessibleName(tr("Display Mode"));

  m_list = new QListWidget;
  m_list->setAccessibleName(tr("Register Writes"));
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_list->setUniformItemSizes(true);  // 2000 lines lay out without measuring each one
  m_list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

  m_saveButton = new QPushButton(tr("Save Script"));
  m_runButton = new QPushButton(tr("Run Script"));
  for (QPushButton* button : {m_saveButton, m_runButton}) {
    button->setAccessibleName(button->text());
    button->setAutoDefault(false);
  }

  auto* top = new QHBoxLayout;
  top->addWidget(m_displayMode);
  top->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_saveButton);
  buttons->addWidget(m_runButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(m_list, 1);
  layout->addLayout(buttons);

  connect(m_displayMode, &QComboBox::currentIndexChanged, this, &RegisterWriteMonitorPage::displayModeChanged);
  connect(m_saveButton, &QPushButton::clicked, this, &RegisterWriteMonitorPage::saveScript);
  connect(m_runButton, &QPushButton::clicked, this, &RegisterWriteMonitorPage::runScript);
  // The log as handed over from the link's thread, while a job still appends to it.
  connect(&runner.logView(), &LogView::changed, this, &RegisterWriteMonitorPage::scheduleRefresh);
  m_guard = new ConflictGuard(runner, this);
  m_guard->guard(m_runButton);
}

RegisterWriteMonitorPage::~RegisterWriteMonitorPage() = default;

std::size_t RegisterWriteMonitorPage::unsavedEntries() const { return m_saveMark.unsaved(m_runner.logView().log()); }

void RegisterWriteMonitorPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  appendNewLines();
}

// Every append reaches here; one refresh per turn of the event loop lists them all, and
// only while the page can be seen (showing it catches up on the rest).
void RegisterWriteMonitorPage::scheduleRefresh() {
  if (m_refreshPending) return;
  m_refreshPending = true;
  QTimer::singleShot(0, this, [this] {
    m_refreshPending = false;
    if (isVisible()) appendNewLines();
  });
}

void RegisterWriteMonitorPage::appendNewLines() {
  const WriteLog& log = m_runner.logView().log();
  if (log.generation() != m_generation) {
    // Connect emptied the log: what is listed and what Save Script would write belong to
    // the old one.
    m_generation = log.generation();
    m_list->clear();
    m_rendered.clear();
    m_paintedCount = 0;
  }
  if (log.count() == m_paintedCount) return;
  // Every entry renders to exactly one line, so the lines listed are the entries done.
  const auto listed = static_cast<std::size_t>(m_list->count());
  m_rendered.render(log, listed, m_form);
  addRenderedItems(listed);
  m_paintedCount = log.count();
}

void RegisterWriteMonitorPage::rebuildLines() {
  const WriteLog& log = m_runner.logView().log();
  m_generation = log.generation();
  m_list->clear();
  m_rendered.clear();
  m_rendered.render(log, 0, m_form);
  addRenderedItems(0);
  m_paintedCount = log.count();
}

void RegisterWriteMonitorPage::addRenderedItems(std::size_t from) {
  if (from >= m_rendered.size()) return;
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(m_rendered.size() - from));
  for (std::size_t i = from; i < m_rendered.size(); ++i) lines.append(displayText(m_rendered.at(i)));
  m_list->addItems(lines);
  // The newest line is the selected one, scrolled into view.
  m_list->setCurrentRow(m_list->count() - 1);
}

void RegisterWriteMonitorPage::displayModeChanged() {
  m_form = EqualsIgnoringCase(m_displayMode->currentText().toStdString(), kShowRegName) ? WriteForm::Name
                                                                                         : WriteForm::Address;
  rebuildLines();
}

void RegisterWriteMonitorPage::tell(const char* text) {
  m_runner.messenger().show(text, kApplicationTitle, OwnerOf(this));
}

void RegisterWriteMonitorPage::saveScript() {
  const std::optional<QString> chosen = m_files.chooseSaveFile(this);
  if (!chosen) {
    if (m_scriptPath.isEmpty()) tell(kSelectFilename);
    return;
  }
  writeScript(*chosen);
}

bool RegisterWriteMonitorPage::saveLog() {
  const std::optional<QString> chosen = m_files.chooseSaveFile(this);
  return chosen && writeScript(*chosen);
}

bool RegisterWriteMonitorPage::writeScript(const QString& path) {
  m_scriptPath = path;
  // The whole log as it stands, also entries appended since the list last refreshed.
  appendNewLines();
  if (!WriteScriptFile(LocalPath(m_scriptPath), m_rendered)) {
    tell(kErrorCreatingFile);
    return false;
  }
  m_saveMark.saved(m_runner.logView().log());
  return true;
}

void RegisterWriteMonitorPage::runScript() {
  const std::optional<QString> chosen = m_files.chooseOpenFile(this);
  if (!chosen) return;
  m_scriptPath = *chosen;
  if (m_scriptPath.isEmpty()) {
    tell(kSelectFilename);
    return;
  }
  RunScriptWithProgress(m_runner, m_scriptPath, OwnerOf(this), this, [this] { appendNewLines(); });
}

}  // namespace tonvisor
