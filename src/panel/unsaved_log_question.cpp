#include "panel/unsaved_log_question.h"

#include <QMessageBox>
#include <QPushButton>

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

BusyEndAnswer MessageBoxUnsavedLogQuestion::askWhileBusy(QWidget* parent, const QString& doing) {
  QMessageBox box(parent);
  box.setIcon(QMessageBox::Question);
  box.setWindowTitle(QString::fromLatin1(kApplicationTitle.data(), static_cast<qsizetype>(kApplicationTitle.size())));
  box.setTextFormat(Qt::PlainText);
  box.setText(QStringLiteral("The program is still working on the chip (%1).").arg(doing));
  box.setInformativeText(
      QStringLiteral("Wait for the work to end, or stop it after the register access in progress? Either way the "
                     "program ends once the link is idle."));
  QPushButton* wait = box.addButton(QStringLiteral("Wait"), QMessageBox::AcceptRole);
  QPushButton* stop = box.addButton(QStringLiteral("Stop"), QMessageBox::DestructiveRole);
  box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(wait);
  box.setEscapeButton(QMessageBox::Cancel);
  box.exec();
  if (box.clickedButton() == wait) return BusyEndAnswer::Wait;
  if (box.clickedButton() == stop) return BusyEndAnswer::Stop;
  return BusyEndAnswer::Stay;
}

}  // namespace tonvisor
