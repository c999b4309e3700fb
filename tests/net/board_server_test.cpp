#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net_support.h"
#include "sim/board_server.h"
#include "sim/chip_model.h"

namespace tonvisor {
namespace {

using namespace std::chrono_literals;
using namespace testing;

TEST(BoardServer, AnswersWholeOrDribbledRequestsAndRefusesABadHeaderWithItsCodeAndCloses) {
  ChipModel chip;
  chip.write(0x0002, 0xA011);
  std::vector<std::uint32_t> refusedCommands;
  BoardServer::Options options;
  options.onAccess = [&](const BoardAccess& a) {
    if (a.kind == BoardAccess::Kind::Refused) refusedCommands.push_back(a.command);
  };
  BoardServer board(chip, options);
  ASSERT_FALSE(board.start());

  struct Case {
    const char* what;
    Bytes request;
    Millis gap;  // between single bytes; 0: the request in one send
    const char* reply;
  };
  const Case cases[] = {
      // The address and value after a bad header must not be taken as a write, nor turn the
      // close into a reset (which makes some clients throw away the code before they read it).
      {"wrong magic", {0x46, 0x50, 0x47, 0x42, 0x00, 0x00, 0x1F, 0x40, 0x00, 0x24, 0xAB, 0xCD}, 0ms, "00 00 00 01"},
      {"unknown command", {0x46, 0x50, 0x47, 0x41, 0x00, 0x00, 0x1F, 0x42, 0x00, 0x24}, 0ms, "00 00 00 02"},
      {"command above 16 bits", {0x46, 0x50, 0x47, 0x41, 0x00, 0x01, 0x1F, 0x40}, 0ms, "00 00 00 02"},
      // The board must not wait for more after the header of a write sent whole.
      {"whole write", {0x46, 0x50, 0x47, 0x41, 0x00, 0x00, 0x1F, 0x40, 0x00, 0x24, 0xAB, 0xCD}, 0ms,
       "00 00 00 00 00 00 00 00"},
      {"dribbled read", {0x46, 0x50, 0x47, 0x41, 0x00, 0x00, 0x1F, 0x41, 0x00, 0x02}, 2ms,
       "00 00 00 00 00 00 00 00 A0 11"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int fd = ConnectLoopback(board.port());
    EXPECT_TRUE(SendBytes(fd, c.request, c.gap));
    const auto r = ReadUntilClosed(fd, 2000ms);
    ::close(fd);
    EXPECT_EQ(Hex(r.bytes), c.reply);
    EXPECT_TRUE(r.closed && !r.reset);
  }

  board.stop();  // joins the server's thread, so the hook's record is complete
  EXPECT_EQ(chip.read(0x0024), 0xABCD);
  EXPECT_EQ(chip.writeCount(), 2u);  // the preset and the one good write
  EXPECT_EQ(board.accessCount(), 2u);
  EXPECT_EQ(board.refusalCount(), 3u);
  EXPECT_EQ(refusedCommands, (std::vector<std::uint32_t>{0x1F40, 8002, 0x00011F40}));
}

TEST(BoardServer, KeepsServingWhileClientsVanishResetOrGoSilent) {
  ChipModel chip;
  BoardServer::Options options;
  options.timeout = 1000ms;
  BoardServer board(chip, options);
  ASSERT_FALSE(board.start());

  ::close(ConnectLoopback(board.port()));  // connects and leaves without a word
  for (int i = 0; i < 10; ++i) {
    // A whole read request, then gone at once, so the board's answers meet a closed and then
    // reset socket (a send without MSG_NOSIGNAL would kill this whole test program).
    int fd = ConnectLoopback(board.port());
    SendBytes(fd, {0x46, 0x50, 0x47, 0x41, 0x00, 0x00, 0x1F, 0x41, 0x00, 0x02});
    ::close(fd);
    // A header, then a reset.
    fd = ConnectLoopback(board.port());
    SendBytes(fd, {0x46, 0x50, 0x47, 0x41, 0x00, 0x00, 0x1F, 0x40});
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
  }
  const int silent = ConnectLoopback(board.port());  // half a header, then silence
  ASSERT_TRUE(SendBytes(silent, {0x46, 0x50, 0x47, 0x41}));

  // Had the silent client held up the others, this client's steps would wait out its 300 ms
  // time-out long before the board dropped the silent one after 1000 ms.
  EXPECT_TRUE(EthernetClient(board.port(), 300ms).writeReadsBack(0x0030, 0x1357)) << "a silent client held up the others";

  // The silent one is closed once its time-out has passed, with nothing sent to it.
  const auto silentResult = ReadUntilClosed(silent, 3000ms);
  ::close(silent);
  EXPECT_TRUE(silentResult.closed);
  EXPECT_TRUE(silentResult.bytes.empty());
  EXPECT_GE(board.droppedCount(), 2u);
  EXPECT_TRUE(EthernetClient(board.port(), 1000ms).writeReadsBack(0x0031, 0x2468));
}

TEST(BoardServer, StartRefusesASecondStartOrAnUnusableAddressAndStopClosesEveryClientPromptly) {
  ChipModel chip;
  BoardServer::Options patient;
  patient.timeout = 600s;  // a stop that waited for the clients' time-outs would hang the test
  BoardServer board(chip, patient);
  ASSERT_FALSE(board.start());
  EXPECT_EQ(board.start(), std::errc::invalid_argument);  // already serving
  BoardServer::Options options;
  options.port = board.port();
  EXPECT_EQ(BoardServer(chip, options).start(), std::errc::address_in_use);
  options.address = "localhost";
  EXPECT_EQ(BoardServer(chip, options).start(), std::errc::invalid_argument);

  // The first one is unaffected by the others' failures.
  const int idle = ConnectLoopback(board.port());
  const int halfHeader = ConnectLoopback(board.port());
  SendBytes(halfHeader, {0x46, 0x50});
  const int midWrite = ConnectLoopback(board.port());
  SendBytes(midWrite, {0x46, 0x50, 0x47, 0x41, 0x00, 0x00, 0x1F, 0x40});
  ASSERT_EQ(Hex(ReadUntilClosed(midWrite, 2000ms, 4).bytes), "00 00 00 00");

  board.stop();
  for (const int fd : {idle, halfHeader, midWrite}) {
    EXPECT_TRUE(ReadUntilClosed(fd, 1000ms).closed);
    ::close(fd);
  }
}  // the destructor stops a second time, which must be harmless

}  // namespace
}  // namespace tonvisor
