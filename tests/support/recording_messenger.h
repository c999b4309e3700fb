#pragma once

#include <string>
#include <vector>

#include "link/messenger.h"

namespace tonvisor::testing {

// Keeps every message shown, so tests can assert on exact texts, captions and owners.
class RecordingMessenger final : public Messenger {
 public:
  void show(const Message& message) override { messages.push_back(message); }
  using Messenger::show;

  std::vector<std::string> texts() const {
    std::vector<std::string> all;
    for (const Message& m : messages) all.push_back(m.text);
    return all;
  }
  void clear() { messages.clear(); }

  std::vector<Message> messages;
};

}  // namespace tonvisor::testing
