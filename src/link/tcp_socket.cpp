#include "link/tcp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tonvisor {
namespace {

using Clock = std::chrono::steady_clock;

// How a wait for the socket ended.
enum class Wait { Ready, TimedOut, Woken };

// Waits until fd is ready for events (or has an error to report), the wake descriptor is
// readable, or the deadline passes. Signals do not end the wait.
Wait waitFor(int fd, short events, int wakeFd, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return Wait::TimedOut;
    pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
    const int ready = ::poll(fds, wakeFd >= 0 ? 2 : 1, static_cast<int>(std::min<long long>(left, 60'000)));
    if (ready <= 0) continue;  // a signal, or the time is up: the deadline is checked above
    if (wakeFd >= 0 && (fds[1].revents & POLLIN) != 0) return Wait::Woken;
    if (fds[0].revents != 0) return Wait::Ready;
  }
}

}  // namespace

void DisableNagle(int fd) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    close();
    m_fd = other.m_fd;
    other.m_fd = -1;
  }
  return *this;
}

void TcpSocket::close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

bool TcpSocket::create() {
  close();
  m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (m_fd < 0) return false;
  DisableNagle(m_fd);
  return true;
}

// Every wait polls the socket together with the wake descriptor, if one is set: a Cancel in
// the window ends a wait on a silent board at once instead of after its time-out. The socket
// is non-blocking; each step first tries the call itself, so an answer already there costs
// no wait.
bool TcpSocket::connectTo(const std::string& dottedAddress, std::uint32_t port, Timeout timeout) {
  m_timedOut = false;
  m_woken = false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (port > 0xFFFF || ::inet_pton(AF_INET, dottedAddress.c_str(), &address.sin_addr) != 1) return false;
  const auto deadline = Clock::now() + timeout;
  if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
  // Under way (or interrupted by a signal, which does not stop it): wait for it to finish.
  if (errno != EINPROGRESS && errno != EINTR) return false;
  if (!wait(POLLOUT, deadline)) return false;
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return false;
  m_timedOut = error == ETIMEDOUT;
  return error == 0;
}

bool TcpSocket::wait(short events, std::chrono::steady_clock::time_point deadline) {
  switch (waitFor(m_fd, events, m_wakeFd, deadline)) {
    case Wait::Ready:
      return true;
    case Wait::TimedOut:
      m_timedOut = true;
      return false;
    case Wait::Woken:
      // Told as a time-out: the board is given up on for the rest of the action.
      m_timedOut = true;
      m_woken = true;
      return false;
  }
  return false;
}

std::size_t TcpSocket::sendAll(const void* data, std::size_t size, Timeout timeout) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  const auto deadline = Clock::now() + timeout;
  m_timedOut = false;
  m_woken = false;
  std::size_t sent = 0;
  while (sent < size) {
    // Small sends go straight into the socket buffer; only a full buffer waits.
    const ssize_t n = ::send(m_fd, bytes + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait(POLLOUT, deadline)) break;
    } else {
      break;
    }
  }
  return sent;
}

std::size_t TcpSocket::receiveAll(void* data, std::size_t size, Timeout timeout) {
  auto* bytes = static_cast<std::uint8_t*>(data);
  const auto deadline = Clock::now() + timeout;
  m_timedOut = false;
  m_woken = false;
  std::size_t received = 0;
  while (received < size) {
    const ssize_t n = ::recv(m_fd, bytes + received, size - received, MSG_DONTWAIT);
    if (n > 0) {
      received += static_cast<std::size_t>(n);
    } else if (n == 0) {
      break;  // the peer closed
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!wait(POLLIN, deadline)) break;
    } else if (errno != EINTR) {
      break;  // a broken connection
    }
  }
  return received;
}

}  // namespace tonvisor
