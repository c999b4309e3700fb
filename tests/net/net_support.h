#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/device_link.h"
#include "link/ethernet_transport.h"
#include "link/tcp_socket.h"
#include "support/recording_messenger.h"

namespace tonvisor::testing {

using Bytes = std::vector<std::uint8_t>;
using Millis = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// "46 50 47 41": bytes as upper-case hex pairs, so a failed comparison reads like a capture.
inline std::string Hex(const Bytes& bytes) {
  std::string text;
  for (const std::uint8_t b : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, text.empty() ? "%02X" : " %02X", b);
    text += pair;
  }
  return text;
}

inline Millis Since(SteadyClock::time_point start) {
  return std::chrono::duration_cast<Millis>(SteadyClock::now() - start);
}

inline Millis Until(SteadyClock::time_point deadline) {
  return std::chrono::duration_cast<Millis>(deadline - SteadyClock::now());
}

inline sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A socket bound to a free loopback port, which it stores; not yet listening, so until the
// caller listens, connections to that port are refused.
inline int BindLoopback(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

// A plain client socket connected to 127.0.0.1:port (Nagle off), or -1.
inline int ConnectLoopback(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  DisableNagle(fd);
  const sockaddr_in address = LoopbackAddress(port);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
  ::close(fd);
  return -1;
}

// Sends the bytes at once, or with a gap each byte as its own segment.
inline bool SendBytes(int fd, const Bytes& bytes, Millis gap = Millis(0)) {
  if (gap.count() == 0) return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == std::ssize(bytes);
  for (const std::uint8_t b : bytes) {
    std::this_thread::sleep_for(gap);
    if (::send(fd, &b, 1, MSG_NOSIGNAL) != 1) return false;
  }
  return true;
}

struct ReadResult {
  Bytes bytes;
  bool closed = false;  // the peer closed (or reset) the connection within the time
  bool reset = false;   // it was a reset, not an orderly close
};

// Reads until the peer closes, `limit` bytes came, or the time passes; from a pipe as well.
inline ReadResult ReadUntilClosed(int fd, Millis timeout, std::size_t limit = 4096) {
  ReadResult result;
  const auto deadline = SteadyClock::now() + timeout;
  while (result.bytes.size() < limit) {
    const auto left = Until(deadline).count();
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
    std::uint8_t buffer[256];
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - result.bytes.size()));
    if (n <= 0) {
      result.closed = true;
      result.reset = n < 0 && errno == ECONNRESET;
      break;
    }
    result.bytes.insert(result.bytes.end(), buffer, buffer + n);
  }
  return result;
}

// One Ethernet client as the program has it: a link of its own set to Ethernet, with its own
// log and messenger, and a pause hook that counts instead of sleeping.
struct EthernetClient {
  explicit EthernetClient(std::uint32_t port, Millis timeout = Millis(300))
      : bridge(MakeAbsentBridge()),
        link(std::make_unique<DeviceLink>(
            *bridge, messages,
            EthernetOptions{.timeout = timeout, .pause = [this](Millis length) { pauses.push_back(length); }})) {
    settings().connectionType = "Ethernet";
    settings().ethernetAddress = "127.0.0.1";
    settings().ethernetPort = port;
  }

  LinkSettings& settings() { return link->settings(); }
  WriteLog& log() { return link->writeLog(); }
  // A read that says whether a value arrived, storing it only then.
  bool read(std::uint16_t address, std::uint16_t& value) {
    const AccessResult access = link->Read(address);
    if (access.value) value = *access.value;
    return access.ok();
  }

  // The only message shown, after checking that it is captioned and owned as the Ethernet
  // transport's messages are; empty when none was shown.
  std::string onlyMessage() const {
    if (messages.messages.empty()) return {};
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages.front().caption, kApplicationTitle);
    EXPECT_EQ(messages.messages.front().owner, Owner::mainWindow());
    return messages.messages.front().text;
  }

  // Writes the value, reads it back, and says whether both went through without a message.
  bool writeReadsBack(std::uint16_t address, std::uint16_t value) {
    const bool written = link->Write(address, value).ok();
    std::uint16_t back = static_cast<std::uint16_t>(~value);
    return written && read(address, back) && back == value && messages.messages.empty();
  }

  RecordingMessenger messages;
  std::vector<Millis> pauses;
  std::unique_ptr<UsbBridge> bridge;
  std::unique_ptr<DeviceLink> link;
};

// A deliberately simple board for the client's tests: it accepts `count` connections one after
// the other on a loopback port (or as many as come within three seconds) and plays a script
// against each, recording every byte the client sent. When the script ends without closing,
// it keeps reading until the client closes, so the record holds everything the client sent
// and says whether the client closed.
class ScriptedServer {
 public:
  // One connection as the script plays it, and afterwards what was recorded of it.
  struct Peer {
    // Reads n bytes (bounded by two seconds, or until the client closes) and records them.
    void expect(std::size_t n) {
      const ReadResult r = ReadUntilClosed(fd, Millis(2000), n);
      received.insert(received.end(), r.bytes.begin(), r.bytes.end());
      clientClosed = clientClosed || r.closed;
    }
    void send(const Bytes& bytes, Millis gap = Millis(0)) { SendBytes(fd, bytes, gap); }
    // Closes the connection at once when the script ends.
    void close() { closing = true; }

    int fd = -1;
    Bytes received;             // every byte the client sent
    bool clientClosed = false;  // the client closed its end
    bool closing = false;
  };

  explicit ScriptedServer(std::function<void(Peer&)> script, std::size_t count = 1) {
    m_listenFd = BindLoopback(m_port);
    ::listen(m_listenFd, 16);
    m_thread = std::thread([this, script = std::move(script), count] {
      const auto deadline = SteadyClock::now() + Millis(3000);
      while (m_peers.size() < count) {
        Peer peer;
        pollfd p{m_listenFd, POLLIN, 0};
        const auto left = static_cast<int>(std::max<Millis::rep>(Until(deadline).count(), 0));
        if (::poll(&p, 1, left) <= 0 || (peer.fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC)) < 0) return;
        DisableNagle(peer.fd);  // every send of the script leaves as its own segment
        script(peer);
        if (!peer.closing && !peer.clientClosed) peer.expect(4096);
        ::close(peer.fd);
        m_peers.push_back(std::move(peer));
      }
    });
  }
  ~ScriptedServer() {
    finished();
    ::close(m_listenFd);
  }

  std::uint16_t port() const { return m_port; }
  // Waits until the connections are served and returns what was recorded of them.
  const std::vector<Peer>& finished() {
    if (m_thread.joinable()) m_thread.join();
    return m_peers;
  }

 private:
  int m_listenFd = -1;
  std::uint16_t m_port = 0;
  std::vector<Peer> m_peers;
  std::thread m_thread;
};

}  // namespace tonvisor::testing
