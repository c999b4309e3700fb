#pragma once

#include <cstddef>
#include <memory>

class QMessageBox;
class QString;
class QWidget;

namespace tonvisor {

// What the user wants done with a write log that is not saved when it is about to be lost:
// save it first, go on without it, or not go on after all.
enum class UnsavedLogAnswer { Save, Discard, Stay };
// What the user wants when the program is to end while link work runs: wait for it, stop it
// after the access in progress (and drop what is queued), or not end after all.
enum class BusyEndAnswer { Wait, Stop, Stay };

// What is about to lose the log: the program ending, or Connect emptying it.
enum class LogLoss { ProgramEnd, Connect };

// Asks that question. The main sheet goes through this, so tests can answer for the user
// instead of a modal message box.
class UnsavedLogQuestion {
 public:
  virtual ~UnsavedLogQuestion() = default;
  virtual UnsavedLogAnswer ask(QWidget* parent, std::size_t unsavedEntries, LogLoss loss) = 0;
  // doing: what the link is doing, as the status line says it ("HP Mute: 40 of 131").
  virtual BusyEndAnswer askWhileBusy(QWidget* parent, const QString& doing) = 0;
};

// The question as a message box captioned with the program's title: Save, Discard, Cancel.
class MessageBoxUnsavedLogQuestion final : public UnsavedLogQuestion {
 public:
  UnsavedLogAnswer ask(QWidget* parent, std::size_t unsavedEntries, LogLoss loss) override;
  BusyEndAnswer askWhileBusy(QWidget* parent, const QString& doing) override;
};

// The message box itself, not yet shown (the screenshots show it without running it).
std::unique_ptr<QMessageBox> MakeUnsavedLogBox(QWidget* parent, std::size_t unsavedEntries,
                                               LogLoss loss = LogLoss::ProgramEnd);

}  // namespace tonvisor
