#include "sim/board_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "link/ethernet_protocol.h"
#include "link/tcp_socket.h"

namespace tonvisor {
namespace {

using Clock = std::chrono::steady_clock;

// A connection is closed as soon as its last reply is out, unless the client sent more than
// its request: closing a socket with unread bytes sends a reset, which can destroy a reply
// the client has not read yet. Such a connection is half-closed instead (the client sees the
// end at once) and its stray bytes are read and dropped until the client closes too, for at
// most this long.
constexpr std::chrono::milliseconds kLingerLimit{1000};

// When accept() fails for want of descriptors or memory, the listener rests this long
// instead of waking the loop again at once.
constexpr std::chrono::milliseconds kAcceptBackoff{100};

std::error_code SystemError(int error) { return {error, std::system_category()}; }

std::string ErrorText(int error) { return std::system_category().message(error); }

}  // namespace

struct BoardServer::Connection {
  enum class Stage { Header, Address, Value, Reply, Linger, Done };

  int fd = -1;
  Stage stage = Stage::Header;
  bool isWrite = false;
  std::array<std::uint8_t, 8> in{};
  std::size_t have = 0;
  std::uint16_t address = 0;
  std::array<std::uint8_t, 8> out{};
  std::size_t outSize = 0;
  std::size_t outSent = 0;
  bool lastReply = false;
  Stage afterReply = Stage::Done;
  Clock::time_point deadline;

  std::size_t wanted() const {
    switch (stage) {
      case Stage::Header:
        return 8;
      case Stage::Address:
      case Stage::Value:
        return 2;
      default:
        return 0;
    }
  }
  bool receiving() const { return stage == Stage::Header || stage == Stage::Address || stage == Stage::Value; }
  void close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    stage = Stage::Done;
  }
};

BoardServer::BoardServer(ChipModel& chip) : BoardServer(chip, Options{}) {}

BoardServer::BoardServer(ChipModel& chip, Options options) : m_chip(chip), m_options(std::move(options)) {}

BoardServer::~BoardServer() { stop(); }

std::error_code BoardServer::start() {
  std::lock_guard lock(m_stopMutex);
  if (m_listenFd >= 0 || m_thread.joinable()) return std::make_error_code(std::errc::invalid_argument);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(m_options.port);
  if (::inet_pton(AF_INET, m_options.address.c_str(), &address.sin_addr) != 1) {
    return std::make_error_code(std::errc::invalid_argument);
  }

  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return SystemError(errno);
  // A board restarted at once must get its port back although old connections linger.
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, SOMAXCONN) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    const int error = errno;
    ::close(fd);
    return SystemError(error);
  }
  const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake < 0) {
    const int error = errno;
    ::close(fd);
    return SystemError(error);
  }
  m_listenFd = fd;
  m_wakeFd = wake;
  m_port = ntohs(bound.sin_port);
  m_thread = std::thread([this] { serve(); });
  return {};
}

void BoardServer::requestStop() {
  if (m_wakeFd < 0) return;
  const std::uint64_t one = 1;
  // Nothing to do if it fails: the counter is then already non-zero and the loop wakes.
  [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

void BoardServer::stop() {
  std::lock_guard lock(m_stopMutex);
  requestStop();
  if (m_thread.joinable()) m_thread.join();
  if (m_listenFd >= 0) ::close(m_listenFd);
  if (m_wakeFd >= 0) ::close(m_wakeFd);
  m_listenFd = -1;
  m_wakeFd = -1;
}

void BoardServer::report(const BoardAccess& access) {
  if (m_options.onAccess) m_options.onAccess(access);
}

void BoardServer::drop(Connection& connection, std::string detail) {
  ++m_dropped;
  BoardAccess access;
  access.kind = BoardAccess::Kind::Dropped;
  access.detail = std::move(detail);
  report(access);
  connection.close();
}

void BoardServer::queueReply(Connection& connection, const std::uint8_t* bytes, std::size_t size, bool last) {
  std::copy(bytes, bytes + size, connection.out.begin());
  connection.outSize = size;
  connection.outSent = 0;
  connection.lastReply = last;
  connection.stage = Connection::Stage::Reply;
  flush(connection);
}

void BoardServer::flush(Connection& connection) {
  while (connection.outSent < connection.outSize) {
    const ssize_t n = ::send(connection.fd, connection.out.data() + connection.outSent,
                             connection.outSize - connection.outSent, MSG_NOSIGNAL);
    if (n > 0) {
      connection.outSent += static_cast<std::size_t>(n);
      connection.deadline = Clock::now() + m_options.timeout;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return;  // the loop waits until the socket takes more
    } else {
      return drop(connection, "reply not delivered: " + ErrorText(errno));
    }
  }
  if (connection.lastReply) {
    std::uint8_t peek = 0;
    if (::recv(connection.fd, &peek, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) return connection.close();
    ::shutdown(connection.fd, SHUT_WR);
    connection.stage = Connection::Stage::Linger;
    connection.deadline = Clock::now() + std::min(m_options.timeout, kLingerLimit);
  } else {
    connection.stage = connection.afterReply;
    connection.have = 0;
  }
}

void BoardServer::handleRequestPart(Connection& connection) {
  using Stage = Connection::Stage;
  const std::uint8_t* in = connection.in.data();
  connection.have = 0;
  switch (connection.stage) {
    case Stage::Header: {
      BoardAccess refusal;
      refusal.kind = BoardAccess::Kind::Refused;
      refusal.command = ethernet::FromBe32(in + 4);
      if (!std::equal(ethernet::kMagic.begin(), ethernet::kMagic.end(), in)) {
        refusal.code = kBadMagic;
        refusal.detail = "bad magic";
      } else if (refusal.command != ethernet::kWriteCommand && refusal.command != ethernet::kReadCommand) {
        refusal.code = kUnknownCommand;
        refusal.detail = "unknown command";
      } else {
        connection.isWrite = refusal.command == ethernet::kWriteCommand;
        connection.afterReply = Stage::Address;
        const auto accepted = ethernet::Be32(ethernet::kAccepted);
        return queueReply(connection, accepted.data(), accepted.size(), false);
      }
      ++m_refusals;
      report(refusal);
      const auto code = ethernet::Be32(refusal.code);
      return queueReply(connection, code.data(), code.size(), true);
    }
    case Stage::Address: {
      connection.address = ethernet::FromBe16(in);
      if (connection.isWrite) {
        connection.stage = Stage::Value;
        return;
      }
      const std::uint16_t value = m_chip.read(connection.address);
      // Counted and told before the reply leaves, so that a client that has its answer can
      // rely on the count.
      ++m_accesses;
      report(BoardAccess{BoardAccess::Kind::Read, connection.address, value, 0, ethernet::kReadCommand, {}});
      const auto code = ethernet::Be32(ethernet::kAccepted);
      const auto bytes = ethernet::Be16(value);
      const std::array<std::uint8_t, 6> reply{code[0], code[1], code[2], code[3], bytes[0], bytes[1]};
      return queueReply(connection, reply.data(), reply.size(), true);
    }
    case Stage::Value: {
      const std::uint16_t value = ethernet::FromBe16(in);
      m_chip.write(connection.address, value);
      ++m_accesses;
      report(BoardAccess{BoardAccess::Kind::Write, connection.address, value, 0, ethernet::kWriteCommand, {}});
      const auto code = ethernet::Be32(ethernet::kAccepted);
      return queueReply(connection, code.data(), code.size(), true);
    }
    default:
      return;
  }
}

void BoardServer::receive(Connection& connection) {
  using Stage = Connection::Stage;
  if (connection.stage == Stage::Linger) {
    std::array<std::uint8_t, 256> scratch;
    for (;;) {
      const ssize_t n = ::recv(connection.fd, scratch.data(), scratch.size(), 0);
      if (n > 0) continue;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      return connection.close();  // the client closed (or reset) after its answer: done
    }
  }
  while (connection.receiving()) {
    const ssize_t n =
        ::recv(connection.fd, connection.in.data() + connection.have, connection.wanted() - connection.have, 0);
    if (n > 0) {
      connection.have += static_cast<std::size_t>(n);
      connection.deadline = Clock::now() + m_options.timeout;
      if (connection.have == connection.wanted()) handleRequestPart(connection);
    } else if (n == 0) {
      const bool nothingSent = connection.stage == Stage::Header && connection.have == 0;
      return drop(connection, nothingSent ? "closed without a request" : "closed in the middle of a request");
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      return;
    } else {
      return drop(connection, "receive failed: " + ErrorText(errno));
    }
  }
}

// After any activity the loop keeps polling without sleeping for this long: the next step of
// an exchange usually follows within tens of microseconds, and a thread that has gone idle
// takes longer than that to wake. It doubles what one client gets served.
constexpr auto kSpinAfterActivity = std::chrono::microseconds(100);

void BoardServer::serve() {
  using Stage = Connection::Stage;
  std::vector<Connection> connections;
  std::vector<pollfd> polled;
  Clock::time_point listenRestsUntil{};
  Clock::time_point lastActivity{};

  for (;;) {
    auto now = Clock::now();
    const bool listening = connections.size() < m_options.maxConnections && now >= listenRestsUntil;
    polled.clear();
    polled.push_back({m_wakeFd, POLLIN, 0});
    polled.push_back({listening ? m_listenFd : -1, POLLIN, 0});
    std::optional<Clock::time_point> nextDeadline;
    if (!listening && connections.size() < m_options.maxConnections) nextDeadline = listenRestsUntil;
    for (const Connection& c : connections) {
      polled.push_back({c.fd, static_cast<short>(c.stage == Stage::Reply ? POLLOUT : POLLIN), 0});
      if (!nextDeadline || c.deadline < *nextDeadline) nextDeadline = c.deadline;
    }
    int waitMs = -1;
    if (nextDeadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*nextDeadline - now).count();
      waitMs = static_cast<int>(std::clamp<decltype(left)>(left, 0, 60'000));
    }

    if (now - lastActivity < kSpinAfterActivity) waitMs = 0;
    const int ready = ::poll(polled.data(), polled.size(), waitMs);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0) lastActivity = Clock::now();
    if (polled[0].revents != 0) break;  // stop requested

    if (ready > 0) {
      for (std::size_t i = 0; i < connections.size(); ++i) {
        if (polled[i + 2].revents == 0) continue;
        Connection& c = connections[i];
        if (c.stage == Stage::Reply) {
          flush(c);
        } else {
          receive(c);
        }
      }
      if (polled[1].revents != 0) {
        while (connections.size() < m_options.maxConnections) {
          const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
          if (fd >= 0) {
            DisableNagle(fd);
            Connection c;
            c.fd = fd;
            c.deadline = Clock::now() + m_options.timeout;
            connections.push_back(c);
            continue;
          }
          if (errno == EAGAIN || errno == EWOULDBLOCK) break;
          if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
          listenRestsUntil = Clock::now() + kAcceptBackoff;  // out of descriptors or memory
          break;
        }
      }
    }

    now = Clock::now();
    for (Connection& c : connections) {
      if (c.stage == Stage::Done || c.deadline > now) continue;
      if (c.stage == Stage::Linger) {
        c.close();
      } else {
        drop(c, "silent for " + std::to_string(m_options.timeout.count()) + " ms");
      }
    }
    std::erase_if(connections, [](const Connection& c) { return c.stage == Stage::Done; });
  }

  for (Connection& c : connections) c.close();
}

}  // namespace tonvisor
