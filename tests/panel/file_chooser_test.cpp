#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "tools/pages/file_chooser.h"

namespace tonvisor::testing {
namespace {

// Ends the test program if the test has not finished within a generous time: a dialog that
// reads a file that never ends would otherwise hang the test run instead of failing it.
class Watchdog {
 public:
  explicit Watchdog(const char* what, std::chrono::seconds limit = std::chrono::seconds(60))
      : m_thread([this, what, limit] {
          std::unique_lock<std::mutex> lock(m_mutex);
          if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
            std::fprintf(stderr, "Watchdog: %s did not return\n", what);
            std::_Exit(1);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_finished = true;
    }
    m_done.notify_one();
    m_thread.join();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_finished = false;
  std::thread m_thread;
};

// Presses a button of the next message box once it is up. It polls rather than looking once:
// on a loaded machine the box can come later than the next turn of the event loop.
class MessageBoxAnswer {
 public:
  explicit MessageBoxAnswer(QMessageBox::StandardButton button) {
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this, button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      m_timer.stop();
      told << box->windowTitle() + " | " + box->text();
      // A box without the expected button is recorded (the test then fails on what it says)
      // and closed the way Escape would.
      if (QAbstractButton* answer = box->button(button)) {
        answer->click();
      } else {
        box->reject();
      }
    });
    m_timer.start();
  }
  QStringList told;

 private:
  QTimer m_timer;
};

// Return in the dialog's name box, with its completion list closed first: while that list is
// up, Return takes its item instead of choosing the file.
void PressReturnIn(QLineEdit* name) {
  if (QCompleter* completer = name->completer(); completer != nullptr && completer->popup() != nullptr) {
    completer->popup()->hide();
  }
  QTest::keyClick(name, Qt::Key_Return);
}

// A folder with a script without extension whose contents look like a PDF, a text file and
// a FIFO nobody writes to.
struct ScriptFolder {
  ScriptFolder() {
    std::ofstream(path("script").toStdString()) << "%PDF-1.4\n# not a PDF, a script\n";
    std::ofstream(path("a.txt").toStdString()) << "Write 0x0022 0x1818\n";
    fifoMade = mkfifo(path("pipe").toLocal8Bit().constData(), 0600) == 0;
  }
  QString path(const QString& name) const { return dir.filePath(name); }
  QTemporaryDir dir;
  bool fifoMade = false;
};

QFileSystemModel* ModelOf(QFileDialog* dialog) { return dialog->findChild<QFileSystemModel*>(); }

// The type the dialog's listing shows for a file, once its folder has been read.
QString ListedType(QFileDialog* dialog, const QString& path) {
  QFileSystemModel* model = ModelOf(dialog);
  QModelIndex index;
  EXPECT_TRUE(QTest::qWaitFor([&] {
    index = model->index(path);
    return index.isValid() && !model->type(index).isEmpty();
  })) << path.toStdString();
  return model->type(index);
}

TEST(ScriptFileDialog, ShowsTheOneFilterByNameListsEveryFileAndNamesFilesWithoutReadingThem) {
  ScriptFolder folder;
  ASSERT_TRUE(folder.fifoMade);
  Watchdog watchdog("the script dialog on a folder with a FIFO");
  for (ScriptDialogMode mode : {ScriptDialogMode::Open, ScriptDialogMode::Save}) {
    const std::unique_ptr<QFileDialog> dialog = MakeScriptFileDialog(nullptr, mode);
    dialog->setDirectory(folder.dir.path());
    dialog->show();
    auto* filters = dialog->findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(filters, nullptr);
    ASSERT_EQ(filters->count(), 1);
    EXPECT_EQ(filters->itemText(0), "All Files(*.*)");
    // Every file is listed and can be chosen, with or without a dot in its name.
    for (const char* name : {"script", "a.txt", "pipe"}) {
      ListedType(dialog.get(), folder.path(name));
      const QModelIndex index = ModelOf(dialog.get())->index(folder.path(name));
      EXPECT_TRUE(ModelOf(dialog.get())->flags(index) & Qt::ItemIsEnabled) << name;
    }
    // Named from the name alone: a PDF-looking script is a file, not a PDF document.
    EXPECT_EQ(ListedType(dialog.get(), folder.path("script")), "File");
    EXPECT_EQ(ListedType(dialog.get(), folder.path("a.txt")), "TXT File");
    EXPECT_EQ(ListedType(dialog.get(), folder.path("pipe")), "Special File");
  }
}

TEST(ScriptFileDialog, TypingProcIntoTheNameBoxReturnsPromptly) {
  Watchdog watchdog("typing /proc/ into the script dialog");
  for (ScriptDialogMode mode : {ScriptDialogMode::Save, ScriptDialogMode::Open}) {
    const std::unique_ptr<QFileDialog> dialog = MakeScriptFileDialog(nullptr, mode);
    dialog->show();
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    QTest::keyClicks(name, "/proc/");
    QTest::qWait(200);
    QTest::keyClicks(name, "km");
    QTest::qWait(200);
    // /proc/kmsg never ends (as root it waits for the next kernel message): it is listed
    // as a file by its name.
    EXPECT_EQ(ListedType(dialog.get(), "/proc/kmsg"), "File");
    dialog->close();
  }  // destroying the dialog waits for its listing thread
}

TEST(ScriptFileDialog, RefusesAFifoAndTakesARegularFile) {
  ScriptFolder folder;
  ASSERT_TRUE(folder.fifoMade);
  Watchdog watchdog("choosing a FIFO");
  for (ScriptDialogMode mode : {ScriptDialogMode::Open, ScriptDialogMode::Save}) {
    const std::unique_ptr<QFileDialog> dialog = MakeScriptFileDialog(nullptr, mode);
    dialog->setDirectory(folder.dir.path());
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    // A name in the name box, then Return. Put there rather than typed, in a folder already
    // read: typing opens the name box's completion list and selects in a listing still being
    // read, and on a loaded machine their timing would decide what Return takes.
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    auto* listing = dialog->findChild<QAbstractItemView*>("listView");
    ASSERT_NE(name, nullptr);
    ASSERT_NE(listing, nullptr);
    ListedType(dialog.get(), folder.path("a.txt"));
    const auto chooseByName = [&](const QString& file) {
      listing->clearSelection();
      name->setFocus();
      name->setText(file);
    };
    {
      MessageBoxAnswer refusal(QMessageBox::Ok);
      chooseByName(QStringLiteral("pipe"));
      PressReturnIn(name);
      EXPECT_EQ(refusal.told,
                QStringList{"Tonvisor | " + folder.path("pipe") + " is not a regular file; a script must be one."});
    }
    EXPECT_TRUE(dialog->isVisible());

    // An existing regular file: opened at once, and asked about before it is overwritten.
    std::optional<MessageBoxAnswer> overwrite;
    if (mode == ScriptDialogMode::Save) overwrite.emplace(QMessageBox::Yes);
    chooseByName(QStringLiteral("a.txt"));
    PressReturnIn(name);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->selectedFiles(), QStringList{folder.path("a.txt")});
  }
}

TEST(DialogFileChooser, ReturnsTheChosenFileOrNothingAndOpensWhereTheLastDialogWasLeft) {
  ScriptFolder folder;
  DialogFileChooser chooser;
  const auto answer = [](const QString& file) {
    QTimer::singleShot(0, [file] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      if (file.isEmpty()) {
        dialog->reject();
        return;
      }
      dialog->setDirectory(QFileInfo(file).absolutePath());
      dialog->selectFile(file);
      static_cast<QDialog*>(dialog)->accept();
    });
  };
  answer(folder.path("a.txt"));
  EXPECT_EQ(chooser.chooseOpenFile(nullptr), folder.path("a.txt"));
  QString startedIn;
  QTimer::singleShot(0, [&startedIn] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    startedIn = dialog->directory().absolutePath();
    dialog->reject();
  });
  EXPECT_EQ(chooser.chooseSaveFile(nullptr), std::nullopt);
  EXPECT_EQ(startedIn, QDir(folder.dir.path()).absolutePath());
}

}  // namespace
}  // namespace tonvisor::testing
