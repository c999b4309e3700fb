#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tonvisor {

// A blocking-style TCP stream socket whose every step is bounded by a time-out, so that a
// board that stops answering never freezes the caller, and ends at once when a wake
// descriptor becomes readable (Cancel in the window). Sends never raise SIGPIPE.
class TcpSocket {
 public:
  using Timeout = std::chrono::milliseconds;

  TcpSocket() = default;
  explicit TcpSocket(int fd) : m_fd(fd) {}
  ~TcpSocket() { close(); }
  TcpSocket(TcpSocket&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Creates an IPv4 stream socket with Nagle's algorithm off (the protocol's fields are
  // small separate sends that must not wait for each other's acknowledgement).
  bool create();
  // Connects to a dotted IPv4 address; false on a malformed address, refusal or time-out.
  bool connectTo(const std::string& dottedAddress, std::uint32_t port, Timeout timeout);
  // Sends all bytes unless the peer goes away or the time-out passes; returns the bytes sent.
  std::size_t sendAll(const void* data, std::size_t size, Timeout timeout);
  // Receives until size bytes came, the peer closed or the time-out passed; returns the
  // bytes received.
  std::size_t receiveAll(void* data, std::size_t size, Timeout timeout);

  // Whether the last step that failed did so by waiting out its time-out (a board that went
  // silent or a host that does not answer), rather than by a refusal or a closed connection.
  bool timedOut() const { return m_timedOut; }
  // Whether the last step that failed was ended by the wake descriptor.
  bool woken() const { return m_woken; }
  // A descriptor that, while readable, ends every wait at once; -1 for none.
  void setWakeDescriptor(int fd) { m_wakeFd = fd; }
  void close();

 private:
  // Waits for the socket to be ready for events until the deadline; false when the time ran
  // out or the wake descriptor ended the wait.
  bool wait(short events, std::chrono::steady_clock::time_point deadline);

  int m_fd = -1;
  int m_wakeFd = -1;
  bool m_timedOut = false;
  bool m_woken = false;
};

// Turns Nagle's algorithm off on an accepted or created socket.
void DisableNagle(int fd);

}  // namespace tonvisor
