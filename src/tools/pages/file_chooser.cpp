#include "tools/pages/file_chooser.h"

#include <string>

#include <QFile>
#include <QFileDialog>

namespace tonvisor {

namespace {

// Scripts carry no extension of their own, so the one filter matches every file.
const QString kScriptFilter = QStringLiteral("All Files(*.*) (*)");

}  // namespace

std::optional<QString> DialogFileChooser::chooseSaveFile(QWidget* parent) {
  QFileDialog dialog(parent, QObject::tr("Save Script"), QString(), kScriptFilter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

std::optional<QString> DialogFileChooser::chooseOpenFile(QWidget* parent) {
  QFileDialog dialog(parent, QObject::tr("Run Script"), QString(), kScriptFilter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace tonvisor
