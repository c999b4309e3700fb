#pragma once

#include <cstddef>
#include <memory>

class QMessageBox;
class QWidget;

namespace tonvisor {

// What the user wants done with a write log that is not saved when the program is about to
// end: save it first, end without it, or not end after all.
enum class UnsavedLogAnswer { Save, Discard, Stay };

// Asks that question. The main sheet goes through this, so tests can answer for the user
// instead of a modal message box.
class UnsavedLogQuestion {
 public:
  virtual ~UnsavedLogQuestion() = default;
  virtual UnsavedLogAnswer ask(QWidget* parent, std::size_t unsavedEntries) = 0;
};

// The question as a message box captioned with the program's title: Save, Discard, Cancel.
class MessageBoxUnsavedLogQuestion final : public UnsavedLogQuestion {
 public:
  UnsavedLogAnswer ask(QWidget* parent, std::size_t unsavedEntries) override;
};

// The message box itself, not yet shown (the screenshots show it without running it).
std::unique_ptr<QMessageBox> MakeUnsavedLogBox(QWidget* parent, std::size_t unsavedEntries);

}  // namespace tonvisor
