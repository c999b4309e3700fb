#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/ethernet_transport.h"
#include "net_support.h"
#include "sim/board_server.h"
#include "sim/chip_model.h"
#include "support/recording_messenger.h"

namespace tonvisor {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::ConnectLoopback;
using testing::Hex;
using testing::ReadUntilClosed;
using testing::SendBytes;

// Sends one request as raw bytes on a fresh connection and returns all the board answered,
// noting whether it closed the connection afterwards.
testing::ReadResult Exchange(std::uint16_t port, const Bytes& request) {
  const int fd = ConnectLoopback(port);
  EXPECT_GE(fd, 0);
  EXPECT_TRUE(SendBytes(fd, request));
  testing::ReadResult result = ReadUntilClosed(fd, 2000ms);
  ::close(fd);
  return result;
}

// One good write through the real client, which must not be held up by anyone else.
bool ClientWriteReadBack(std::uint16_t port, std::uint16_t address, std::uint16_t value) {
  testing::RecordingMessenger messages;
  WriteLog log(messages);
  LinkSettings settings;
  settings.ethernetAddress = "127.0.0.1";
  settings.ethernetPort = port;
  EthernetOptions options;
  options.timeout = 1000ms;
  options.pause = [](std::chrono::milliseconds) {};
  EthernetTransport transport(log, messages, settings, options);
  transport.EthernetWriteRegister(address, value);
  std::uint16_t read = static_cast<std::uint16_t>(~value);
  return transport.EthernetReadRegister(address, &read) && read == value && messages.messages.empty();
}

TEST(BoardServer, RefusesAWrongMagicOrAnUnknownCommandWithItsCodeAndCloses) {
  ChipModel chip;
  std::mutex mutex;
  std::vector<BoardAccess> refusals;
  BoardServer::Options options;
  options.onAccess = [&](const BoardAccess& a) {
    std::lock_guard lock(mutex);
    if (a.kind == BoardAccess::Kind::Refused) refusals.push_back(a);
  };
  BoardServer board(chip, options);
  ASSERT_FALSE(board.start());

  // The address and value that follow must not be taken as a write, nor turn the close into
  // a reset (which makes some clients throw away the code before they read it).
  auto r = Exchange(board.port(), {0x46, 0x50, 0x47, 0x42, 0x00, 0x00, 0x1F, 0x40, 0x00, 0x24, 0xAB, 0xCD});
  EXPECT_EQ(Hex(r.bytes), "00 00 00 01");
  EXPECT_TRUE(r.closed);
  EXPECT_FALSE(r.reset);
  r = Exchange(board.port(), {0x46, 0x50, 0x47, 0x41, 0x00, 0x00, 0x1F, 0x42, 0x00, 0x24});
  EXPECT_EQ(Hex(r.bytes), "00 00 00 02");
  EXPECT_TRUE(r.closed);
  r = Exchange(board.port(), {0x46, 0x50, 0x47, 0x41, 0x00, 0x01, 0x1F, 0x40});
  EXPECT_EQ(Hex(r.bytes), "00 00 00 02");
  EXPECT_TRUE(r.closed);

  EXPECT_EQ(chip.writeCount(), 0u);
  EXPECT_EQ(board.accessCount(), 0u);
  EXPECT_EQ(board.refusalCount(), 3u);
  std::lock_guard lock(mutex);
  ASSERT_EQ(refusals.size(), 3u);
  EXPECT_EQ(refusals[1].command, 8002u);
  EXPECT_EQ(refusals[2].command, 0x00011F40u);
}

TEST(BoardServer, TakesARequestWhetherItArrivesInOnePieceOrByteByByte) {
  ChipModel chip;
  chip.write(0x0002, 0xA011);
  BoardServer board(chip);
  ASSERT_FALSE(board.start());

  // A whole write in one send: the board must not wait for more after the header.
  auto r = Exchange(board.port(), {0x46, 0x50, 0x47, 0x41, 0x00, 0x00, 0x1F, 0x40, 0x00, 0x24, 0xAB, 0xCD});
  EXPECT_EQ(Hex(r.bytes), "00 00 00 00 00 00 00 00");
  EXPECT_TRUE(r.closed);
  EXPECT_EQ(chip.read(0x0024), 0xABCD);

  // A read dribbled one byte at a time.
  const int fd = ConnectLoopback(board.port());
  ASSERT_GE(fd, 0);
  for (const std::uint8_t b : Bytes{0x46, 0x50, 0x47, 0x41, 0x00, 0x00, 0x1F, 0x41, 0x00, 0x02}) {
    ASSERT_TRUE(SendBytes(fd, {b}));
    std::this_thread::sleep_for(2ms);
  }
  r = ReadUntilClosed(fd, 2000ms);
  ::close(fd);
  EXPECT_EQ(Hex(r.bytes), "00 00 00 00 00 00 00 00 A0 11");
  EXPECT_TRUE(r.closed);
  EXPECT_EQ(board.accessCount(), 2u);
}

TEST(BoardServer, KeepsServingWhileClientsVanishResetOrGoSilent) {
  ChipModel chip;
  BoardServer::Options options;
  options.timeout = 1000ms;
  BoardServer board(chip, options);
  ASSERT_FALSE(board.start());

  // Connects and leaves without a word.
  ::close(ConnectLoopback(board.port()));
  // Sends a whole read request and leaves at once, so the board's answers meet a closed and
  // then reset socket (a send without MSG_NOSIGNAL would kill this whole test program).
  for (int i = 0; i < 10; ++i) {
    const int fd = ConnectLoopback(board.port());
    SendBytes(fd, {0x46, 0x50, 0x47, 0x41, 0x00, 0x00, 0x1F, 0x41, 0x00, 0x02});
    ::close(fd);
  }
  // Sends a header and resets the connection.
  for (int i = 0; i < 10; ++i) {
    const int fd = ConnectLoopback(board.port());
    SendBytes(fd, {0x46, 0x50, 0x47, 0x41, 0x00, 0x00, 0x1F, 0x40});
    linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
  }
  // Half a header, then silence.
  const int silent = ConnectLoopback(board.port());
  ASSERT_TRUE(SendBytes(silent, {0x46, 0x50, 0x47, 0x41}));

  const auto start = testing::SteadyClock::now();
  EXPECT_TRUE(ClientWriteReadBack(board.port(), 0x0030, 0x1357));
  EXPECT_LT(testing::Since(start), 500ms) << "a silent client held up the others";

  // The silent one is closed once its time-out has passed, with nothing sent to it.
  const auto silentResult = ReadUntilClosed(silent, 3000ms);
  ::close(silent);
  EXPECT_TRUE(silentResult.closed);
  EXPECT_TRUE(silentResult.bytes.empty());
  EXPECT_GE(board.droppedCount(), 2u);
  EXPECT_TRUE(ClientWriteReadBack(board.port(), 0x0031, 0x2468));
}

TEST(BoardServer, StopReturnsPromptlyWithClientsConnectedAndClosesThem) {
  ChipModel chip;
  BoardServer board(chip);  // the 3-second time-out must not delay the stop
  ASSERT_FALSE(board.start());
  const int idle = ConnectLoopback(board.port());
  const int halfHeader = ConnectLoopback(board.port());
  SendBytes(halfHeader, {0x46, 0x50});
  const int midWrite = ConnectLoopback(board.port());
  SendBytes(midWrite, {0x46, 0x50, 0x47, 0x41, 0x00, 0x00, 0x1F, 0x40});
  ASSERT_EQ(Hex(ReadUntilClosed(midWrite, 2000ms, 4).bytes), "00 00 00 00");

  const auto start = testing::SteadyClock::now();
  board.stop();
  EXPECT_LT(testing::Since(start), 500ms);

  for (const int fd : {idle, halfHeader, midWrite}) {
    EXPECT_TRUE(ReadUntilClosed(fd, 1000ms).closed);
    ::close(fd);
  }
  EXPECT_EQ(chip.writeCount(), 0u);
  board.stop();  // a second stop is harmless
}

TEST(BoardServer, StartReportsAnUnusablePortOrAddress) {
  ChipModel chip;
  BoardServer first(chip);
  ASSERT_FALSE(first.start());
  EXPECT_EQ(first.start(), std::errc::invalid_argument);  // already serving

  BoardServer::Options sameAddress;
  sameAddress.port = first.port();
  BoardServer second(chip, sameAddress);
  EXPECT_EQ(second.start(), std::errc::address_in_use);

  BoardServer::Options badAddress;
  badAddress.address = "localhost";
  BoardServer third(chip, badAddress);
  EXPECT_EQ(third.start(), std::errc::invalid_argument);

  // The first one is unaffected by the others' failures.
  EXPECT_TRUE(ClientWriteReadBack(first.port(), 0x0004, 0x0F0F));
}

}  // namespace
}  // namespace tonvisor
