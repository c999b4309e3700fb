#include "tools/pages/file_chooser.h"

#include <string>

#include <QAbstractFileIconProvider>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "link/messenger.h"

namespace tonvisor {

namespace {

// Scripts carry no extension of their own, so the one filter matches every file. The dialog
// shows the filter's name only: "All Files(*.*)", as scripts' users know it.
const QString kScriptFilter = QStringLiteral("All Files(*.*) (*)");

// Icons and type names from what a directory listing says (name, kind), never from the
// file's contents. Qt's own provider asks the MIME database, which opens and reads files
// whose names say nothing: a read of /proc/kmsg, or of a pipe or device that looks like a
// regular file, never returns, and the dialog with it.
class NameOnlyIconProvider final : public QAbstractFileIconProvider {
 public:
  using QAbstractFileIconProvider::icon;

  QIcon icon(const QFileInfo& info) const override {
    if (info.isRoot()) return icon(Drive);
    return icon(info.isDir() ? Folder : File);
  }

  QString type(const QFileInfo& info) const override {
    if (info.isRoot()) return QFileDialog::tr("Drive");
    if (info.isDir()) return QFileDialog::tr("Folder");
    if (!info.isFile()) return QFileDialog::tr("Special File");  // pipe, device, socket
    const QString suffix = info.suffix();
    return suffix.isEmpty() ? QFileDialog::tr("File") : QFileDialog::tr("%1 File").arg(suffix.toUpper());
  }
};

// The dialog's model asks the provider from a thread of its own, also while the dialog is
// being destroyed; the provider therefore lives as long as the program.
QAbstractFileIconProvider* iconProvider() {
  static auto* provider = new NameOnlyIconProvider;
  return provider;
}

class ScriptFileDialog final : public QFileDialog {
 public:
  ScriptFileDialog(QWidget* parent, const QString& caption)
      : QFileDialog(parent, caption, QDir::rootPath(), kScriptFilter) {}

  void accept() override {
    for (const QString& file : selectedFiles()) {
      const QFileInfo chosen(file);
      // Directories are left to the dialog (it opens them); what exists and is neither a
      // directory nor a regular file would block the script's reader or writer for good.
      if (chosen.exists() && !chosen.isDir() && !chosen.isFile()) {
        QMessageBox::warning(
            this, QString::fromLatin1(kApplicationTitle.data(), static_cast<qsizetype>(kApplicationTitle.size())),
            tr("%1 is not a regular file; a script must be one.").arg(QDir::toNativeSeparators(chosen.filePath())));
        return;
      }
    }
    QFileDialog::accept();
  }
};

// Where the next dialog opens: where the last one was left, at first the working directory.
QString& lastDirectory() {
  static QString directory;
  return directory;
}

std::optional<QString> run(QFileDialog& dialog) {
  const int result = dialog.exec();
  lastDirectory() = dialog.directory().absolutePath();
  if (result != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

}  // namespace

std::unique_ptr<QFileDialog> MakeScriptFileDialog(QWidget* parent, ScriptDialogMode mode) {
  const bool save = mode == ScriptDialogMode::Save;
  // The dialog starts listing its first directory at once, with Qt's provider: that first
  // directory is the root, which holds directories, and the one wanted follows once the
  // provider that reads nothing is in place.
  const QString caption = save ? QObject::tr("Save Script") : QObject::tr("Run Script");
  auto dialog = std::make_unique<ScriptFileDialog>(parent, caption);
  // Qt's own dialog: a desktop's native one would bring its own content sniffing back.
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setIconProvider(iconProvider());
  dialog->setDirectory(lastDirectory().isEmpty() ? QDir::currentPath() : lastDirectory());
  dialog->setOption(QFileDialog::HideNameFilterDetails);
  if (save) {
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
  } else {
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
  }
  return dialog;
}

std::optional<QString> DialogFileChooser::chooseSaveFile(QWidget* parent) {
  return run(*MakeScriptFileDialog(parent, ScriptDialogMode::Save));
}

std::optional<QString> DialogFileChooser::chooseOpenFile(QWidget* parent) {
  return run(*MakeScriptFileDialog(parent, ScriptDialogMode::Open));
}

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace tonvisor
