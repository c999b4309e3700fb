#include "tools/script_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/recording_bridge.h"
#include "support/recording_messenger.h"
#include "support/write_log_text.h"
#include "tools/temp_files.h"

namespace tonvisor {
namespace {

using testing::LogLines;
using testing::RecordingBridge;
using testing::RecordingMessenger;
using testing::TempPath;
using testing::WriteFile;
using Lines = std::vector<std::string>;

WriteLog::Entry WriteEntry(std::uint16_t address, std::uint16_t value) {
  return {WriteLog::Entry::Kind::Write, "Write", address, value};
}

struct ScriptTest : ::testing::Test {
  ScriptRunResult run(const std::string& script) {
    return RunScriptFile(link, WriteFile("script.txt", script), {Owner::of(&owner), {}, {}});
  }
  // The texts shown; every message must carry the program's caption and the run's owner.
  Lines shown() const {
    for (const Message& m : messages.messages) {
      EXPECT_EQ(m.caption, kApplicationTitle) << m.text;
      EXPECT_EQ(m.owner, Owner::of(&owner)) << m.text;
    }
    return messages.texts();
  }

  RecordingBridge bridge;
  RecordingMessenger messages;
  DeviceLink link{bridge, messages};
  int owner = 0;
};

TEST(RenderLogEntry, WritesTheScriptFormsByteForByte) {
  EXPECT_EQ(RenderLogEntry(WriteEntry(0x0022, 0x1818), WriteForm::Address), "Write   0x0022    0x1818\n");
  EXPECT_EQ(RenderLogEntry(WriteEntry(0x0022, 0x1818), WriteForm::Name),
            "Write   \tCHIP_ANA_HP_CTRL_REG" + std::string(20, ' ') + "\t0x1818\n");
  EXPECT_EQ(RenderLogEntry(WriteEntry(0x013A, 0xabcd), WriteForm::Name),
            "Write   \tDAP_COEF_WR_A2_LSB_REG" + std::string(18, ' ') + "\t0xABCD\n");
  // An address without a name keeps the address form in name mode.
  EXPECT_EQ(RenderLogEntry(WriteEntry(0x000C, 0x0001), WriteForm::Name), "Write   0x000C    0x0001\n");
  EXPECT_EQ(RenderLogEntry(WriteEntry(0xFFFF, 0xFFFF), WriteForm::Name), "Write   0xFFFF    0xFFFF\n");
  // A comment is its text plus a line end, whatever else the entry holds.
  EXPECT_EQ(RenderLogEntry({WriteLog::Entry::Kind::Comment, "   \n", 0, 0}, WriteForm::Name), "   \n\n");
  EXPECT_EQ(RenderLogEntry({WriteLog::Entry::Kind::Comment, "Write", 0x22, 0x1818}, WriteForm::Address), "Write\n");
}

TEST_F(ScriptTest, RenderedLinesStartAtTheGivenIndexAndFollowAnEmptiedLog) {
  WriteLog& log = link.writeLog();
  log.appendWrite(0x0022, 1);
  RenderedLines lines;
  lines.render(log, 0, WriteForm::Name);
  log.appendWrite(0x0024, 2);
  // Asking for entry 5 onwards of a table that holds one text still renders entry 1.
  lines.render(log, 5, WriteForm::Address);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines.at(0).substr(0, 9), "Write   \t");
  EXPECT_EQ(lines.at(1), "Write   0x0024    0x0002\n");

  log.clear();
  lines.render(log, 0, WriteForm::Address);
  EXPECT_EQ(lines.size(), 0u);
}

TEST_F(ScriptTest, SavedScriptsRunBackToTheSameLogInBothForms) {
  // Comments and writes, one write to an address the map does not name, one by name, and two
  // comments in a row.
  run("# Configure DAC Volume\nWrite 0x0010 0x3D3D\n# Write Register \nWrite 0x000C 0x0102\n"
      "Write DAP_COEF_WR_A2_LSB_REG FFFF\n# first\n# second\nWrite 0x0000 0x0000\n");
  WriteLog& log = link.writeLog();
  const Lines original = LogLines(log);
  for (WriteForm form : {WriteForm::Address, WriteForm::Name}) {
    RenderedLines lines;
    lines.render(log, 0, form);
    ASSERT_TRUE(WriteScriptFile(TempPath("saved.txt"), lines));
    log.clear();
    const ScriptRunResult result = RunScriptFile(link, TempPath("saved.txt"), {});
    EXPECT_EQ(LogLines(log), original);
    EXPECT_EQ(result.writes, 4u);
    EXPECT_EQ(result.comments, 4u);
  }
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ScriptTest, SavingAnEmptyLogCreatesAnEmptyFileAndAnUnwritablePathFails) {
  RenderedLines lines;
  lines.render(link.writeLog(), 0, WriteForm::Address);
  const std::string path = WriteFile("old.txt", "something that was there before\n");
  ASSERT_TRUE(WriteScriptFile(path, lines));
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(testing::ReadFile(path), "");

  EXPECT_FALSE(WriteScriptFile(TempPath("no/such/folder/script.txt"), lines));
  EXPECT_FALSE(WriteScriptFile(testing::PrivateTempDir().string(), lines));
}

TEST_F(ScriptTest, TellsCommentsWritesAndIgnoredLinesApart) {
  const ScriptRunResult result = run(
      "Write 0x0024 0x1234 # a trailing note makes this a comment\n"
      "   \n"
      "\n"
      " Write 0x0024 0x0001\n"
      "WRITE 0x0024 0x0002\n"
      "writes\t0x0026\t0X00AB\n"
      "   # second comment\n"
      "Write   \tCHIP_ANA_HP_CTRL_REG     \t1818\n"
      "some other text\n"
      "Write 0X0028 0x0005\n"
      "#no line end");
  // 0X0028 is the hexadecimal address it reads as, like 0x0028.
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "Write 0x0024 0x1234 # a trailing note makes this a comment\n",
                                              "W 0026 00AB", "   \n", "   # second comment\n", "W 0022 1818",
                                              "W 0028 0005", "   \n", "#no line end"}));
  EXPECT_EQ(shown(), Lines{});
  EXPECT_EQ(result.lines, 11u);
  EXPECT_EQ(result.writes, 3u);
  EXPECT_EQ(result.comments, 3u);
}

// Mend: the value of a line naming a register the chip lacks went to register 0x0000 (and
// into the log). It is told as before, and nothing is written for it.
TEST_F(ScriptTest, AnUnknownRegisterNameIsToldAndWritesNothing) {
  const ScriptRunResult result = run("Write CHIP_NOPE_REG 0x1234\nWrite 0x0024 0x0001\nwrite chip_ana_ctrl_reg 5\n");
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 0001"}));
  EXPECT_EQ(bridge.callsTo("i2c 0x0A write").size(), 1u);
  EXPECT_EQ(shown(), Lines{"Invalid Register Name in the Script"});  // once per run
  EXPECT_EQ(result.writes, 1u);
  EXPECT_EQ(result.unknownRegisters, 2u);
  EXPECT_FALSE(result.allWentThrough());
}

TEST_F(ScriptTest, CommentsSeparatedOnlyByIgnoredLinesShareOneSeparator) {
  run("# one\n\n   \nnot a write\n# two\nWrite 0x0002 0x0001\n# three\n");
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "# one\n", "# two\n", "W 0002 0001", "   \n", "# three\n"}));
}

TEST_F(ScriptTest, EmptyFilesAndFilesOfIgnoredLinesDoNothing) {
  for (const char* script : {"", "\n\n", "   \n\nhello\r\n Write 0x0024 0x0001"}) EXPECT_TRUE(run(script).opened);
  EXPECT_EQ(link.writeLog().count(), 0u);
  EXPECT_TRUE(bridge.calls.empty());
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ScriptTest, LongLinesAreReadFourHundredNinetyNineCharactersAtATime) {
  // The first 499 characters hold no "#" and are ignored; the rest of the line is read as a
  // line of its own and runs.
  const std::string padding(499, '.');
  // A comment of exactly 499 characters: its line end is read as a line of its own.
  const std::string comment = "#" + std::string(498, 'c');
  // A register field far longer than any name.
  const std::string longName(300, 'N');
  run(padding + "Write 0x0024 0x0042\n" + comment + "\n" + "Write " + longName + " 0x0007\n");
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 0042", "   \n", comment}));
  EXPECT_EQ(messages.texts(), Lines{"Invalid Register Name in the Script"});
}

TEST_F(ScriptTest, WindowsLineEndsReadAsOneLineEnd) {
  run("# saved on Windows\r\n\r\nWrite 0x0024 0x0001\r\nWrite 0x0026 0x0002\r\n# stray\rcarriage\r\n");
  EXPECT_EQ(LogLines(link.writeLog()),
            (Lines{"   \n", "# saved on Windows\n", "W 0024 0001", "W 0026 0002", "   \n", "# stray\rcarriage\n"}));

  // A CR LF that lands on the 499-character boundary still counts as one character.
  link.writeLog().clear();
  run("#" + std::string(497, 'x') + "\r\nWrite 0x0024 0x0003\r\n");
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "#" + std::string(497, 'x') + "\n", "W 0024 0003"}));
}

TEST_F(ScriptTest, ScriptsOfAnyLengthRunToTheirEndOverTheChosenLink) {
  link.settings().connectionType = "SPI";
  std::string script;
  for (int i = 0; i < 2500; ++i) script += "Write 0x" + std::to_string(1000 + i) + " " + std::to_string(i) + "\n";
  EXPECT_EQ(run(script).writes, 2500u);
  EXPECT_EQ(bridge.callsTo("spi write").size(), 2500u);
  EXPECT_TRUE(bridge.callsTo("i2c ").empty());
  // The log keeps what it can hold and says once that it is full.
  EXPECT_EQ(link.writeLog().count(), WriteLog::kCapacity);
  EXPECT_EQ(messages.texts(), Lines{std::string(WriteLog::kFullMessage)});
}

TEST_F(ScriptTest, MalformedWriteLinesWriteNothingAndAreReportedOnceAfterTheRun) {
  const ScriptRunResult result = run(
      "# header\n"
      "Write 0x0024 0x0001\n"
      "Write CHIP_ANA_CTRL_REG\n"
      "Write\n"
      "write 0x0024 zz\n"
      "Write 0xZZ 0x0001\n"
      "Write 0x10024 0x0001\n"
      "Write 0x0024 0x10000\n"
      "Write NO_SUCH_REG -1\n"
      "# after\n"
      "Write 0x0026 0x0002\n");
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "# header\n", "W 0024 0001", "   \n", "# after\n", "W 0026 0002"}));
  EXPECT_EQ(result.skipped, 7u);
  EXPECT_EQ(result.firstSkippedLine, 3u);
  EXPECT_EQ(shown(), Lines{"Line 3 of the script was not run: \"Write CHIP_ANA_CTRL_REG\" needs a register and a "
                           "hexadecimal value. 7 such write lines were skipped; nothing was written for them."});
}

TEST_F(ScriptTest, AMissingFileIsReportedOnEveryLink) {
  for (const char* type : {"I2C", "SPI", "Ethernet"}) {
    link.settings().connectionType = type;
    EXPECT_FALSE(RunScriptFile(link, TempPath("missing.txt"), {Owner::of(&owner), {}, {}}).opened);
    EXPECT_FALSE(RunScriptFile(link, testing::PrivateTempDir().string(), {Owner::of(&owner), {}, {}}).opened);
  }
  EXPECT_EQ(shown(), Lines(6, "File Does Not Exist"));
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(ScriptTest, ProgressIsToldEachLineAndCanStopTheRun) {
  std::vector<std::size_t> seen;
  ScriptRunOptions options;
  options.progress = [&](std::size_t done) {
    seen.push_back(done);
    return done < 2;
  };
  const std::string path = WriteFile("progress.txt", "# a\nWrite 0x0024 0x0001\nWrite 0x0026 0x0002\nWrite\n");
  EXPECT_TRUE(RunScriptFile(link, path, options).cancelled);
  EXPECT_EQ(seen, (std::vector<std::size_t>{1, 2}));
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "# a\n", "W 0024 0001"}));
  EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
}  // namespace tonvisor
