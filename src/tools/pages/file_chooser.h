#pragma once

#include <optional>
#include <string>

#include <QString>

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

// A file name as the C library wants it (the platform's file-name encoding).
std::string LocalPath(const QString& path);

}  // namespace tonvisor
