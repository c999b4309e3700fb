#include "tools/script_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "sim/simulated_bridge.h"
#include "support/recording_bridge.h"
#include "support/recording_messenger.h"
#include "support/write_log_text.h"

namespace tonvisor {
namespace {

using testing::LogLines;
using testing::RecordingBridge;
using testing::RecordingMessenger;
using Lines = std::vector<std::string>;

std::string TempPath(const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return (std::filesystem::path(::testing::TempDir()) /
          (std::string(info->test_suite_name()) + "." + info->name() + "." + name))
      .string();
}

std::string WriteFile(const std::string& name, const std::string& bytes) {
  const std::string path = TempPath(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

WriteLog::Entry WriteEntry(std::uint16_t address, std::uint16_t value) {
  return {WriteLog::Entry::Kind::Write, "Write", address, value};
}

struct ScriptTest : ::testing::Test {
  RecordingBridge bridge;
  RecordingMessenger messages;
  DeviceLink link{bridge, messages};
  int owner = 0;

  ScriptRunResult run(const std::string& script) {
    return RunScriptFile(link, WriteFile("script.txt", script), {Owner::of(&owner), {}});
  }
};

TEST(RenderLogEntry, WritesTheScriptFormsByteForByte) {
  EXPECT_EQ(RenderLogEntry(WriteEntry(0x0022, 0x1818), WriteForm::Address), "Write   0x0022    0x1818\n");
  EXPECT_EQ(RenderLogEntry(WriteEntry(0x0022, 0x1818), WriteForm::Name),
            "Write   \tCHIP_ANA_HP_CTRL_REG" + std::string(20, ' ') + "\t0x1818\n");
  EXPECT_EQ(RenderLogEntry(WriteEntry(0x013A, 0xabcd), WriteForm::Name),
            "Write   \tDAP_COEF_WR_A2_LSB_REG" + std::string(18, ' ') + "\t0xABCD\n");

  const WriteLog::Entry separator{WriteLog::Entry::Kind::Comment, "   \n", 0, 0};
  const WriteLog::Entry lookalike{WriteLog::Entry::Kind::Comment, "Write", 0x22, 0x1818};
  EXPECT_EQ(RenderLogEntry(separator, WriteForm::Name), "   \n\n");
  EXPECT_EQ(RenderLogEntry(lookalike, WriteForm::Address), "Write\n");
}

TEST(RenderLogEntry, AnAddressWithoutANameKeepsTheAddressFormInNameMode) {
  EXPECT_EQ(RenderLogEntry(WriteEntry(0x000C, 0x0001), WriteForm::Name), "Write   0x000C    0x0001\n");
  EXPECT_EQ(RenderLogEntry(WriteEntry(0xFFFF, 0xFFFF), WriteForm::Name), "Write   0xFFFF    0xFFFF\n");
}

TEST(RenderedLines, RendersFromTheGivenIndexAndFollowsAnEmptiedLog) {
  RecordingMessenger messages;
  WriteLog log(messages);
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
  // A log as the operations leave it: separator, comment, writes; one write to an address the
  // map does not name; and two comments in a row.
  WriteLog& log = link.writeLog();
  log.appendComment("   \n");
  log.appendComment("# Configure DAC Volume\n");
  link.WriteRegister(0x0010, 0x3D3D);
  log.appendComment("   \n");
  log.appendComment("# Write Register \n");
  link.WriteRegister(0x000C, 0x0102);
  link.WriteRegister(0x013A, 0xFFFF);
  log.appendComment("   \n");
  log.appendComment("# first\n");
  log.appendComment("# second\n");
  link.WriteRegister(0x0000, 0x0000);
  const Lines original = LogLines(log);

  for (WriteForm form : {WriteForm::Address, WriteForm::Name}) {
    RenderedLines lines;
    lines.render(log, 0, form);
    const std::string path = TempPath(form == WriteForm::Name ? "names.txt" : "addresses.txt");
    ASSERT_TRUE(WriteScriptFile(path, lines));

    RecordingBridge freshBridge;
    RecordingMessenger freshMessages;
    DeviceLink fresh(freshBridge, freshMessages);
    const ScriptRunResult result = RunScriptFile(fresh, path, {});
    EXPECT_EQ(LogLines(fresh.writeLog()), original);
    EXPECT_TRUE(freshMessages.messages.empty());
    EXPECT_EQ(result.writes, 4u);
    EXPECT_EQ(result.comments, 4u);
  }
}

TEST_F(ScriptTest, SavingAnEmptyLogCreatesAnEmptyFileAndAnUnwritablePathFails) {
  RenderedLines lines;
  lines.render(link.writeLog(), 0, WriteForm::Address);
  const std::string path = WriteFile("old.txt", "something that was there before\n");
  ASSERT_TRUE(WriteScriptFile(path, lines));
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(ReadFile(path), "");

  EXPECT_FALSE(WriteScriptFile(TempPath("no/such/folder/script.txt"), lines));
  EXPECT_FALSE(WriteScriptFile(::testing::TempDir(), lines));
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
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "Write 0x0024 0x1234 # a trailing note makes this a comment\n",
                                              "W 0026 00AB", "   \n", "   # second comment\n", "W 0022 1818",
                                              "W 0000 0005", "   \n", "#no line end"}));
  // 0X is not an address prefix: the field is looked up as a name.
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text, "Invalid Register Name in the Script");
  EXPECT_EQ(messages.messages[0].caption, kApplicationTitle);
  EXPECT_EQ(messages.messages[0].owner, Owner::of(&owner));
  EXPECT_EQ(result.lines, 11u);
  EXPECT_EQ(result.writes, 3u);
  EXPECT_EQ(result.comments, 3u);
}

TEST_F(ScriptTest, CommentsSeparatedOnlyByIgnoredLinesShareOneSeparator) {
  run("# one\n\n   \nnot a write\n# two\nWrite 0x0002 0x0001\n# three\n");
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "# one\n", "# two\n", "W 0002 0001", "   \n", "# three\n"}));
}

TEST_F(ScriptTest, EmptyFilesAndFilesOfIgnoredLinesDoNothing) {
  for (const char* script : {"", "\n\n", "   \n\nhello\r\n Write 0x0024 0x0001"}) {
    const ScriptRunResult result = run(script);
    EXPECT_TRUE(result.opened);
    EXPECT_EQ(result.writes, 0u);
  }
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
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 0042", "   \n", comment, "W 0000 0007"}));
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

TEST_F(ScriptTest, ScriptsOfAnyLengthRunToTheirEnd) {
  ChipModel chip;
  SimulatedBridge simulated(chip);
  RecordingMessenger simulatedMessages;
  DeviceLink simulatedLink(simulated, simulatedMessages);
  ASSERT_EQ(simulatedLink.i2c().I2cOpen(0x0A), status::kOk);
  std::string script;
  for (int i = 0; i < 2500; ++i) script += "Write 0x" + std::to_string(1000 + i) + " " + std::to_string(i) + "\n";
  const ScriptRunResult result = RunScriptFile(simulatedLink, WriteFile("long.txt", script), {});
  EXPECT_EQ(result.writes, 2500u);
  EXPECT_EQ(chip.writeCount(), 2500u);
  EXPECT_EQ(chip.read(0x3499), 0x2499);
  // The log keeps what it can hold and says once that it is full.
  EXPECT_EQ(simulatedLink.writeLog().count(), WriteLog::kCapacity);
  EXPECT_EQ(simulatedMessages.texts(), Lines{std::string(WriteLog::kFullMessage)});
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
  EXPECT_EQ(bridge.callsTo("i2c.write").size(), 2u);
  EXPECT_EQ(result.skipped, 7u);
  EXPECT_EQ(result.firstSkippedLine, 3u);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text,
            "Line 3 of the script was not run: \"Write CHIP_ANA_CTRL_REG\" needs a register and a hexadecimal value. "
            "7 such write lines were skipped; nothing was written for them.");
  EXPECT_EQ(messages.messages[0].caption, kApplicationTitle);
  EXPECT_EQ(messages.messages[0].owner, Owner::of(&owner));
}

TEST_F(ScriptTest, AMissingFileIsReportedOnEveryLink) {
  for (const char* type : {"I2C", "SPI", "Ethernet"}) {
    link.settings().connectionType = type;
    EXPECT_FALSE(RunScriptFile(link, TempPath("missing.txt"), {Owner::none(), {}}).opened);
    EXPECT_FALSE(RunScriptFile(link, ::testing::TempDir(), {Owner::none(), {}}).opened);
  }
  ASSERT_EQ(messages.messages.size(), 6u);
  for (const Message& m : messages.messages) {
    EXPECT_EQ(m.text, "File Does Not Exist");
    EXPECT_EQ(m.caption, kApplicationTitle);
    EXPECT_EQ(m.owner, Owner::none());
  }
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(ScriptTest, RunsOverSpiThroughTheSpiTransport) {
  link.settings().connectionType = "SPI";
  run("Write 0x0024 0x1234\nWrite BAD_NAME 0x1\n");
  EXPECT_EQ(bridge.callsTo("spi.write").size(), 2u);
  EXPECT_TRUE(bridge.callsTo("i2c.").empty());
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 1234", "W 0000 0001"}));
  EXPECT_EQ(messages.texts(), Lines{"Invalid Register Name in the Script"});
}

TEST_F(ScriptTest, ProgressIsToldEachLineAndCanStopTheRun) {
  std::vector<std::size_t> seen;
  ScriptRunOptions options;
  options.progress = [&](std::size_t done) {
    seen.push_back(done);
    return done < 2;
  };
  const std::string path = WriteFile("progress.txt", "# a\nWrite 0x0024 0x0001\nWrite 0x0026 0x0002\nWrite\n");
  const ScriptRunResult result = RunScriptFile(link, path, options);
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(seen, (std::vector<std::size_t>{1, 2}));
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "# a\n", "W 0024 0001"}));
  EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
}  // namespace tonvisor
