#include "link/messenger.h"

#include <ostream>

namespace tonvisor {

void StreamMessenger::show(const Message& message) {
  // Texts keep their own blanks (they are the chip tool's literals); only the line ends that
  // some of them carry are dropped, so that each message stays on one line.
  std::string text = message.text;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  m_out << message.caption << ": " << text << '\n';
  m_out.flush();
  ++m_count;
}

}  // namespace tonvisor
