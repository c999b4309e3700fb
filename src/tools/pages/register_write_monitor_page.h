#pragma once

#include <cstddef>
#include <cstdint>

#include <QString>
#include <QWidget>

#include "runner/link_runner.h"
#include "tools/log_save_mark.h"
#include "tools/script_file.h"

class QComboBox;
class QListWidget;
class QPushButton;

namespace tonvisor {

class FileChooser;

// "Register Write Monitor": the write log as a list, one line per entry in log order, write
// lines by address or by register name; Save Script writes the lines as listed and Run
// Script replays a file. The list follows the log while the page is visible and starts over
// when Connect empties the log.
class RegisterWriteMonitorPage : public QWidget {
  Q_OBJECT

 public:
  RegisterWriteMonitorPage(LinkRunner& runner, FileChooser& files, QWidget* parent = nullptr);
  ~RegisterWriteMonitorPage() override;

  // The rendered text of every entry listed, parallel to the log (what Save Script writes).
  const RenderedLines& renderedLines() const { return m_rendered; }
  WriteForm writeForm() const { return m_form; }
  const QString& scriptPath() const { return m_scriptPath; }

  // Entries appended to the log since it was last saved as a script (none once Connect has
  // emptied it, until it grows again).
  // Read it when the link is idle: a job still running may append more.
  std::size_t unsavedEntries() const;
  // Save Script for a caller that must know whether the log is now in a file: asks for a
  // file the same way and writes the same lines. False when the user cancelled or the file
  // could not be written (then " Error Creating File" has been shown).
  bool saveLog();

 public slots:
  // Lists the entries appended since the last refresh (or everything again after the log
  // was emptied).
  void appendNewLines();

 protected:
  void showEvent(QShowEvent* event) override;

 private slots:
  void displayModeChanged();
  void saveScript();
  void runScript();

 private:
  bool writeScript(const QString& path);
  void rebuildLines();
  void addRenderedItems(std::size_t from);
  void scheduleRefresh();
  void tell(const char* text);

  LinkRunner& m_runner;
  FileChooser& m_files;
  class ConflictGuard* m_guard = nullptr;
  RenderedLines m_rendered;
  WriteForm m_form = WriteForm::Address;
  QString m_scriptPath;
  LogSaveMark m_saveMark;
  std::size_t m_paintedCount = 0;
  std::uint64_t m_generation = 0;
  bool m_refreshPending = false;

  QComboBox* m_displayMode = nullptr;
  QListWidget* m_list = nullptr;
  QPushButton* m_saveButton = nullptr;
  QPushButton* m_runButton = nullptr;
};

}  // namespace tonvisor
