#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/ethernet_transport.h"
#include "net_support.h"
#include "sim/board_server.h"
#include "sim/chip_model.h"
#include "support/recording_messenger.h"
#include "support/write_log_text.h"

namespace tonvisor {
namespace {

using namespace std::chrono_literals;
using testing::Hex;
using testing::LogLines;
using testing::RecordingMessenger;
using testing::ScriptedServer;
using Peer = testing::ScriptedServer::Peer;

// One Ethernet client as the program has it: its own log and messenger, a short time-out and
// a pause hook that counts instead of sleeping.
struct Client {
  explicit Client(std::uint16_t port, std::chrono::milliseconds timeout = 300ms) {
    settings.ethernetAddress = "127.0.0.1";
    settings.ethernetPort = port;
    EthernetOptions options;
    options.timeout = timeout;
    options.pause = [this](std::chrono::milliseconds length) { pauses.push_back(length); };
    transport = std::make_unique<EthernetTransport>(log, messages, settings, options);
  }

  // The only message shown, after checking that it is captioned and owned as the Ethernet
  // transport's messages are; empty when none was shown.
  std::string onlyMessage() const {
    if (messages.messages.empty()) return {};
    EXPECT_EQ(messages.messages.size(), 1u);
    const Message& m = messages.messages.front();
    EXPECT_EQ(m.caption, kApplicationTitle);
    EXPECT_EQ(m.owner, Owner::mainWindow());
    return m.text;
  }

  RecordingMessenger messages;
  WriteLog log{messages};
  LinkSettings settings;
  std::vector<std::chrono::milliseconds> pauses;
  std::unique_ptr<EthernetTransport> transport;
};

// ---- against the board server -------------------------------------------------------------

TEST(EthernetAgainstBoard, WriteThenReadBackLogsOnlyTheWriteAndPausesAfterEach) {
  ChipModel chip;
  BoardServer board(chip);
  ASSERT_FALSE(board.start());
  Client client(board.port());

  client.transport->EthernetWriteRegister(0x0024, 0xABCD);
  std::uint16_t value = 0;
  EXPECT_TRUE(client.transport->EthernetReadRegister(0x0024, &value));

  EXPECT_EQ(value, 0xABCD);
  EXPECT_EQ(chip.read(0x0024), 0xABCD);
  EXPECT_EQ(LogLines(client.log), std::vector<std::string>{"W 0024 ABCD"});
  EXPECT_EQ(client.pauses, (std::vector<std::chrono::milliseconds>{20ms, 20ms}));
  EXPECT_EQ(client.onlyMessage(), "");
  EXPECT_EQ(board.accessCount(), 2u);
}

TEST(EthernetAgainstBoard, ModifyReadsThenWritesTheMergedValueOnASecondConnection) {
  ChipModel chip;
  chip.write(0x0010, 0x1234);
  std::mutex mutex;
  std::vector<std::string> seen;
  BoardServer::Options options;
  options.onAccess = [&](const BoardAccess& a) {
    std::lock_guard lock(mutex);
    char line[40];
    std::snprintf(line, sizeof line, "%s %04X %04X", a.kind == BoardAccess::Kind::Read ? "read" : "write", a.address,
                  a.value);
    seen.emplace_back(line);
  };
  BoardServer board(chip, options);
  ASSERT_FALSE(board.start());
  Client client(board.port());

  client.transport->EthernetModifyRegister(0x0010, 0xFF0F, 0x0050);

  EXPECT_EQ(chip.read(0x0010), 0x1254);
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(seen, (std::vector<std::string>{"read 0010 1234", "write 0010 1254"}));
  }
  EXPECT_EQ(LogLines(client.log), std::vector<std::string>{"W 0010 1254"});
  EXPECT_EQ(client.pauses.size(), 2u);  // one after the read, one after the write
  EXPECT_EQ(client.onlyMessage(), "");
}

TEST(EthernetAgainstBoard, SeveralClientsAtOnceEachGetTheirOwnAnswers) {
  ChipModel chip;
  BoardServer board(chip);
  ASSERT_FALSE(board.start());
  constexpr int kClients = 4;
  constexpr int kAccesses = 40;
  std::vector<std::unique_ptr<Client>> clients;
  for (int c = 0; c < kClients; ++c) clients.push_back(std::make_unique<Client>(board.port(), 3000ms));
  std::vector<int> mismatches(kClients, 0);

  std::vector<std::thread> threads;
  for (int c = 0; c < kClients; ++c) {
    threads.emplace_back([&, c] {
      for (int i = 0; i < kAccesses; ++i) {
        const auto address = static_cast<std::uint16_t>(0x0100 * (c + 1) + i);
        const auto written = static_cast<std::uint16_t>(0x1000 * c + i * 7);
        clients[c]->transport->EthernetWriteRegister(address, written);
        std::uint16_t read = 0xFFFF;
        clients[c]->transport->EthernetReadRegister(address, &read);
        if (read != written) ++mismatches[c];
      }
    });
  }
  for (auto& t : threads) t.join();

  for (int c = 0; c < kClients; ++c) {
    EXPECT_EQ(mismatches[c], 0) << "client " << c;
    EXPECT_EQ(clients[c]->log.count(), static_cast<std::size_t>(kAccesses)) << "client " << c;
    EXPECT_EQ(clients[c]->onlyMessage(), "") << "client " << c;
  }
  EXPECT_EQ(board.accessCount(), static_cast<std::uint64_t>(kClients * kAccesses * 2));
}

// ---- against scripted boards --------------------------------------------------------------

TEST(EthernetWire, AWriteSendsHeaderAddressAndValueInBigEndianOrder) {
  ScriptedServer server([](Peer& peer) {
    peer.expect(8);
    peer.send({0, 0, 0, 0});
    peer.expect(4);
    peer.send({0, 0, 0, 0});
  });
  Client client(server.port());

  client.transport->EthernetWriteRegister(0x0024, 0xABCD);

  const auto connections = server.finished();
  ASSERT_EQ(connections.size(), 1u);
  EXPECT_EQ(Hex(connections[0].received), "46 50 47 41 00 00 1F 40 00 24 AB CD");
  EXPECT_TRUE(connections[0].clientClosed);
  EXPECT_EQ(LogLines(client.log), std::vector<std::string>{"W 0024 ABCD"});
  EXPECT_EQ(client.pauses.size(), 1u);
  EXPECT_EQ(client.onlyMessage(), "");
}

TEST(EthernetWire, AReadSendsHeaderAndAddressAndTakesTheValueAfterTheSecondCode) {
  ScriptedServer server([](Peer& peer) {
    peer.expect(8);
    peer.send({0, 0, 0, 0});
    peer.expect(2);
    peer.send({0, 0, 0, 0});
    peer.send({0x12, 0x34});
  });
  Client client(server.port());

  std::uint16_t value = 0;
  EXPECT_TRUE(client.transport->EthernetReadRegister(0x0002, &value));

  EXPECT_EQ(value, 0x1234);
  const auto connections = server.finished();
  ASSERT_EQ(connections.size(), 1u);
  EXPECT_EQ(Hex(connections[0].received), "46 50 47 41 00 00 1F 41 00 02");
  EXPECT_TRUE(connections[0].clientClosed);
  EXPECT_EQ(client.log.count(), 0u);
  EXPECT_EQ(client.pauses.size(), 1u);
}

TEST(EthernetWire, CodesAndValueSplitAcrossSegmentsAreReassembled) {
  ScriptedServer server([](Peer& peer) {
    peer.expect(8);
    peer.send({0});
    peer.wait(15ms);
    peer.send({0, 0});
    peer.wait(15ms);
    peer.send({0});
    peer.expect(2);
    peer.send({0, 0, 0});
    peer.wait(15ms);
    peer.send({0, 0xBE});
    peer.wait(15ms);
    peer.send({0xEF});
  });
  Client client(server.port());

  std::uint16_t value = 0;
  EXPECT_TRUE(client.transport->EthernetReadRegister(0x0002, &value));

  EXPECT_EQ(value, 0xBEEF);
  EXPECT_EQ(client.onlyMessage(), "");
}

TEST(EthernetWire, ARefusalAfterTheHeaderEndsTheAccessWithNothingLogged) {
  ScriptedServer server([](Peer& peer) {
    peer.expect(8);
    peer.send({0, 0, 0, 1});
  });

  Client writer(server.port());
  writer.transport->EthernetWriteRegister(0x0024, 0xABCD);
  EXPECT_EQ(writer.onlyMessage(), "Invalid Return Code");
  EXPECT_EQ(writer.log.count(), 0u);
  EXPECT_TRUE(writer.pauses.empty());

  Client reader(server.port());
  std::uint16_t value = 0x5A5A;
  EXPECT_FALSE(reader.transport->EthernetReadRegister(0x0002, &value));
  EXPECT_EQ(reader.onlyMessage(), " Invalid Return Code");
  EXPECT_EQ(value, 0x5A5A);
  EXPECT_TRUE(reader.pauses.empty());

  // Both clients stopped after the header and closed the connection.
  const auto connections = server.finished(2);
  ASSERT_EQ(connections.size(), 2u);
  for (const auto& c : connections) {
    EXPECT_EQ(c.received.size(), 8u);
    EXPECT_TRUE(c.clientClosed);
  }
}

TEST(EthernetWire, ABoardThatClosesAfterTheHeaderGivesTheStepsOwnText) {
  ScriptedServer server([](Peer& peer) {
    peer.expect(8);
    peer.close();
  });

  Client reader(server.port());
  std::uint16_t value = 0x5A5A;
  EXPECT_FALSE(reader.transport->EthernetReadRegister(0x0002, &value));
  EXPECT_EQ(reader.onlyMessage(), "Getting Return Code Failed");
  EXPECT_EQ(value, 0x5A5A);

  Client writer(server.port());
  writer.transport->EthernetWriteRegister(0x0024, 0xABCD);
  EXPECT_EQ(writer.onlyMessage(), "Getting Return Code Falied");
  EXPECT_EQ(writer.log.count(), 0u);
  EXPECT_TRUE(writer.pauses.empty());
}

// A board that stops answering at each later step: the client gives up after its time-out
// with that step's message, and leaves log, value and pause alone.
TEST(EthernetWire, SilenceOrCloseAtEachLaterStepFailsThatStepWithoutHanging) {
  struct Case {
    const char* name;
    bool isWrite;
    ScriptedServer::Script script;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"silent after the header", false, [](Peer& p) { p.expect(8); }, "Getting Return Code Failed"},
      {"silent after the header", true, [](Peer& p) { p.expect(8); }, "Getting Return Code Falied"},
      {"silent after the value", true,
       [](Peer& p) {
         p.expect(8);
         p.send({0, 0, 0, 0});
         p.expect(4);
       },
       "Getting Return Code Falied"},
      {"silent after the address", false,
       [](Peer& p) {
         p.expect(8);
         p.send({0, 0, 0, 0});
         p.expect(2);
       },
       "Getting Return Code Failed"},
      {"refuses the address", false,
       [](Peer& p) {
         p.expect(8);
         p.send({0, 0, 0, 0});
         p.expect(2);
         p.send({0, 0, 0, 7});
       },
       " Invalid Return Code"},
      {"refuses the value", true,
       [](Peer& p) {
         p.expect(8);
         p.send({0, 0, 0, 0});
         p.expect(4);
         p.send({0x80, 0, 0, 0});
       },
       "Invalid Return Code"},
      {"silent instead of the value", false,
       [](Peer& p) {
         p.expect(8);
         p.send({0, 0, 0, 0});
         p.expect(2);
         p.send({0, 0, 0, 0});
       },
       "Receiving value Falied"},
      {"one byte of the value, then closes", false,
       [](Peer& p) {
         p.expect(8);
         p.send({0, 0, 0, 0});
         p.expect(2);
         p.send({0, 0, 0, 0, 0x12});
         p.close();
       },
       "Receiving value Falied"},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.isWrite ? "write, board " : "read, board ") + c.name);
    ScriptedServer server(c.script);
    Client client(server.port());
    std::uint16_t value = 0x5A5A;
    const auto start = testing::SteadyClock::now();
    if (c.isWrite) {
      client.transport->EthernetWriteRegister(0x0024, 0xABCD);
    } else {
      EXPECT_FALSE(client.transport->EthernetReadRegister(0x0002, &value));
    }
    EXPECT_LT(testing::Since(start), 2000ms);
    EXPECT_EQ(client.onlyMessage(), c.message);
    EXPECT_EQ(value, 0x5A5A);
    EXPECT_EQ(client.log.count(), 0u);
    EXPECT_TRUE(client.pauses.empty());
    const auto connections = server.finished();
    ASSERT_EQ(connections.size(), 1u);
    // Where the board did not close first, the client must have closed its end.
    if (std::string(c.name).find("closes") == std::string::npos) {
      EXPECT_TRUE(connections[0].clientClosed);
    }
  }
}

TEST(EthernetWire, AModifyWhoseReadFailsMakesNoWriteConnection) {
  ScriptedServer server([](Peer& peer) {
    peer.expect(8);
    peer.send({0, 0, 0, 1});
  });
  Client client(server.port());

  client.transport->EthernetModifyRegister(0x0010, 0xFFEF, 0x0010);

  EXPECT_EQ(client.onlyMessage(), " Invalid Return Code");
  EXPECT_EQ(client.log.count(), 0u);
  EXPECT_TRUE(client.pauses.empty());
  // Give a stray second connection time to show up before counting.
  std::this_thread::sleep_for(100ms);
  const auto connections = server.finished(2, 0ms);
  ASSERT_EQ(connections.size(), 1u);
  EXPECT_EQ(Hex(connections[0].received), "46 50 47 41 00 00 1F 41");
}

TEST(EthernetWire, NoBoardListeningFailsTheConnectForReadAndWrite) {
  testing::DeadPort dead;
  Client client(dead.port());

  client.transport->EthernetWriteRegister(0x0024, 0xABCD);
  EXPECT_EQ(client.onlyMessage(), "Connecting to socket Failed");
  client.messages.clear();

  std::uint16_t value = 0x5A5A;
  EXPECT_FALSE(client.transport->EthernetReadRegister(0x0002, &value));
  EXPECT_EQ(client.onlyMessage(), "Connecting to socket Failed");
  EXPECT_EQ(value, 0x5A5A);
  EXPECT_EQ(client.log.count(), 0u);
  EXPECT_TRUE(client.pauses.empty());
}

TEST(EthernetWire, AnAddressThatIsNotDottedIpv4OrAPortBeyond16BitsFailsTheConnect) {
  ScriptedServer server([](Peer& peer) { peer.close(); });
  for (const char* address : {"", "127.0.0", "localhost", "127.0.0.1 ", "256.0.0.1", "127.0.0.1:30"}) {
    SCOPED_TRACE(std::string("address \"") + address + "\"");
    Client client(server.port());
    client.settings.ethernetAddress = address;
    client.transport->EthernetWriteRegister(0x0024, 0xABCD);
    EXPECT_EQ(client.onlyMessage(), "Connecting to socket Failed");
  }
  // 65536 + port must not wrap around onto the listening port.
  Client client(server.port());
  client.settings.ethernetPort = 0x10000u + server.port();
  std::uint16_t value = 0;
  EXPECT_FALSE(client.transport->EthernetReadRegister(0x0002, &value));
  EXPECT_EQ(client.onlyMessage(), "Connecting to socket Failed");

  EXPECT_TRUE(server.finished(1, 100ms).empty());
}

}  // namespace
}  // namespace tonvisor
