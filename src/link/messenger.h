#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace tonvisor {

// Caption of every message box that names no caption of its own: the program's title.
inline constexpr std::string_view kApplicationTitle = "Tonvisor";
// Caption of the dispatchers' and the bus-B pins' messages.
inline constexpr std::string_view kErrorCaption = "Error";

// Which window owns a message box. The core never knows windows; a page passes itself as an
// opaque pointer and the panel's messenger turns it back into a widget.
struct Owner {
  enum class Kind { None, MainWindow, Window };
  Kind kind = Kind::None;
  const void* window = nullptr;

  static Owner none() { return {}; }
  static Owner mainWindow() { return {Kind::MainWindow, nullptr}; }
  static Owner of(const void* window) { return {Kind::Window, window}; }
  bool operator==(const Owner&) const = default;
};

struct Message {
  std::string text;
  std::string caption;
  Owner owner;
};

// The one way a user is told anything: message boxes in the panel, standard error in the
// command-line tools, a recorder in tests. show() returns when the user has acknowledged it.
class Messenger {
 public:
  virtual ~Messenger() = default;
  virtual void show(const Message& message) = 0;

  void show(std::string_view text, std::string_view caption, Owner owner) {
    show(Message{std::string(text), std::string(caption), owner});
  }
};

// Writes each message on its own line ("caption: text"), trailing line ends folded away.
class StreamMessenger : public Messenger {
 public:
  explicit StreamMessenger(std::ostream& out) : m_out(out) {}
  void show(const Message& message) override;
  using Messenger::show;
  int count() const { return m_count; }

 private:
  std::ostream& m_out;
  int m_count = 0;
};

}  // namespace tonvisor
