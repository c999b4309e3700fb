#pragma once

#include <chrono>
#include <functional>
#include <string_view>

#include "link/access.h"
#include "link/link_settings.h"
#include "link/messenger.h"
#include "link/tcp_socket.h"

namespace tonvisor {

struct EthernetExchangeTexts;

struct EthernetOptions {
  // Bounds each step (connect, every send, every receive) so a silent board cannot hang us.
  std::chrono::milliseconds timeout{3000};
  // The board needs this pause after every completed access.
  std::chrono::milliseconds accessPause{20};
  // How the pause is taken; tests replace it to count the pauses without waiting.
  std::function<void(std::chrono::milliseconds)> pause;
};

// Sleeps for the given time and not noticeably longer. A plain sleep ends late by the timer
// slack and the wake-up of an idle processor, which over a script of thousands of writes
// adds up to seconds: this sleeps until just short of the end and waits out the rest on the
// clock.
void PreciseSleep(std::chrono::milliseconds length);

// How one exchange with the board ended: done, or the step that failed and whether it waited
// out its time-out.
struct BoardExchange {
  bool done = false;
  BoardStep failedStep = BoardStep::Connect;
  bool timedOut = false;
};

// Register access through a board that relays it: each read or write is one short TCP
// connection carrying one request. Failures are told to the user here (owned by the main
// window) in the board tool's own words; what is logged is the link's business.
class EthernetTransport {
 public:
  EthernetTransport(Messenger& messenger, const LinkSettings& settings, EthernetOptions options = {});

  // A descriptor that, while readable, ends every wait on the board at once (the window's
  // Cancel); -1 for none. The step then fails as one that timed out.
  void setWakeDescriptor(int fd) { m_wakeFd = fd; }

  BoardExchange write(std::uint16_t address, std::uint16_t value);
  // Stores the value only when the whole exchange succeeded.
  BoardExchange read(std::uint16_t address, std::uint16_t& value);

 private:
  using Texts = EthernetExchangeTexts;
  // Creates the socket, connects and sends the header; shows the step's message on failure.
  bool startExchange(TcpSocket& socket, std::uint32_t command, const Texts& texts, BoardExchange& exchange);
  bool SendHeader(TcpSocket& socket, std::uint32_t command);
  // Receives one return code; shows the step's message and returns false unless it is 0.
  bool ReceiveReturnCode(TcpSocket& socket, const Texts& texts, BoardExchange& exchange);
  bool fail(std::string_view text, BoardExchange& exchange, BoardStep step, const TcpSocket& socket);
  void pauseAfterAccess();

  Messenger& m_messenger;
  const LinkSettings& m_settings;
  EthernetOptions m_options;
  int m_wakeFd = -1;
};

}  // namespace tonvisor
