#include "link/tcp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tonvisor {
namespace {

using Clock = std::chrono::steady_clock;

// Sets how long one blocking send, receive or connect on fd may wait: what is left until the
// deadline, or false when nothing is.
bool limitWait(int fd, int option, Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
  if (left <= 0) return false;
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(left / 1'000'000);
  limit.tv_usec = static_cast<suseconds_t>(left % 1'000'000);
  return ::setsockopt(fd, SOL_SOCKET, option, &limit, sizeof limit) == 0;
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
  m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_fd < 0) return false;
  DisableNagle(m_fd);
  return true;
}

// The socket stays blocking and every wait is bounded by SO_SNDTIMEO / SO_RCVTIMEO (Linux
// applies the send time-out to connect too): one system call per step, where polling a
// non-blocking socket takes three, and on loopback the calls are most of an access's cost.
bool TcpSocket::connectTo(const std::string& dottedAddress, std::uint32_t port, Timeout timeout) {
  m_timedOut = false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (port > 0xFFFF || ::inet_pton(AF_INET, dottedAddress.c_str(), &address.sin_addr) != 1) return false;
  const auto deadline = Clock::now() + timeout;
  if (!limitWait(m_fd, SO_SNDTIMEO, deadline)) {
    m_timedOut = true;
    return false;
  }
  if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
  // A signal does not stop the connection being made: calling connect again would only say
  // it is under way, so wait for it to finish instead.
  if (errno == EINTR) return finishInterruptedConnect(deadline);
  // With a send time-out set, a connect that ran out of time reports EINPROGRESS.
  m_timedOut = errno == EINPROGRESS || errno == EAGAIN || errno == ETIMEDOUT;
  return false;
}

bool TcpSocket::finishInterruptedConnect(Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      m_timedOut = true;
      return false;
    }
    pollfd waiting{m_fd, POLLOUT, 0};
    const int ready = ::poll(&waiting, 1, static_cast<int>(std::min<long long>(left, 60'000)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;  // time left is checked above
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return false;
    m_timedOut = error == ETIMEDOUT;
    return error == 0;
  }
}

std::size_t TcpSocket::sendAll(const void* data, std::size_t size, Timeout timeout) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  const auto deadline = Clock::now() + timeout;
  m_timedOut = false;
  std::size_t sent = 0;
  while (sent < size) {
    // Small sends go straight into the socket buffer; only a full buffer waits.
    const ssize_t n = ::send(m_fd, bytes + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!limitWait(m_fd, SO_SNDTIMEO, deadline)) {
        m_timedOut = true;
        break;
      }
      const ssize_t waited = ::send(m_fd, bytes + sent, size - sent, MSG_NOSIGNAL);
      if (waited > 0) {
        sent += static_cast<std::size_t>(waited);
      } else if (!(waited < 0 && errno == EINTR)) {
        m_timedOut = waited < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        break;
      }
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
  std::size_t received = 0;
  while (received < size) {
    if (!limitWait(m_fd, SO_RCVTIMEO, deadline)) {
      m_timedOut = true;
      break;
    }
    const ssize_t n = ::recv(m_fd, bytes + received, size - received, 0);
    if (n > 0) {
      received += static_cast<std::size_t>(n);
    } else if (n == 0) {
      break;  // the peer closed
    } else if (errno != EINTR) {
      m_timedOut = errno == EAGAIN || errno == EWOULDBLOCK;
      break;  // time-out or a broken connection
    }
  }
  return received;
}

}  // namespace tonvisor
