#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "link/user_action.h"
#include "net_support.h"
#include "sim/board_server.h"
#include "sim/chip_model.h"
#include "support/write_log_text.h"

namespace tonvisor {
namespace {

using namespace std::chrono_literals;
using namespace testing;
using Peer = ScriptedServer::Peer;

// ---- against the board server -------------------------------------------------------------

TEST(EthernetAgainstBoard, SeveralClientsAtOnceEachGetTheirOwnAnswers) {
  ChipModel chip;
  BoardServer board(chip);
  ASSERT_FALSE(board.start());
  constexpr int kClients = 4;
  constexpr int kAccesses = 40;
  std::vector<int> good(kClients, 0);  // accesses whose value read back right, without a message
  std::vector<std::thread> threads;
  for (int c = 0; c < kClients; ++c) {
    threads.emplace_back([&, c] {
      EthernetClient client(board.port(), 3000ms);
      for (int i = 0; i < kAccesses; ++i) {
        good[c] += client.writeReadsBack(static_cast<std::uint16_t>(0x0100 * (c + 1) + i),
                                         static_cast<std::uint16_t>(0x1000 * c + i * 7));
      }
    });
  }
  for (auto& t : threads) t.join();

  EXPECT_EQ(good, std::vector<int>(kClients, kAccesses));
  EXPECT_EQ(board.accessCount(), static_cast<std::uint64_t>(kClients * kAccesses * 2));
}

// ---- against scripted boards --------------------------------------------------------------

TEST(EthernetWire, RequestsAreBigEndianOneAccessPerConnectionAndSplitRepliesAreReassembled) {
  ScriptedServer server(
      [](Peer& p) {
        p.expect(8);
        const bool write = p.received.size() == 8 && p.received[7] == 0x40;
        p.send({0, 0, 0, 0}, 5ms);
        p.expect(write ? 4 : 2);
        p.send(write ? Bytes{0, 0, 0, 0} : Bytes{0, 0, 0, 0, 0xBE, 0xEF}, 5ms);
      },
      4);
  EthernetClient client(server.port());

  EXPECT_TRUE(client.link->Write(0x0024, 0xABCD).ok());
  std::uint16_t value = 0;
  EXPECT_TRUE(client.read(0x0002, value));
  EXPECT_TRUE(client.link->Modify(0x0010, 0xFF0F, 0x0050).ok());

  EXPECT_EQ(value, 0xBEEF);
  const auto& connections = server.finished();
  ASSERT_EQ(connections.size(), 4u);
  EXPECT_EQ(Hex(connections[0].received), "46 50 47 41 00 00 1F 40 00 24 AB CD");
  EXPECT_EQ(Hex(connections[1].received), "46 50 47 41 00 00 1F 41 00 02");
  EXPECT_EQ(Hex(connections[2].received), "46 50 47 41 00 00 1F 41 00 10");
  EXPECT_EQ(Hex(connections[3].received), "46 50 47 41 00 00 1F 40 00 10 BE 5F");
  for (const Peer& c : connections) EXPECT_TRUE(c.clientClosed);
  EXPECT_EQ(LogLines(client.log()), (std::vector<std::string>{"W 0024 ABCD", "W 0010 BE5F"}));
  EXPECT_EQ(client.pauses, std::vector<Millis>(4, 20ms));  // after every access
  EXPECT_EQ(client.onlyMessage(), "");
}

enum class Access { Read, Write, Modify };

// Runs one access of register 0x0024 that must fail with the message, and checks that it
// left the value, the log and the pause alone.
void ExpectFailure(EthernetClient& client, Access access, const std::string& message) {
  AccessResult result;
  if (access == Access::Read) result = client.link->Read(0x0024);
  if (access == Access::Write) result = client.link->Write(0x0024, 0xABCD);
  if (access == Access::Modify) result = client.link->Modify(0x0024, 0xFF0F, 0x0050);
  // The dispatchers' status stays 0 over Ethernet; the result tells the truth.
  EXPECT_EQ(result.fault, AccessFault::BoardFailed);
  EXPECT_EQ(result.status, status::kOk);
  EXPECT_FALSE(result.value);
  EXPECT_EQ(client.onlyMessage(), message);
  EXPECT_EQ(client.log().count(), 0u);
  EXPECT_TRUE(client.pauses.empty());
}

// A board that refuses, closes or stops answering at each step: the client gives up within its
// time-out with that step's own text, sends nothing further and closes its end.
TEST(EthernetWire, AFailureAtEachStepShowsThatStepsTextWithoutHanging) {
  const Bytes ok{0, 0, 0, 0};
  struct Case {
    const char* board;
    Access access;
    Bytes headerReply;   // none: the board sends nothing more after the header
    Bytes requestReply;  // sent once the rest of the request came
    bool closes;         // the board closes after its replies instead of waiting
    std::size_t sent;    // bytes the client sent before it gave up
    const char* message;
  };
  const Case cases[] = {
      {"closes after the header", Access::Read, {}, {}, true, 8, "Getting Return Code Failed"},
      {"is silent after the header", Access::Write, {}, {}, false, 8, "Getting Return Code Falied"},
      {"refuses the header", Access::Read, {0, 0, 0, 1}, {}, false, 8, " Invalid Return Code"},
      {"refuses the header", Access::Write, {0, 0, 0, 1}, {}, false, 8, "Invalid Return Code"},
      // The modify's read fails, so no write may follow (it would show a second message).
      {"refuses the header", Access::Modify, {0, 0, 0, 1}, {}, false, 8, " Invalid Return Code"},
      {"is silent after the address", Access::Read, ok, {}, false, 10, "Getting Return Code Failed"},
      {"is silent after the value", Access::Write, ok, {}, false, 12, "Getting Return Code Falied"},
      {"refuses the address", Access::Read, ok, {0, 0, 0, 7}, false, 10, " Invalid Return Code"},
      {"refuses the value", Access::Write, ok, {0x80, 0, 0, 0}, false, 12, "Invalid Return Code"},
      {"sends no value", Access::Read, ok, ok, false, 10, "Receiving value Falied"},
      {"sends one byte of the value and closes", Access::Read, ok, {0, 0, 0, 0, 0x12}, true, 10,
       "Receiving value Falied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("access ") + std::to_string(static_cast<int>(c.access)) + ", board " + c.board);
    ScriptedServer server([&c](Peer& p) {
      p.expect(8);
      if (!c.headerReply.empty()) {
        p.send(c.headerReply);
        p.expect(c.access == Access::Write ? 4 : 2);
        p.send(c.requestReply);
      }
      if (c.closes) p.close();
    });
    EthernetClient client(server.port());
    ExpectFailure(client, c.access, c.message);
    const auto& connections = server.finished();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].received.size(), c.sent);
    // The board waits two seconds for the client to finish; a client that hung past its own
    // 300 ms time-out would not have closed by then.
    EXPECT_TRUE(c.closes || connections[0].clientClosed);
  }
}

// A board that takes the connection and then says nothing costs one time-out per user action:
// the action's further accesses are counted as failed at once instead of each waiting as long,
// and the user hears of it once. The next action asks the board again.
TEST(EthernetWire, ABoardThatWentSilentCostsOneTimeOutPerAction) {
  ScriptedServer server([](Peer& p) { p.expect(8); }, 2);
  EthernetClient client(server.port());
  {
    UserAction action(*client.link);
    const AccessResult first = client.link->Write(0x0024, 1);
    EXPECT_EQ(first.boardStep, BoardStep::ReturnCode);
    EXPECT_TRUE(first.timedOut);
    for (std::uint16_t address = 0x0026; address < 0x002E; address += 2) {
      EXPECT_EQ(client.link->Write(address, 1).fault, AccessFault::BoardUnreachable);
    }
    EXPECT_EQ(client.link->Read(0x0002).fault, AccessFault::BoardUnreachable);
    EXPECT_EQ(action.tally().failed, 6u);
    EXPECT_EQ(action.failureSummary(),
              "6 of 6 register accesses did not reach the chip. The first: the board at 127.0.0.1:" +
                  std::to_string(server.port()) +
                  " sent no return code during the write of register 0x0024 (no answer within the time-out).");
  }
  EXPECT_EQ(client.onlyMessage(), "Getting Return Code Falied");
  EXPECT_EQ(client.link->Write(0x0024, 2).fault, AccessFault::BoardFailed);
  EXPECT_EQ(server.finished().size(), 2u);
  EXPECT_EQ(client.log().count(), 0u);
}

// A refused connection costs nothing, so each access of the action still tries (the board may
// be back), but the user hears of it once.
TEST(EthernetWire, ARefusedBoardIsToldOncePerAction) {
  std::uint16_t deadPort = 0;
  const int dead = BindLoopback(deadPort);  // bound, never listening
  EthernetClient client(deadPort);
  {
    UserAction action(*client.link);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(client.link->Write(0x0024, 1).boardStep, BoardStep::Connect);
    EXPECT_EQ(action.tally().failed, 3u);
  }
  EXPECT_EQ(client.onlyMessage(), "Connecting to socket Failed");
  ::close(dead);
}

TEST(EthernetWire, NoListenerOrAnUnusableAddressOrPortFailsTheConnect) {
  std::uint16_t deadPort = 0;
  std::uint16_t port = 0;
  const int dead = BindLoopback(deadPort);  // bound, never listening
  // Listening, never answering: a connection that got through would fail later, with another text.
  const int listening = BindLoopback(port);
  ::listen(listening, 16);
  const std::pair<const char*, std::uint32_t> targets[] = {
      {"127.0.0.1", deadPort}, {"", port},          {"127.0.0", port},     {"localhost", port},
      {"127.0.0.1 ", port},    {"256.0.0.1", port}, {"127.0.0.1:30", port},
      {"127.0.0.1", 0x10000u + port},  // must not wrap around onto the listening port
  };
  for (const auto& [address, targetPort] : targets) {
    for (const Access access : {Access::Read, Access::Write}) {
      SCOPED_TRACE(std::string("\"") + address + "\" port " + std::to_string(targetPort));
      EthernetClient client(targetPort);
      client.settings().ethernetAddress = address;
      ExpectFailure(client, access, "Connecting to socket Failed");
    }
  }
  ::close(dead);
  ::close(listening);
}

// A signal that arrives while a connect waits (a timer, a child that ended, the debugger) does
// not stop the connection from being made: the socket waits for it instead of failing.
TEST(TcpSocket, AConnectInterruptedByASignalStillConnects) {
  struct sigaction interrupt {};
  interrupt.sa_handler = [](int) {};
  sigemptyset(&interrupt.sa_mask);
  interrupt.sa_flags = 0;  // no SA_RESTART: the blocked connect returns EINTR
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGUSR1, &interrupt, &previous), 0);

  // A listener whose queue is full drops new connection requests, so the next connect waits
  // for its request to be sent again, about a second later.
  std::uint16_t port = 0;
  const int listener = BindLoopback(port);
  ::listen(listener, 0);
  std::vector<int> queued;
  for (int i = 0; i < 4; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_in address = LoopbackAddress(port);
    ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    queued.push_back(fd);
  }

  const pthread_t connecting = ::pthread_self();
  std::thread helper([&] {
    std::this_thread::sleep_for(200ms);
    ::pthread_kill(connecting, SIGUSR1);
    std::this_thread::sleep_for(100ms);
    // Make room: the request sent again is then taken.
    for (;;) {
      pollfd p{listener, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) break;
      const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) break;
      queued.push_back(fd);
    }
  });
  TcpSocket socket;
  ASSERT_TRUE(socket.create());
  const bool connected = socket.connectTo("127.0.0.1", port, 5000ms);
  helper.join();
  EXPECT_TRUE(connected);
  EXPECT_FALSE(socket.timedOut());
  for (const int fd : queued) ::close(fd);
  ::close(listener);
  ::sigaction(SIGUSR1, &previous, nullptr);
}

// The window's Cancel: a wake descriptor made readable ends a wait on a board that took the
// connection and never answers, in every step, long before the step's time-out; without it
// the wait runs its whole time.
TEST(TcpSocket, AReadableWakeDescriptorEndsAWaitAtOnce) {
  std::uint16_t port = 0;
  const int silent = BindLoopback(port);
  ::listen(silent, 4);
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  TcpSocket socket;
  ASSERT_TRUE(socket.create());
  socket.setWakeDescriptor(wake);
  ASSERT_TRUE(socket.connectTo("127.0.0.1", port, 3000ms));
  std::uint8_t byte = 0;
  EXPECT_EQ(socket.receiveAll(&byte, 1, 200ms), 0u);
  EXPECT_TRUE(socket.timedOut());
  EXPECT_FALSE(socket.woken());

  std::thread cancel([wake] {
    std::this_thread::sleep_for(100ms);
    const std::uint64_t one = 1;
    EXPECT_EQ(::write(wake, &one, sizeof one), static_cast<ssize_t>(sizeof one));
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(socket.receiveAll(&byte, 1, 3000ms), 0u);
  cancel.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2000ms);
  EXPECT_TRUE(socket.woken());
  EXPECT_TRUE(socket.timedOut());  // the board is given up on, as after a time-out
  ::close(wake);
  ::close(silent);
}

}  // namespace
}  // namespace tonvisor
