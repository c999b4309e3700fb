#include "link/ethernet_transport.h"

#include <array>
#include <thread>

#include "link/ethernet_protocol.h"
#include "link/status.h"

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

EthernetTransport::EthernetTransport(WriteLog& log, Messenger& messenger, const LinkSettings& settings,
                                     EthernetOptions options)
    : m_log(log), m_messenger(messenger), m_settings(settings), m_options(std::move(options)) {}

void EthernetTransport::fail(std::string_view text) { m_messenger.show(text, kApplicationTitle, Owner::mainWindow()); }

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

bool EthernetTransport::ReceiveReturnCode(TcpSocket& socket, const Texts& texts) {
  std::array<std::uint8_t, 4> code{};
  if (socket.receiveAll(code.data(), code.size(), m_options.timeout) != code.size()) {
    fail(texts.noReturnCode);
    return false;
  }
  if (ethernet::FromBe32(code.data()) != ethernet::kAccepted) {
    fail(texts.badReturnCode);
    return false;
  }
  return true;
}

bool EthernetTransport::startExchange(TcpSocket& socket, std::uint32_t command, const Texts& texts) {
  if (!socket.create()) {
    fail(texts.creatingSocket);
    return false;
  }
  if (!socket.connectTo(m_settings.ethernetAddress, m_settings.ethernetPort, m_options.timeout)) {
    fail(kConnectingFailed);
    return false;
  }
  if (!SendHeader(socket, command)) {
    fail(texts.sendingHeader);
    return false;
  }
  return ReceiveReturnCode(socket, texts);
}

void EthernetTransport::EthernetWriteRegister(std::uint16_t address, std::uint16_t value) {
  TcpSocket socket;
  if (!startExchange(socket, ethernet::kWriteCommand, kWriteTexts)) return;
  const auto addressBytes = ethernet::Be16(address);
  if (socket.sendAll(addressBytes.data(), 2, m_options.timeout) != 2) return fail(kWriteTexts.sendingRegister);
  const auto valueBytes = ethernet::Be16(value);
  if (socket.sendAll(valueBytes.data(), 2, m_options.timeout) != 2) return fail(kSendingValueFailed);
  if (!ReceiveReturnCode(socket, kWriteTexts)) return;
  m_log.appendWrite(address, value);
  socket.close();
  pauseAfterAccess();
}

bool EthernetTransport::EthernetReadRegister(std::uint16_t address, std::uint16_t* value) {
  TcpSocket socket;
  if (!startExchange(socket, ethernet::kReadCommand, kReadTexts)) return false;
  const auto addressBytes = ethernet::Be16(address);
  if (socket.sendAll(addressBytes.data(), 2, m_options.timeout) != 2) {
    fail(kReadTexts.sendingRegister);
    return false;
  }
  if (!ReceiveReturnCode(socket, kReadTexts)) return false;
  std::array<std::uint8_t, 2> received{};
  if (socket.receiveAll(received.data(), 2, m_options.timeout) != 2) {
    fail(kReceivingValueFailed);
    return false;
  }
  socket.close();
  if (value != nullptr) *value = ethernet::FromBe16(received.data());
  pauseAfterAccess();
  return true;
}

void EthernetTransport::EthernetModifyRegister(std::uint16_t address, std::uint16_t keepMask, std::uint16_t value) {
  std::uint16_t old = 0;
  if (!EthernetReadRegister(address, &old)) return;
  EthernetWriteRegister(address, MergeKeepMask(old, keepMask, value));
}

}  // namespace tonvisor
