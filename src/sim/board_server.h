#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "sim/chip_model.h"

namespace tonvisor {

// What the board did with one connection, as told to the access hook.
struct BoardAccess {
  enum class Kind {
    Read,     // a register was read and its value sent
    Write,    // a register was written and acknowledged
    Refused,  // a bad header was answered with a non-zero return code
    Dropped,  // the client went away or fell silent before the request was complete
  };
  Kind kind = Kind::Read;
  std::uint16_t address = 0;
  std::uint16_t value = 0;
  std::uint32_t code = 0;     // Refused: the return code sent
  std::uint32_t command = 0;  // Refused: the command word received
  std::string detail;         // Refused, Dropped: why, in a few words
};

// The board end of the Ethernet register protocol over real TCP, backed by a chip model.
// One request per connection:
//   write: header "FPGA" + 8000 -> code 0, address, value -> code 0
//   read:  header "FPGA" + 8001 -> code 0, address -> code 0, value
// A header with a wrong magic or an unknown command is answered with one of the refusal
// codes below and the connection is closed. Every connection has its own time-out, so a
// client that vanishes or goes silent costs nothing but one slot until it expires.
//
// All connections are served by one thread that polls them; the access hook runs on that
// thread.
class BoardServer {
 public:
  // Refusal codes: the client only tests for non-zero, the distinct values tell a person
  // reading a capture what went wrong.
  static constexpr std::uint32_t kBadMagic = 1;
  static constexpr std::uint32_t kUnknownCommand = 2;

  struct Options {
    std::string address = "127.0.0.1";  // dotted IPv4 address to listen on
    std::uint16_t port = 0;             // 0 picks a free port; see port()
    // A connection that sends nothing for this long is closed.
    std::chrono::milliseconds timeout{3000};
    // Connections served at once; further clients wait in the listen backlog.
    std::size_t maxConnections = 256;
    // Called after each access, refusal and dropped connection, on the server's thread.
    std::function<void(const BoardAccess&)> onAccess;
  };

  explicit BoardServer(ChipModel& chip);
  BoardServer(ChipModel& chip, Options options);
  ~BoardServer();
  BoardServer(const BoardServer&) = delete;
  BoardServer& operator=(const BoardServer&) = delete;

  // Binds, listens and starts serving; call once. Returns the system's reason when the
  // address and port cannot be bound (std::errc::invalid_argument for an address that is
  // not dotted IPv4, or for a second start).
  std::error_code start();
  // The port actually bound (the chosen one when the options asked for port 0).
  std::uint16_t port() const { return m_port; }

  // Asks the server to stop. Async-signal-safe: only writes to an eventfd.
  void requestStop();
  // Stops serving, closes every connection and the listening socket, and joins the thread.
  // Safe to call more than once and from any thread but the hook's.
  void stop();

  // Completed reads and writes.
  std::uint64_t accessCount() const { return m_accesses.load(); }
  // Headers answered with a refusal code.
  std::uint64_t refusalCount() const { return m_refusals.load(); }
  // Connections closed before their request was complete.
  std::uint64_t droppedCount() const { return m_dropped.load(); }

 private:
  struct Connection;
  void serve();
  // Reads what the connection's stage still needs and acts on every completed stage.
  void receive(Connection& connection);
  void handleRequestPart(Connection& connection);
  void queueReply(Connection& connection, const std::uint8_t* bytes, std::size_t size, bool last);
  void flush(Connection& connection);
  void drop(Connection& connection, std::string detail);
  void report(const BoardAccess& access);

  ChipModel& m_chip;
  Options m_options;
  int m_listenFd = -1;
  int m_wakeFd = -1;
  std::uint16_t m_port = 0;
  std::thread m_thread;
  std::atomic<std::uint64_t> m_accesses{0};
  std::atomic<std::uint64_t> m_refusals{0};
  std::atomic<std::uint64_t> m_dropped{0};
  std::mutex m_stopMutex;
};

}  // namespace tonvisor
