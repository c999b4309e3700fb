#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/tcp_socket.h"

namespace tonvisor::testing {

using Bytes = std::vector<std::uint8_t>;
using Millis = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// "46 50 47 41": bytes as upper-case hex pairs, so a failed comparison reads like a capture.
inline std::string Hex(const Bytes& bytes) {
  std::string text;
  for (const std::uint8_t b : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", b);
    if (!text.empty()) text += ' ';
    text += pair;
  }
  return text;
}

inline Millis Since(SteadyClock::time_point start) {
  return std::chrono::duration_cast<Millis>(SteadyClock::now() - start);
}

// A plain client socket connected to 127.0.0.1:port (Nagle off), or -1.
inline int ConnectLoopback(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  DisableNagle(fd);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

inline bool SendBytes(int fd, const Bytes& bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

struct ReadResult {
  Bytes bytes;
  bool closed = false;  // the peer closed (or reset) the connection within the time
  bool reset = false;   // it was a reset, not an orderly close
};

// Reads until the peer closes, `limit` bytes came, or the time passes.
inline ReadResult ReadUntilClosed(int fd, Millis timeout, std::size_t limit = 4096) {
  ReadResult result;
  const auto deadline = SteadyClock::now() + timeout;
  while (result.bytes.size() < limit) {
    const auto left = std::chrono::duration_cast<Millis>(deadline - SteadyClock::now()).count();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
    std::uint8_t buffer[256];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      result.closed = true;
      result.reset = n < 0 && errno == ECONNRESET;
      break;
    }
    result.bytes.insert(result.bytes.end(), buffer, buffer + n);
  }
  return result;
}

// A loopback port that nobody listens on for as long as this object lives: the port is bound
// but never put into listening state, so connections to it are refused.
class DeadPort {
 public:
  DeadPort() {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
  }
  ~DeadPort() { ::close(m_fd); }
  DeadPort(const DeadPort&) = delete;
  DeadPort& operator=(const DeadPort&) = delete;
  std::uint16_t port() const { return m_port; }

 private:
  int m_fd = -1;
  std::uint16_t m_port = 0;
};

// A deliberately simple board for the client's tests: it accepts connections one after the
// other on a loopback port and plays a script against each, recording every byte the client
// sent. When the script ends without closing, it keeps reading until the client closes, so
// the record holds everything the client sent and says whether the client closed.
class ScriptedServer {
 public:
  // What a script can do with one connection.
  class Peer {
   public:
    explicit Peer(int fd, Bytes& record) : m_fd(fd), m_record(record) {}
    // Reads exactly n bytes (bounded by two seconds) and records them.
    void expect(std::size_t n) {
      const std::size_t before = m_record.size();
      const ReadResult r = ReadUntilClosed(m_fd, Millis(2000), n);
      m_record.insert(m_record.end(), r.bytes.begin(), r.bytes.end());
      m_clientClosed = m_clientClosed || r.closed || m_record.size() - before < n;
    }
    void send(std::initializer_list<std::uint8_t> bytes) { SendBytes(m_fd, Bytes(bytes)); }
    void wait(Millis time) { std::this_thread::sleep_for(time); }
    // Closes the connection at once.
    void close() { m_closed = true; }

    bool closed() const { return m_closed; }
    bool clientClosed() const { return m_clientClosed; }

   private:
    int m_fd;
    Bytes& m_record;
    bool m_closed = false;
    bool m_clientClosed = false;
  };

  using Script = std::function<void(Peer&)>;

  struct Connection {
    Bytes received;             // every byte the client sent
    bool clientClosed = false;  // the client closed its end
  };

  explicit ScriptedServer(Script script) : m_script(std::move(script)) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::listen(m_listenFd, 16);
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
  }
  ~ScriptedServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listenFd);
  }
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  std::uint16_t port() const { return m_port; }

  // The connections whose script has finished; waits up to the time for at least `count`.
  std::vector<Connection> finished(std::size_t count = 1, Millis timeout = Millis(3000)) {
    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
      {
        std::lock_guard lock(m_mutex);
        if (m_finished.size() >= count || SteadyClock::now() >= deadline) return m_finished;
      }
      std::this_thread::sleep_for(Millis(5));
    }
  }

 private:
  void run() {
    while (!m_stop) {
      pollfd p{m_listenFd, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      // Every send of the script leaves as its own segment.
      DisableNagle(fd);
      Connection connection;
      Peer peer(fd, connection.received);
      m_script(peer);
      connection.clientClosed = peer.clientClosed();
      if (!peer.closed() && !connection.clientClosed) {
        const ReadResult rest = ReadUntilClosed(fd, Millis(3000));
        connection.received.insert(connection.received.end(), rest.bytes.begin(), rest.bytes.end());
        connection.clientClosed = rest.closed;
      }
      ::close(fd);
      std::lock_guard lock(m_mutex);
      m_finished.push_back(std::move(connection));
    }
  }

  Script m_script;
  int m_listenFd = -1;
  std::uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  std::mutex m_mutex;
  std::vector<Connection> m_finished;
  std::thread m_thread;
};

}  // namespace tonvisor::testing
