#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QString>

class QFileDialog;
class QWidget;

namespace tonvisor {

// Asks the user for a script file. Save Script and Run Script go through this, so tests can
// answer for the user instead of a modal dialog.
class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // The chosen path, or nothing when the user cancelled. A save dialog asks before an
  // existing file is overwritten; an open dialog accepts existing files only.
  virtual std::optional<QString> chooseSaveFile(QWidget* parent) = 0;
  virtual std::optional<QString> chooseOpenFile(QWidget* parent) = 0;
};

// The platform's file dialogs, with the one "All Files(*.*)" filter scripts have always used.
class DialogFileChooser final : public FileChooser {
 public:
  std::optional<QString> chooseSaveFile(QWidget* parent) override;
  std::optional<QString> chooseOpenFile(QWidget* parent) override;
};

enum class ScriptDialogMode { Save, Open };

// The dialog DialogFileChooser runs, not yet shown: Qt's own file dialog, the same on every
// desktop, which never reads a file's contents (it names and draws files by their names and
// kinds only, so /proc, /sys, FIFOs and devices cannot stall it) and refuses to choose
// anything but a regular file (a FIFO or a device would stall the script's reader or writer).
std::unique_ptr<QFileDialog> MakeScriptFileDialog(QWidget* parent, ScriptDialogMode mode);

// A file name as the C library wants it (the platform's file-name encoding).
std::string LocalPath(const QString& path);

}  // namespace tonvisor
