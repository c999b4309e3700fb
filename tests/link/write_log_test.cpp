#include <gtest/gtest.h>

#include <string>

#include "link/write_log.h"
#include "support/recording_messenger.h"

namespace tonvisor {
namespace {

using testing::RecordingMessenger;

TEST(WriteLog, KeepsEntriesInOrderAndOwnsCommentCopies) {
  RecordingMessenger messages;
  WriteLog log(messages);
  {
    std::string fromScript = "# read from a file\n";
    log.appendComment(fromScript);
    fromScript.assign("overwritten");
  }
  log.appendWrite(0x0024, 0x1234);
  log.appendComment("Write");  // a comment that reads "Write" is still a comment
  ASSERT_EQ(log.count(), 3u);
  EXPECT_EQ(log.entry(0).text, "# read from a file\n");
  EXPECT_FALSE(log.entry(0).isWrite());
  EXPECT_TRUE(log.entry(1).isWrite());
  EXPECT_EQ(log.entry(1).text, "Write");
  EXPECT_EQ(log.entry(1).address, 0x0024);
  EXPECT_EQ(log.entry(1).value, 0x1234);
  EXPECT_FALSE(log.entry(2).isWrite());
}

TEST(WriteLog, AFullLogRefusesEntriesAndSaysSoOnceUntilEmptied) {
  RecordingMessenger messages;
  WriteLog log(messages);
  for (std::size_t i = 0; i < WriteLog::kCapacity; ++i) ASSERT_TRUE(log.appendWrite(0x0010, static_cast<std::uint16_t>(i)));
  EXPECT_TRUE(messages.messages.empty());
  EXPECT_FALSE(log.appendWrite(0x0010, 0xFFFF));
  EXPECT_FALSE(log.appendComment("# one more\n"));
  EXPECT_EQ(log.count(), WriteLog::kCapacity);
  EXPECT_EQ(log.entry(WriteLog::kCapacity - 1).value, WriteLog::kCapacity - 1);  // nothing overwritten
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text, WriteLog::kFullMessage);

  const auto generation = log.generation();
  log.clear();
  EXPECT_EQ(log.count(), 0u);
  EXPECT_EQ(log.generation(), generation + 1);
  for (std::size_t i = 0; i <= WriteLog::kCapacity; ++i) log.appendWrite(0, 0);
  EXPECT_EQ(messages.messages.size(), 2u);  // told again after the log was emptied and filled
}

TEST(WriteLog, TellsItsListenerAboutEveryChange) {
  RecordingMessenger messages;
  WriteLog log(messages);
  int changes = 0;
  log.setChangeListener([&] { ++changes; });
  log.appendComment("   \n");
  log.appendWrite(1, 2);
  log.clear();
  EXPECT_EQ(changes, 3);
}

}  // namespace
}  // namespace tonvisor
