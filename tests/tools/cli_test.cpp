#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli_runner.h"
#include "command_line.h"
#include "sim/board_server.h"

namespace tonvisor {
namespace {

using Args = std::vector<std::string>;

struct Outcome {
  int code = -1;
  std::string out;
  std::string err;
};

std::string TempPath(const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return (std::filesystem::path(::testing::TempDir()) /
          (std::string("cli.") + info->test_suite_name() + "." + info->name() + "." + name))
      .string();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string WriteFile(const std::string& name, const std::string& bytes) {
  const std::string path = TempPath(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string Padded(const std::string& name) { return name + std::string(40 - name.size(), ' '); }

struct CliTest : ::testing::Test {
  ChipModel chip;

  Outcome run(const Args& args, EthernetOptions ethernet = {}) {
    std::ostringstream out;
    std::ostringstream err;
    cli::Environment environment{&chip, std::move(ethernet)};
    const int code = cli::RunCli(args, out, err, environment);
    return {code, out.str(), err.str()};
  }
};

TEST_F(CliTest, UsageErrorsAreFoundBeforeAnythingIsDone) {
  const std::vector<Args> wrong = {
      {},
      {"--simulate", "frobnicate"},
      {"--simulate", "read"},
      {"--simulate", "write", "24"},
      {"--simulate", "write", "24", "10000"},
      {"--simulate", "write", "24", "0x"},
      {"--simulate", "write", "24", "12g4"},
      {"--simulate", "read", "CHIP_NOPE_REG"},
      {"--simulate", "read", "chip_ana_ctrl_reg"},
      {"--simulate", "dump", "extra"},
      {"--simulate", "-c", "write 24 1", "-c", "modify 24 FFFF"},
      {"--simulate", "-c", "write 24 1", "op", "NoSuchOperation"},
      {"--simulate", "-c", "write 24 1", "op", "ConfigureDacVolume", "loud"},
      {"--simulate", "-c", "write '24 1", "read", "24"},
      {"--simulate", "-c", "", "read", "24"},
      {"--link", "ethernet", "--host", "127.0.0.1", "--port", "x", "read", "24"},
      {"--link", "ethernet", "--host", "127.0.0.1", "--port", "65536", "read", "24"},
      {"--link", "ethernet", "--host", "1.2.3", "read", "24"},
      {"--link", "usb", "read", "24"},
      {"--i2c-address", "80", "read", "24"},
      {"--simulate=yes", "read", "24"},
      {"--bogus", "read", "24"},
      {"--names", "read", "24"},
      {"read", "24", "--save-log"},
      {"--save-log"},
  };
  for (const Args& args : wrong) {
    const Outcome outcome = run(args);
    std::string shown;
    for (const std::string& a : args) shown += "[" + a + "]";
    EXPECT_EQ(outcome.code, cli::kExitUsage) << shown;
    EXPECT_EQ(outcome.out, "") << shown;
    EXPECT_TRUE(outcome.err.starts_with("tonvisor-cli: ")) << shown << outcome.err;
    EXPECT_NE(outcome.err.find("Usage: tonvisor-cli"), std::string::npos) << shown;
  }
  EXPECT_EQ(chip.writeCount(), 0u);
}

TEST_F(CliTest, HelpGoesToStandardOutputWithTheOperations) {
  const Outcome outcome = run({"--help"});
  EXPECT_EQ(outcome.code, cli::kExitOk);
  EXPECT_EQ(outcome.err, "");
  EXPECT_TRUE(outcome.out.starts_with("Usage: tonvisor-cli"));
  EXPECT_NE(outcome.out.find("  ConfigureDacVolume DB\n"), std::string::npos);
  EXPECT_NE(outcome.out.find("  LoadPeqPreset NAME\n"), std::string::npos);
}

TEST_F(CliTest, ReadsWritesAndModifiesOverSimulatedI2cAndSavesTheLog) {
  const std::string path = TempPath("log.txt");
  const Outcome outcome = run({"--simulate", "--save-log", path, "-c", "write 0x24 1234", "-c",
                               "read CHIP_ANA_CTRL_REG", "-c", "modify 24 FF0F 0x0050", "read", "0X0024"});
  EXPECT_EQ(outcome.code, cli::kExitOk);
  EXPECT_EQ(outcome.out, "0x1234\n0x1254\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(chip.read(0x0024), 0x1254);
  EXPECT_EQ(ReadFile(path), "Write   0x0024    0x1234\nWrite   0x0024    0x1254\n");

  const Outcome named = run({"--simulate", "--save-log=" + path, "--names", "-c", "write CHIP_ANA_HP_CTRL_REG 1818",
                             "-c", "write c 1"});
  EXPECT_EQ(named.code, cli::kExitOk);
  EXPECT_EQ(ReadFile(path), "Write   \t" + Padded("CHIP_ANA_HP_CTRL_REG") + "\t0x1818\nWrite   0x000C    0x0001\n");
}

TEST_F(CliTest, SpiWritesButCannotReadOrModify) {
  const Outcome write = run({"--simulate", "--link", "SPI", "write", "24", "abcd"});
  EXPECT_EQ(write.code, cli::kExitOk);
  EXPECT_EQ(chip.read(0x0024), 0xABCD);

  // The failing read ends the run: the write after it is not made.
  const Outcome read = run({"--simulate", "--link", "spi", "-c", "read 24", "-c", "write 26 1"});
  EXPECT_EQ(read.code, cli::kExitFailure);
  EXPECT_EQ(read.out, "");
  EXPECT_EQ(read.err, "Error:  Read Register Not Supported\n");
  EXPECT_EQ(chip.read(0x0026), 0);

  const Outcome modify = run({"--simulate", "--link", "spi", "modify", "24", "FFFE", "1"});
  EXPECT_EQ(modify.code, cli::kExitFailure);
  EXPECT_EQ(modify.err, "Error:  Modify Register Not Supported\n");
  EXPECT_EQ(chip.read(0x0024), 0xABCD);
}

TEST_F(CliTest, ConnectFailuresStopBeforeTheCommands) {
  const std::string path = TempPath("never.txt");
  const Outcome i2c = run({"--save-log", path, "write", "24", "1"});
  EXPECT_EQ(i2c.code, cli::kExitFailure);
  EXPECT_TRUE(i2c.err.starts_with("Tonvisor: I2C Initialization Error\n")) << i2c.err;
  EXPECT_FALSE(std::filesystem::exists(path));

  const Outcome spi = run({"--link", "spi", "write", "24", "1"});
  EXPECT_EQ(spi.code, cli::kExitFailure);
  EXPECT_TRUE(spi.err.starts_with("Tonvisor: SPI Initialization Error\n")) << spi.err;

  EXPECT_EQ(run({"--link", "ethernet", "read", "24"}).err, "Tonvisor:  Invalid IP Address \n");
  EXPECT_EQ(run({"--link", "ethernet", "--host", "0.0.0.0", "read", "24"}).err, "Tonvisor:  Invalid IP Address \n");
  const Outcome port = run({"--link", "ethernet", "--host", "127.0.0.1", "--port", "0", "read", "24"});
  EXPECT_EQ(port.code, cli::kExitFailure);
  EXPECT_EQ(port.err, "Tonvisor:  Invalid Socket \n");
}

TEST_F(CliTest, AFailedI2cAccessIsReportedWithItsStatus) {
  // Nothing answers at device address 1A; the write attempt is still in the saved log.
  const std::string path = TempPath("log.txt");
  const Outcome outcome = run({"--simulate", "--i2c-address", "1A", "--save-log", path, "-c", "write 24 1", "-c",
                               "read 24"});
  EXPECT_EQ(outcome.code, cli::kExitFailure);
  EXPECT_EQ(outcome.err, "tonvisor-cli: \"write 24 1\" failed with status 102\n");
  EXPECT_EQ(ReadFile(path), "Write   0x0024    0x0001\n");

  EXPECT_EQ(run({"--simulate", "--i2c-address", "0x1a", "read", "24"}).err,
            "tonvisor-cli: \"read 24\" failed with status 101\n");
}

TEST_F(CliTest, RunsCodecOperationsByName) {
  chip.write(0x0022, 0x1818);
  const Outcome outcome = run({"--simulate", "-c", "op ConfigureDacVolume -0.5017", "-c", "op WriteHpMute 1", "op",
                               "LoadPeqPreset", "Rock"});
  EXPECT_EQ(outcome.code, cli::kExitOk) << outcome.err;
  EXPECT_EQ(chip.read(0x0010), 0x3D3D);
  EXPECT_EQ(chip.read(0x0022), 0x7F7F);
  EXPECT_EQ(chip.read(0x0024) & 0x0010, 0x0010);
  EXPECT_EQ(chip.read(0x013A), 0x0007);  // Rock band 6: A2 0xFA2B / 0x7
  EXPECT_EQ(chip.read(0x0138), 0xFA2B);
  EXPECT_EQ(chip.read(0x010C), 0x0106);
}

TEST_F(CliTest, RunsScriptsAndStopsWhenOneIsMissing) {
  const std::string script = WriteFile("script.txt", "# set up\nWrite CHIP_ANA_CTRL_REG 0x0133\nWrite 0x0030 4260\n");
  const std::string log = TempPath("log.txt");
  const Outcome outcome = run({"--simulate", "--save-log", log, "run", script});
  EXPECT_EQ(outcome.code, cli::kExitOk) << outcome.err;
  EXPECT_EQ(chip.read(0x0024), 0x0133);
  EXPECT_EQ(chip.read(0x0030), 0x4260);
  EXPECT_EQ(ReadFile(log), "   \n\n# set up\n\nWrite   0x0024    0x0133\nWrite   0x0030    0x4260\n");

  const Outcome missing = run({"--simulate", "-c", "run " + TempPath("missing.txt"), "-c", "write 26 1"});
  EXPECT_EQ(missing.code, cli::kExitFailure);
  EXPECT_EQ(missing.err, "Tonvisor: File Does Not Exist\n");
  EXPECT_EQ(chip.read(0x0026), 0);

  // A script that runs but shows a message (an unknown name) also fails the run.
  const std::string bad = WriteFile("bad.txt", "Write NO_SUCH_REG 1\n");
  const Outcome unknown = run({"--simulate", "run", bad});
  EXPECT_EQ(unknown.code, cli::kExitFailure);
  EXPECT_EQ(unknown.err, "Tonvisor: Invalid Register Name in the Script\n");
}

TEST_F(CliTest, DumpsEveryNamedRegisterAligned) {
  chip.write(0x0022, 0x1818);
  chip.write(0x013A, 0xBEEF);
  const Outcome outcome = run({"--simulate", "dump"});
  EXPECT_EQ(outcome.code, cli::kExitOk);
  std::vector<std::string> lines;
  std::istringstream in(outcome.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 53u);
  EXPECT_EQ(lines.front(), "CHIP_ID_REG                    0x0000  0x0000");
  EXPECT_EQ(lines[11], "CHIP_ANA_HP_CTRL_REG           0x0022  0x1818");
  EXPECT_EQ(lines.back(), "DAP_COEF_WR_A2_LSB_REG         0x013A  0xBEEF");

  const Outcome spi = run({"--simulate", "--link", "spi", "dump"});
  EXPECT_EQ(spi.code, cli::kExitFailure);
  EXPECT_EQ(spi.out, "");
  EXPECT_EQ(spi.err, "Error:  Read Register Not Supported\n");
}

TEST_F(CliTest, ALogThatCannotBeSavedFailsTheRun) {
  const Outcome outcome = run({"--simulate", "--save-log", TempPath("no/such/dir/log.txt"), "write", "24", "1"});
  EXPECT_EQ(outcome.code, cli::kExitFailure);
  EXPECT_EQ(outcome.err, "Tonvisor:  Error Creating File\n");
  EXPECT_EQ(chip.read(0x0024), 1);
}

TEST_F(CliTest, ABoardThatNeverAnswersCostsOnlyTheTimeOut) {
  // A listening socket that nobody serves: the connection is made, the answer never comes.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

  EthernetOptions quick;
  quick.timeout = std::chrono::milliseconds(200);
  const auto started = std::chrono::steady_clock::now();
  const Outcome outcome = run(
      {"--link", "ethernet", "--host", "127.0.0.1", "--port", std::to_string(ntohs(address.sin_port)), "dump"}, quick);
  const auto took = std::chrono::steady_clock::now() - started;
  ::close(listener);
  EXPECT_EQ(outcome.code, cli::kExitFailure);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "Tonvisor: Getting Return Code Failed\n");
  // One read waited out its time-out; the dump did not go on through the other 52.
  EXPECT_LT(took, std::chrono::seconds(3));
}

// The real program, started as a user would start it.
struct CliProgram : ::testing::Test {
  static std::string quoted(const std::string& word) {
    std::string text = "'";
    for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
  }

  Outcome start(const Args& args) {
    std::string line = quoted(TONVISOR_CLI_PATH);
    for (const std::string& a : args) line += " " + quoted(a);
    const std::string out = TempPath("stdout");
    const std::string err = TempPath("stderr");
    line += " >" + quoted(out) + " 2>" + quoted(err) + " </dev/null";
    const int raw = std::system(line.c_str());
    Outcome outcome;
    outcome.code = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = ReadFile(out);
    outcome.err = ReadFile(err);
    return outcome;
  }
};

TEST_F(CliProgram, RunsAgainstTheSimulatedChip) {
  const std::string log = TempPath("log.txt");
  const Outcome outcome = start({"--simulate", "--save-log", log, "--names", "-c", "write 24 1234", "-c",
                                 "op WriteAdcMute 0", "read", "CHIP_ANA_CTRL_REG"});
  EXPECT_EQ(outcome.code, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "0x1234\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(ReadFile(log), "Write   \t" + Padded("CHIP_ANA_CTRL_REG") + "\t0x1234\n" +
                               "   \n\n# Writing ADC Mute/ Unmute\n\n" + "Write   \t" + Padded("CHIP_ANA_CTRL_REG") +
                               "\t0x1234\n");

  const Outcome spi = start({"--simulate", "--link", "spi", "read", "24"});
  EXPECT_EQ(spi.code, 1);
  EXPECT_EQ(spi.out, "");
  EXPECT_EQ(spi.err, "Error:  Read Register Not Supported\n");
}

TEST_F(CliProgram, ExitsTwoOnUsageErrorsAndZeroOnHelp) {
  const Outcome wrong = start({"--simulate", "write", "24"});
  EXPECT_EQ(wrong.code, 2);
  EXPECT_EQ(wrong.out, "");
  EXPECT_NE(wrong.err.find("Usage: tonvisor-cli"), std::string::npos);

  const Outcome help = start({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: tonvisor-cli"));
  EXPECT_EQ(help.err, "");
}

TEST_F(CliProgram, TalksToABoardOverEthernet) {
  ChipModel boardChip;
  BoardServer board(boardChip);
  ASSERT_FALSE(board.start());
  const std::string port = std::to_string(board.port());
  boardChip.write(0x0022, 0x1818);

  const std::string log = TempPath("log.txt");
  const Outcome outcome = start({"--link", "ethernet", "--host", "127.0.0.1", "--port", port, "--save-log", log, "-c",
                                 "modify CHIP_ANA_HP_CTRL_REG FF00 0042", "-c", "write 24 0x0101", "-c", "read 22",
                                 "read", "24"});
  EXPECT_EQ(outcome.code, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "0x1842\n0x0101\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(boardChip.read(0x0022), 0x1842);
  EXPECT_EQ(ReadFile(log), "Write   0x0022    0x1842\nWrite   0x0024    0x0101\n");

  board.stop();
  const Outcome gone = start({"--link", "ethernet", "--host", "127.0.0.1", "--port", port, "write", "24", "1"});
  EXPECT_EQ(gone.code, 1);
  EXPECT_EQ(gone.err, "Tonvisor: Connecting to socket Failed\n");
}

}  // namespace
}  // namespace tonvisor
