#include "link/ethernet_transport.h"

#include <array>
#include <thread>

#include "link/ethernet_protocol.h"

namespace tonvisor {

// The read and write exchanges word their failures differently, misspellings included; the
// boards' test procedures quote these texts, so they stay as they are.
struct EthernetExchangeTexts {
  std::string_view creatingSocket;
  std::string_view sendingHeader;
  std::string_view noReturnCode;
  std::string_view badReturnCode;
  std::string_view sendingRegister;
};

namespace {

constexpr std::string_view kConnectingFailed = "Connecting to socket Failed";
constexpr std::string_view kSendingValueFailed = "sending value Falied";
constexpr std::string_view kReceivingValueFailed = "Receiving value Falied";

constexpr EthernetExchangeTexts kWriteTexts{"Creating socket Failed", "Sending Header Failed",
                                            "Getting Return Code Falied", "Invalid Return Code",
                                            "sending register Falied"};
constexpr EthernetExchangeTexts kReadTexts{"Creating socket Falied", "Sending Header Falied",
                                           "Getting Return Code Failed", " Invalid Return Code",
                                           " sending register Failed"};

}  // namespace

void PreciseSleep(std::chrono::milliseconds length) {
  using Clock = std::chrono::steady_clock;
  constexpr auto kMargin = std::chrono::microseconds(200);
  const auto end = Clock::now() + length;
  if (length > kMargin) std::this_thread::sleep_until(end - kMargin);
  while (Clock::now() < end) {
  }
}

EthernetTransport::EthernetTransport(Messenger& messenger, const LinkSettings& settings, EthernetOptions options)
    : m_messenger(messenger), m_settings(settings), m_options(std::move(options)) {}

bool EthernetTransport::fail(std::string_view text, BoardExchange& exchange, BoardStep step, const TcpSocket& socket) {
  exchange.done = false;
  exchange.failedStep = step;
  exchange.timedOut = socket.timedOut();
  m_messenger.show(text, kApplicationTitle, Owner::mainWindow());
  return false;
}

void EthernetTransport::pauseAfterAccess() {
  if (m_options.pause) {
    m_options.pause(m_options.accessPause);
  } else if (m_options.accessPause.count() > 0) {
    PreciseSleep(m_options.accessPause);
  }
}

bool EthernetTransport::SendHeader(TcpSocket& socket, std::uint32_t command) {
  const auto header = ethernet::Header(command);
  return socket.sendAll(header.data(), header.size(), m_options.timeout) == header.size();
}

bool EthernetTransport::ReceiveReturnCode(TcpSocket& socket, const Texts& texts, BoardExchange& exchange) {
  std::array<std::uint8_t, 4> code{};
  if (socket.receiveAll(code.data(), code.size(), m_options.timeout) != code.size()) {
    return fail(texts.noReturnCode, exchange, BoardStep::ReturnCode, socket);
  }
  if (ethernet::FromBe32(code.data()) != ethernet::kAccepted) {
    return fail(texts.badReturnCode, exchange, BoardStep::Refused, socket);
  }
  return true;
}

bool EthernetTransport::startExchange(TcpSocket& socket, std::uint32_t command, const Texts& texts,
                                      BoardExchange& exchange) {
  if (!socket.create()) return fail(texts.creatingSocket, exchange, BoardStep::CreateSocket, socket);
  socket.setWakeDescriptor(m_wakeFd);
  if (!socket.connectTo(m_settings.ethernetAddress, m_settings.ethernetPort, m_options.timeout)) {
    return fail(kConnectingFailed, exchange, BoardStep::Connect, socket);
  }
  if (!SendHeader(socket, command)) return fail(texts.sendingHeader, exchange, BoardStep::SendHeader, socket);
  return ReceiveReturnCode(socket, texts, exchange);
}

BoardExchange EthernetTransport::write(std::uint16_t address, std::uint16_t value) {
  BoardExchange exchange;
  TcpSocket socket;
  if (!startExchange(socket, ethernet::kWriteCommand, kWriteTexts, exchange)) return exchange;
  const auto addressBytes = ethernet::Be16(address);
  if (socket.sendAll(addressBytes.data(), 2, m_options.timeout) != 2) {
    fail(kWriteTexts.sendingRegister, exchange, BoardStep::SendRegister, socket);
    return exchange;
  }
  const auto valueBytes = ethernet::Be16(value);
  if (socket.sendAll(valueBytes.data(), 2, m_options.timeout) != 2) {
    fail(kSendingValueFailed, exchange, BoardStep::SendValue, socket);
    return exchange;
  }
  if (!ReceiveReturnCode(socket, kWriteTexts, exchange)) return exchange;
  socket.close();
  exchange.done = true;
  pauseAfterAccess();
  return exchange;
}

BoardExchange EthernetTransport::read(std::uint16_t address, std::uint16_t& value) {
  BoardExchange exchange;
  TcpSocket socket;
  if (!startExchange(socket, ethernet::kReadCommand, kReadTexts, exchange)) return exchange;
  const auto addressBytes = ethernet::Be16(address);
  if (socket.sendAll(addressBytes.data(), 2, m_options.timeout) != 2) {
    fail(kReadTexts.sendingRegister, exchange, BoardStep::SendRegister, socket);
    return exchange;
  }
  if (!ReceiveReturnCode(socket, kReadTexts, exchange)) return exchange;
  std::array<std::uint8_t, 2> received{};
  if (socket.receiveAll(received.data(), 2, m_options.timeout) != 2) {
    fail(kReceivingValueFailed, exchange, BoardStep::ReceiveValue, socket);
    return exchange;
  }
  socket.close();
  value = ethernet::FromBe16(received.data());
  exchange.done = true;
  pauseAfterAccess();
  return exchange;
}

}  // namespace tonvisor
