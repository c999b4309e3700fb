#include "panel/unsaved_log_question.h"

#include <QMessageBox>

#include "link/messenger.h"

namespace tonvisor {

std::unique_ptr<QMessageBox> MakeUnsavedLogBox(QWidget* parent, std::size_t unsavedEntries, LogLoss loss) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setIcon(QMessageBox::Warning);
  box->setWindowTitle(QString::fromLatin1(kApplicationTitle.data(), static_cast<qsizetype>(kApplicationTitle.size())));
  box->setTextFormat(Qt::PlainText);
  const QString entries = unsavedEntries == 1 ? QStringLiteral("1 entry")
                                              : QStringLiteral("%1 entries").arg(unsavedEntries);
  box->setText(QStringLiteral("The write log holds %1 not yet saved as a script.").arg(entries));
  box->setInformativeText(loss == LogLoss::Connect ? QStringLiteral("Save the log before Connect empties it?")
                                                  : QStringLiteral("Save the log before the program ends?"));
  box->setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
  // Return saves and Escape stays: neither key loses the log.
  box->setDefaultButton(QMessageBox::Save);
  box->setEscapeButton(QMessageBox::Cancel);
  return box;
}

UnsavedLogAnswer MessageBoxUnsavedLogQuestion::ask(QWidget* parent, std::size_t unsavedEntries, LogLoss loss) {
  const std::unique_ptr<QMessageBox> box = MakeUnsavedLogBox(parent, unsavedEntries, loss);
  switch (box->exec()) {
    case QMessageBox::Save:
      return UnsavedLogAnswer::Save;
    case QMessageBox::Discard:
      return UnsavedLogAnswer::Discard;
    default:
      return UnsavedLogAnswer::Stay;  // Cancel, Escape, the box's close button
  }
}

}  // namespace tonvisor
