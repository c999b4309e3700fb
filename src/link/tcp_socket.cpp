#include "link/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tonvisor {
namespace {

using Clock = std::chrono::steady_clock;

// Waits until fd is ready for the given events or the deadline passes.
bool waitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) return false;
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
  m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_fd < 0) return false;
  DisableNagle(m_fd);
  return true;
}

bool TcpSocket::connectTo(const std::string& dottedAddress, std::uint32_t port, Timeout timeout) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (port > 0xFFFF || ::inet_pton(AF_INET, dottedAddress.c_str(), &address.sin_addr) != 1) return false;

  // Connect without blocking so that an unreachable board costs at most the time-out.
  const int flags = ::fcntl(m_fd, F_GETFL, 0);
  ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK);
  const auto deadline = Clock::now() + timeout;
  bool connected = ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (!connected && errno == EINPROGRESS && waitFor(m_fd, POLLOUT, deadline)) {
    int error = 0;
    socklen_t length = sizeof error;
    connected = ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
  }
  return connected;
}

std::size_t TcpSocket::sendAll(const void* data, std::size_t size, Timeout timeout) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  const auto deadline = Clock::now() + timeout;
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(m_fd, bytes + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!waitFor(m_fd, POLLOUT, deadline)) break;
    } else {
      break;
    }
  }
  return sent;
}

std::size_t TcpSocket::receiveAll(void* data, std::size_t size, Timeout timeout) {
  auto* bytes = static_cast<std::uint8_t*>(data);
  const auto deadline = Clock::now() + timeout;
  std::size_t received = 0;
  while (received < size) {
    const ssize_t n = ::recv(m_fd, bytes + received, size - received, MSG_DONTWAIT);
    if (n > 0) {
      received += static_cast<std::size_t>(n);
    } else if (n == 0) {
      break;  // the peer closed
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!waitFor(m_fd, POLLIN, deadline)) break;
    } else {
      break;
    }
  }
  return received;
}

}  // namespace tonvisor
