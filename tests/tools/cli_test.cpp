#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <sstream>

#include <mutex>

#include "cli_runner.h"
#include "codec/peq_design.h"
#include "command_line.h"
#include "sim/board_server.h"
#include "tonvisor/version.h"
#include "sim/mpsse_emulator.h"
#include "tools/temp_files.h"

namespace tonvisor {
namespace {

using testing::FreshPath;
using testing::ReadFile;
using testing::TempPath;
using testing::WriteFile;
using Args = std::vector<std::string>;

struct Outcome {
  int code = -1;
  std::string out;
  std::string err;
};

struct CliTest : ::testing::Test {
  ChipModel chip;
  EmulatedUsb usb;  // no bridge plugged in unless a test attaches one

  Outcome run(const Args& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = cli::RunCli(args, out, err, cli::Environment{&chip, {}, &usb});
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
      {"--i2c-clock", "200", "read", "24"},
      {"--i2c-clock", "100k", "read", "24"},
      {"--device", "", "read", "24"},
      {"--simulate", "--device", "0", "read", "24"},
      {"-c", "read 24", "devices"},
      {"devices", "all"},
  };
  for (const Args& args : wrong) {
    const Outcome outcome = run(args);
    const std::string shown = ::testing::PrintToString(args);
    EXPECT_EQ(outcome.code, cli::kExitUsage) << shown;
    EXPECT_EQ(outcome.out, "") << shown;
    EXPECT_TRUE(outcome.err.starts_with("tonvisor-cli: ")) << shown << outcome.err;
    // One line saying what was wrong and where to look; the whole usage only when nothing was given.
    if (args.empty()) {
      EXPECT_NE(outcome.err.find("\n\nUsage: tonvisor-cli"), std::string::npos) << outcome.err;
    } else {
      EXPECT_TRUE(outcome.err.ends_with("\nTry 'tonvisor-cli --help'.\n")) << shown << outcome.err;
      EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 2) << shown << outcome.err;
    }
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

TEST_F(CliTest, VersionIsPrintedAloneAndNothingElseIsDone) {
  const std::string expected = std::string("tonvisor-cli ") + kVersion + "\n";
  // With --version the commands are neither checked nor run.
  const Args withCommands = {"--simulate", "--version", "-c", "write 24 1", "op", "Bogus", "1"};
  for (const Args& args : {Args{"--version"}, withCommands}) {
    const Outcome outcome = run(args);
    EXPECT_EQ(outcome.code, cli::kExitOk) << ::testing::PrintToString(args);
    EXPECT_EQ(outcome.out, expected);
    EXPECT_EQ(outcome.err, "");
  }
  EXPECT_EQ(chip.writeCount(), 0u);
  EXPECT_EQ(run({"--version=2"}).code, cli::kExitUsage);
}

TEST_F(CliTest, ReadsWritesAndModifiesOverSimulatedI2cAndSavesTheLog) {
  const std::string path = FreshPath("log.txt");
  const Outcome outcome = run({"--simulate", "--save-log", path, "-c", "write 0x24 1234", "-c",
                               "read CHIP_ANA_CTRL_REG", "-c", "modify 24 FF0F 0x0050", "read", "0X0024"});
  EXPECT_EQ(outcome.code, cli::kExitOk);
  EXPECT_EQ(outcome.out, "0x1234\n0x1254\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(ReadFile(path), "Write   0x0024    0x1234\nWrite   0x0024    0x1254\n");

  const Outcome named = run({"--simulate", "--save-log=" + path, "--names", "-c", "write CHIP_ANA_HP_CTRL_REG 1818",
                             "-c", "write c 1"});
  EXPECT_EQ(named.code, cli::kExitOk);
  EXPECT_EQ(ReadFile(path),
            "Write   \tCHIP_ANA_HP_CTRL_REG" + std::string(20, ' ') + "\t0x1818\nWrite   0x000C    0x0001\n");
}

TEST_F(CliTest, SpiWritesButAModifyFailsAndEndsTheRun) {
  EXPECT_EQ(run({"--simulate", "--link", "SPI", "write", "24", "abcd"}).code, cli::kExitOk);
  EXPECT_EQ(chip.read(0x0024), 0xABCD);

  const Outcome modify = run({"--simulate", "--link", "spi", "-c", "modify 24 FFFE 1", "write", "26", "1"});
  EXPECT_EQ(modify.code, cli::kExitFailure);
  EXPECT_EQ(modify.err,
            "Error:  Modify Register Not Supported\n"
            "tonvisor-cli: \"modify 24 FFFE 1\": SPI cannot read-modify-write register 0x0024 (it can only write).\n");
  EXPECT_EQ(chip.read(0x0026), 0);
}

TEST_F(CliTest, ConnectFailuresStopBeforeTheCommands) {
  const std::string path = FreshPath("never.txt");
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
  // The port is read as the panel reads it: blanks around the digits and leading zeros are fine.
  EXPECT_EQ(run({"--link", "ethernet", "--host", "127.0.0.1", "--port", " 000 ", "read", "24"}).err,
            "Tonvisor:  Invalid Socket \n");
}

TEST_F(CliTest, AFailedI2cAccessIsReportedInWords) {
  // Nothing answers at device address 1A; the write attempt is still in the saved log.
  const std::string path = FreshPath("log.txt");
  const Outcome outcome = run({"--simulate", "--i2c-address", "1A", "--save-log", path, "-c", "write 24 1", "-c",
                               "read 24"});
  EXPECT_EQ(outcome.code, cli::kExitFailure);
  EXPECT_EQ(outcome.err,
            "tonvisor-cli: \"write 24 1\": No chip answering at I2C address 0x1A for the write of register 0x0024.\n");
  EXPECT_EQ(ReadFile(path), "Write   0x0024    0x0001\n");
}

// At an address where no chip answers, nothing reaches a chip: every command that made
// accesses says how many failed and why, and the run exits 1.
TEST_F(CliTest, AccessesThatNoChipTookAreCountedAndExitOne) {
  const std::string script = WriteFile("init.txt",
                                       "# bring-up\nWrite CHIP_ANA_POWER_REG 0x4260\n\nWrite 0x0004 0x0008\n"
                                       "write 0x0006 0x0080\n");
  const std::pair<Args, std::string> failed[] = {
      {{"--i2c-address", "0x1a", "read", "24"},
       "tonvisor-cli: \"read 24\": No chip answering at I2C address 0x1A for the read of register 0x0024.\n"},
      {{"--i2c-address", "1a", "op", "WriteAdcMute", "1"},
       "tonvisor-cli: \"op WriteAdcMute 1\": No chip answering at I2C address 0x1A for the read-modify-write of "
       "register 0x0024.\n"},
      {{"--i2c-address", "1B", "run", script},
       "Tonvisor: 3 of 3 register writes of the script did not reach the chip. The first, line 2 \"Write "
       "CHIP_ANA_POWER_REG 0x4260\": no chip answering at I2C address 0x1B for the write of register 0x0030.\n"},
      {{"--i2c-address", "1B", "op", "LoadPeqPreset", "Rock"},
       "tonvisor-cli: \"op LoadPeqPreset Rock\": 77 of 77 register accesses did not reach the chip. The first: "
       "no chip answering at I2C address 0x1B for the write of register 0x0110.\n"},
      {{"--i2c-address", "1B", "op", "WriteHpMute", "1"},
       "tonvisor-cli: \"op WriteHpMute 1\": 3 of 3 register accesses did not reach the chip. The first: no "
       "chip answering at I2C address 0x1B for the read of register 0x0022.\n"},
  };
  for (auto [args, err] : failed) {
    args.insert(args.begin(), "--simulate");
    const Outcome outcome = run(args);
    EXPECT_EQ(outcome.code, cli::kExitFailure) << err;
    EXPECT_EQ(outcome.err, err);
  }
  EXPECT_EQ(chip.writeCount(), 0u);
}

TEST_F(CliTest, RunsCodecOperationsByNameWithNegativeArguments) {
  const Outcome outcome = run({"--simulate", "-c", "op WriteHpMute 1", "op", "ConfigureDacVolume", "-0.5017"});
  EXPECT_EQ(outcome.code, cli::kExitOk) << outcome.err;
  EXPECT_EQ(chip.read(0x0024) & 0x0010, 0x0010);
  EXPECT_EQ(chip.read(0x0010), 0x3D3D);
}

// A number past its field would wrap into it as another code (128 into the 7-bit headphone
// volume is its loudest code): refused before anything is sent, with the range, exit 2.
TEST_F(CliTest, ArgumentsOutsideTheirRangeAreUsageErrorsAndWriteNothing) {
  const std::pair<Args, std::string> refused[] = {
      {{"-c", "write CHIP_ANA_HP_CTRL_REG 7F7F", "op", "RampHpVolume", "128"},
       "\"op RampHpVolume 128\": RampHpVolume: TARGET 128 is outside its range (0 to 127)"},
      {{"op", "ConfigurePllDivisor", "40", "0"},
       "\"op ConfigurePllDivisor 40 0\": ConfigurePllDivisor: INTEGER 40 is outside its range (0 to 31)"},
      {{"-c", "write 24 1", "op", "ConfigureDacVolume", "-100"},
       "\"op ConfigureDacVolume -100\": ConfigureDacVolume: -100 dB is outside the DAC's range (0 to -95.8 dB)"},
      {{"op", "ConfigureDacVolume", "-98.4"},
       "\"op ConfigureDacVolume -98.4\": ConfigureDacVolume: -98.4 dB is outside the DAC's range (0 to -95.8 dB)"},
      {{"op", "ConfigureDacVolume", "40"},
       "\"op ConfigureDacVolume 40\": ConfigureDacVolume: 40 dB is outside the DAC's range (0 to -95.8 dB)"},
  };
  for (auto [args, reason] : refused) {
    args.insert(args.begin(), "--simulate");
    const Outcome outcome = run(args);
    EXPECT_EQ(outcome.code, cli::kExitUsage) << reason;
    EXPECT_EQ(outcome.err, "tonvisor-cli: " + reason + "\nTry 'tonvisor-cli --help'.\n");
  }
  EXPECT_EQ(chip.writeCount(), 0u);

  const std::pair<const char*, std::uint16_t> inRange[] = {{"0", 0x3C3C}, {"-0.5", 0x3C3C}, {"-95.8247", 0xFBFB}};
  for (const auto& [dB, value] : inRange) {
    chip.write(0x0010, 0x0000);
    EXPECT_EQ(run({"--simulate", "op", "ConfigureDacVolume", dB}).code, cli::kExitOk) << dB;
    EXPECT_EQ(chip.read(0x0010), value) << dB;
  }
}

TEST_F(CliTest, RunsScriptsAndStopsAtAMissingOneOrAMessage) {
  EXPECT_EQ(run({"--simulate", "run", WriteFile("script.txt", "# set up\nWrite 0x0030 4260\n")}).code, cli::kExitOk);
  EXPECT_EQ(chip.read(0x0030), 0x4260);

  const Outcome missing = run({"--simulate", "-c", "run " + TempPath("missing.txt"), "-c", "write 26 1"});
  EXPECT_EQ(missing.code, cli::kExitFailure);
  EXPECT_EQ(missing.err, "Tonvisor: File Does Not Exist\n");

  EXPECT_EQ(chip.read(0x0026), 0);

  // A script that runs but shows a message (an unknown name) fails too.
  const Outcome unknown = run({"--simulate", "run", WriteFile("bad.txt", "Write NO_SUCH_REG 1\n")});
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

  // The first read that fails ends the dump (and the run): over a dead link every further one
  // would only wait out its own time-out.
  const Outcome spi = run({"--simulate", "--link", "spi", "dump"});
  EXPECT_EQ(spi.code, cli::kExitFailure);
  EXPECT_EQ(spi.out, "");
  EXPECT_EQ(spi.err,
            "Error:  Read Register Not Supported\n"
            "tonvisor-cli: \"dump\": SPI cannot read register 0x0000 (it can only write).\n");
}

TEST_F(CliTest, ASnapshotRestoresTheChipAndDiffNamesEachChangedField) {
  ChipModel real(ChipModel::Behaviour::Chip);
  auto onChip = [&](const Args& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = cli::RunCli(args, out, err, cli::Environment{&real, {}});
    return Outcome{code, out.str(), err.str()};
  };
  const std::string saved = FreshPath("saved.txt");
  EXPECT_EQ(onChip({"--simulate", "snapshot", saved}).code, cli::kExitOk);

  const Outcome changed = onChip({"--simulate", "-c", "write CHIP_CLK_CTRL_REG 0004", "-c", "write 0 1234", "diff",
                                  saved});
  EXPECT_EQ(changed.code, cli::kExitFailure);
  EXPECT_EQ(changed.out, "CHIP_CLK_CTRL_REG (0x0004): 0x0008 -> 0x0004\n  ConfigureSampleRate, bits 3:2: 0x2 -> 0x1\n");

  const std::string now = FreshPath("now.txt");
  EXPECT_EQ(onChip({"--simulate", "snapshot", now}).code, cli::kExitOk);
  const Outcome json = onChip({"--format", "json", "diff", saved, now});  // no chip needed
  EXPECT_EQ(json.code, cli::kExitFailure);
  EXPECT_EQ(json.out,
            "{\"equal\": false, \"differences\": [{\"register\": \"CHIP_CLK_CTRL_REG\", \"address\": \"0x0004\", "
            "\"before\": \"0x0008\", \"after\": \"0x0004\", \"fields\": [{\"field\": \"ConfigureSampleRate\", "
            "\"bits\": \"3:2\", \"before\": 2, \"after\": 1}]}]}\n");

  const Outcome restored = onChip({"--simulate", "-c", "run " + saved, "diff", saved});
  EXPECT_EQ(restored.code, cli::kExitOk) << restored.err;
  EXPECT_EQ(restored.out, "no differences\n");
  EXPECT_EQ(real.read(0x0000), ChipModel::kPartId);
}

TEST_F(CliTest, ShowNamesEveryFieldByWhatItMeansOnTheChipOrInASnapshot) {
  ChipModel real(ChipModel::Behaviour::Chip);
  real.write(0x0010, 0x6464);  // -20.07 dB
  auto onChip = [&](const Args& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = cli::RunCli(args, out, err, cli::Environment{&real, {}});
    return Outcome{code, out.str(), err.str()};
  };
  const Outcome live = onChip({"--simulate", "show"});
  EXPECT_EQ(live.code, cli::kExitOk) << live.err;
  // "NAME<blanks> = MEANING" a line, the blanks lining the meanings up.
  std::map<std::string, std::string> meanings;
  std::istringstream lines(live.out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t equals = line.find(" = ");
    meanings[line.substr(0, line.find(' '))] = line.substr(equals + 3);
  }
  const std::map<std::string, std::string> expected = {{"ConfigureSampleRate", "48 kHz"},
                                                       {"ConfigureDacVolume", "-20.07 dB"},
                                                       {"WriteHpLeftVolume", "0.0 dB"},
                                                       {"WriteGeq0Volume/WriteToneBass", "0.00 dB"},
                                                       {"WriteDapMainVolume", "100.0 %"},
                                                       {"WriteDacMute", "1"}};
  for (const auto& [name, meaning] : expected) EXPECT_EQ(meanings[name], meaning) << name;
  // A snapshot without the chip: what it does not hold is unknown.
  const std::string saved = FreshPath("show.txt");
  std::ofstream(saved) << "Write CHIP_CLK_CTRL_REG 0x0007\n";
  const Outcome json = run({"--format", "json", "show", saved});
  EXPECT_EQ(json.code, cli::kExitOk);
  EXPECT_NE(json.out.find("{\"field\": \"ConfigureSysMclk\", \"register\": \"CHIP_CLK_CTRL_REG\", \"code\": 3, "
                          "\"meaning\": \"PLL\"}"),
            std::string::npos);
  EXPECT_NE(json.out.find("{\"field\": \"ConfigureDacVolume\", \"register\": \"CHIP_DAC_VOL_REG\", \"code\": null, "
                          "\"meaning\": null}"),
            std::string::npos);
  EXPECT_EQ(run({"show", "a", "b"}).code, cli::kExitUsage);
}

TEST_F(CliTest, ReadsThatBroughtNothingAreUnknownAndExitOne) {
  const std::string path = FreshPath("spi.txt");
  const Outcome spi = run({"--simulate", "--link", "spi", "snapshot", path});
  EXPECT_EQ(spi.code, cli::kExitFailure);
  EXPECT_NE(ReadFile(path).find("# not read: CHIP_ID_REG\n"), std::string::npos);
  EXPECT_NE(spi.err.find("53 of 53 register accesses did not reach the chip"), std::string::npos) << spi.err;

  const Outcome json = run({"--simulate", "--link", "spi", "--format", "json", "read", "CHIP_ANA_CTRL_REG"});
  EXPECT_EQ(json.code, cli::kExitFailure);
  EXPECT_EQ(json.out, "{\"register\": \"CHIP_ANA_CTRL_REG\", \"address\": \"0x0024\", \"value\": null}\n");
  const Outcome dump = run({"--simulate", "--format", "json", "dump"});
  EXPECT_EQ(dump.code, cli::kExitOk);
  EXPECT_TRUE(dump.out.starts_with("[{\"register\": \"CHIP_ID_REG\", \"address\": \"0x0000\", \"value\": \"0x0000\"}, "));

  for (const Args& wrong : std::vector<Args>{{"diff"}, {"diff", "a", "b", "c"}, {"--format", "xml", "dump"}}) {
    EXPECT_EQ(run(wrong).code, cli::kExitUsage) << ::testing::PrintToString(wrong);
  }
  EXPECT_EQ(run({"diff", TempPath("none.txt"), TempPath("none.txt")}).code, cli::kExitFailure);
}

TEST_F(CliTest, ALogThatCannotBeSavedFailsTheRun) {
  const Outcome outcome = run({"--simulate", "--save-log", TempPath("no/such/dir/log.txt"), "write", "24", "1"});
  EXPECT_EQ(outcome.code, cli::kExitFailure);
  EXPECT_EQ(outcome.err, "Tonvisor:  Error Creating File\n");
  EXPECT_EQ(chip.read(0x0024), 1);
}

// The USB bridge through the FTDI backend, on emulated FT2232H bridges.
struct CliOnBridges : CliTest {
  CliOnBridges() {
    usb.attach(first);
    usb.attach(second);
  }
  ChipModel otherChip;
  EmulatedFt2232h first{chip, {"FT0EMU01", "Dual RS232-HS", "FTDI"}};
  EmulatedFt2232h second{otherChip, {"FT0EMU02", "Board B", "FTDI"}};
};

TEST_F(CliOnBridges, DevicesListsTheBridgesAndDeviceChoosesOne) {
  const Outcome listed = run({"devices"});
  EXPECT_EQ(listed.code, cli::kExitOk);
  EXPECT_EQ(listed.out, "0  FT0EMU01  Dual RS232-HS\n1  FT0EMU02  Board B\n");
  second.denyPermission(true);
  EXPECT_EQ(run({"devices"}).out, "0  FT0EMU01  Dual RS232-HS\n1  (no permission to open it: see README, Hardware)\n");
  second.denyPermission(false);

  otherChip.write(0x0022, 0x1818);
  const Outcome dump = run({"--device", "FT0EMU02", "dump"});
  EXPECT_EQ(dump.code, cli::kExitOk) << dump.err;
  EXPECT_NE(dump.out.find("CHIP_ANA_HP_CTRL_REG           0x0022  0x1818\n"), std::string::npos);
  EXPECT_EQ(run({"--device", "1", "--link", "spi", "write", "24", "abcd"}).code, cli::kExitOk);
  EXPECT_EQ(otherChip.read(0x0024), 0xABCD);
  EXPECT_EQ(second.spiTrace(), (std::vector<std::string>{"00 24 AB CD"}));

  const Outcome missing = run({"--device", "FT9", "read", "24"});
  EXPECT_EQ(missing.code, cli::kExitFailure);
  EXPECT_EQ(missing.err,
            "Tonvisor: I2C Initialization Error\n"
            "Tonvisor: The I2C channel could not be opened: no USB bridge with that serial or index is plugged in "
            "(asked for \"FT9\"; plugged in: FT2232H FT0EMU01 (Dual RS232-HS), FT2232H FT0EMU02 (Board B)).\n");
}

TEST_F(CliOnBridges, TheI2cClockIsChosenAndAnUnpluggedBridgeIsNamed) {
  chip.write(0x0002, 0xA011);
  const Outcome fast = run({"--i2c-clock", "400", "read", "CHIP_DIG_POWER_REG"});
  EXPECT_EQ(fast.out, "0xA011\n");
  EXPECT_DOUBLE_EQ(first.stats().i2cSclHz, 400000.0);
  EXPECT_EQ(first.stats().timingViolations + first.stats().contention, 0u);
  EXPECT_EQ(run({"read", "2"}).out, "0xA011\n");
  EXPECT_NEAR(first.stats().i2cSclHz, 75758.0, 1.0);  // standard mode, SCL slowed for its high time

  first.unplug();
  second.unplug();
  const Outcome none = run({"read", "2"});
  EXPECT_EQ(none.err,
            "Tonvisor: I2C Initialization Error\n"
            "Tonvisor: The I2C channel could not be opened: no USB bridge is plugged in.\n"
            "tonvisor-cli: without a bridge, --simulate talks to a simulated chip\n");
  EXPECT_EQ(run({"devices"}).err, "tonvisor-cli: no USB bridge (FT2232H, 0403:6010) is plugged in\n");
}

TEST_F(CliTest, PeqResponseTellsTheGainOfADesignOrAPresetWithoutTheChip) {
  const std::string design = WriteFile("design.txt", "rate 48000\nband 0 peaking 1000 6 1\n");
  const Outcome at = run({"peq", "response", design, "--at", "1000,20,24000"});
  EXPECT_EQ(at.code, cli::kExitOk) << at.err;
  EXPECT_EQ(at.out, "1000 6.000\n20 0.003\n24000 0.000\n");
  EXPECT_EQ(chip.writeCount(), 0u);

  const Outcome json = run({"peq", "response", "FLAT", "--at=440.5", "--format", "json"});
  EXPECT_EQ(json.out, "[{\"hz\": 440.5, \"db\": 0.000}]\n");
  EXPECT_EQ(run({"--format", "json", "peq", "response", design, "--at", "1000"}).out, "[{\"hz\": 1000, \"db\": 6.000}]\n");

  // Every twelfth of an octave from 20 Hz up to half the rate.
  const Outcome all = run({"peq", "response", "rock", "--rate", "32000"});
  EXPECT_EQ(all.code, cli::kExitOk);
  EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 116);
  EXPECT_EQ(all.out.substr(0, all.out.find('\n')), "20 2.309");
}

TEST_F(CliTest, PeqCommandsRefuseWhatTheyCannotDoBeforeAnythingIsDone) {
  const std::string noRate = WriteFile("no-rate.txt", "band 1 lowshelf 100 3 0.707\n");
  const std::string loud = WriteFile("loud.txt", "rate 48000\n\nband 4 highshelf 8000 12 0.707\n");
  const std::string at48k = WriteFile("at48k.txt", "rate 48000\n");
  struct Case {
    Args args;
    int code;
    std::string err;
  };
  const Case cases[] = {
      {{"--simulate", "peq", "load", noRate}, cli::kExitUsage,
       "\"peq load " + noRate + "\": " + noRate + " has no rate line: give the chip's sample rate with --rate HZ"},
      {{"--simulate", "peq", "load", at48k, "--rate", "44100"}, cli::kExitUsage,
       "\"peq load " + at48k + " --rate 44100\": " + at48k + " is designed for 48000 Hz, not the 44100 Hz --rate gives"},
      {{"--simulate", "peq", "load", loud}, cli::kExitFailure,
       "\"peq load " + loud + "\": " + loud + ", line 3: band 4 (highshelf): B0 would be 2.465, beyond the chip's range of -2 to 2"},
      {{"peq", "response", "Jazz"}, cli::kExitFailure, "\"peq response Jazz\": cannot open Jazz"},
      {{"peq", "response", "rock", "--at", "30000"}, cli::kExitUsage,
       "\"peq response rock --at 30000\": --at 30000 is above half the sample rate (24000 Hz)"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = run(c.args);
    EXPECT_EQ(outcome.code, c.code) << c.err;
    EXPECT_EQ(outcome.err, "tonvisor-cli: " + c.err + "\n");
    EXPECT_EQ(chip.writeCount(), 0u) << c.err;
  }
  for (const Args& wrong : {Args{"peq"}, Args{"peq", "save", noRate}, Args{"peq", "load"}, Args{"peq", "load", noRate, "--at", "1"},
                            Args{"peq", "load", noRate, "--rate", "-1"}, Args{"peq", "response", "rock", "--at", "1,,2"},
                            Args{"peq", "response", "rock", "extra"}}) {
    EXPECT_EQ(run(wrong).code, cli::kExitUsage) << wrong.back();
  }
}

// The real program, started as a user would start it.
std::string Quoted(const std::string& word) {
  std::string text = "'";
  for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

Outcome Start(const Args& args) {
  std::string line = Quoted(TONVISOR_CLI_PATH);
  for (const std::string& a : args) {
    line += ' ';  // not " " + Quoted(a): GCC 12 at -O3 reports a false -Wrestrict overlap for it
    line += Quoted(a);
  }
  line += " >" + Quoted(TempPath("stdout")) + " 2>" + Quoted(TempPath("stderr")) + " </dev/null";
  const int raw = std::system(line.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(TempPath("stdout")), ReadFile(TempPath("stderr"))};
}

TEST(CliProgram, TalksToABoardOverEthernetAndExitsWithTheOutcome) {
  ChipModel boardChip;
  BoardServer board(boardChip);
  ASSERT_FALSE(board.start());
  const std::string port = std::to_string(board.port());
  boardChip.write(0x0022, 0x1818);

  const std::string log = FreshPath("log.txt");
  const Outcome outcome = Start({"--link", "ethernet", "--host", "127.0.0.1", "--port", port, "--save-log", log, "-c",
                                 "modify CHIP_ANA_HP_CTRL_REG FF00 0042", "-c", "write 24 0x0101", "-c", "read 22",
                                 "read", "24"});
  EXPECT_EQ(outcome.code, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "0x1842\n0x0101\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(ReadFile(log), "Write   0x0022    0x1842\nWrite   0x0024    0x0101\n");

  board.stop();
  const Outcome gone = Start({"--link", "ethernet", "--host", "127.0.0.1", "--port", port, "write", "24", "1"});
  EXPECT_EQ(gone.code, 1);
  EXPECT_EQ(gone.err, "Tonvisor: Connecting to socket Failed\ntonvisor-cli: \"write 24 1\": Could not connect to the board at 127.0.0.1:" +
                          port + " for the write of register 0x0024.\n");

  const Outcome wrong = Start({"--simulate", "write", "24"});
  EXPECT_EQ(wrong.code, 2);
  EXPECT_EQ(wrong.err, "tonvisor-cli: \"write 24\": expected write REG VALUE\nTry 'tonvisor-cli --help'.\n");
}

// The board sees the filter count, then each band's ten coefficient words and its commit, the
// unused bands flat.
TEST(CliProgram, LoadsAPeqDesignIntoABoardBandByBand) {
  ChipModel boardChip;
  std::mutex lock;
  std::vector<std::pair<std::uint16_t, std::uint16_t>> writes;
  BoardServer::Options options;
  options.onAccess = [&](const BoardAccess& access) {
    const std::lock_guard<std::mutex> hold(lock);
    if (access.kind == BoardAccess::Kind::Write) writes.emplace_back(access.address, access.value);
  };
  BoardServer board(boardChip, options);
  ASSERT_FALSE(board.start());
  const std::string design = WriteFile("design.txt", "band 2 peaking 1000 6 1\n");

  const std::string log = FreshPath("log.txt");
  const Outcome outcome = Start({"--link", "ethernet", "--host", "127.0.0.1", "--port", std::to_string(board.port()),
                                 "--save-log", log, "peq", "load", design, "--rate", "48000"});
  EXPECT_EQ(outcome.code, 0) << outcome.err;
  board.stop();

  const Biquad peak = DesignBiquad({PeqBandType::Peaking, 1000.0, 6.0, 1.0}, 48000.0);
  std::vector<std::pair<std::uint16_t, std::uint16_t>> expected = {{0x0102, 7}};
  for (std::uint16_t band = 0; band < 7; ++band) {
    const Biquad coefficients = band == 2 ? peak : Biquad{};
    const double values[] = {coefficients.b0, coefficients.b1, coefficients.b2, coefficients.a1, coefficients.a2};
    const std::uint16_t registers[] = {0x0110, 0x010E, 0x012E, 0x012C, 0x0132, 0x0130, 0x0136, 0x0134, 0x013A, 0x0138};
    for (int c = 0; c < 5; ++c) {
      const auto bits = static_cast<std::uint32_t>(std::lround(values[c] * 262144.0)) & 0xFFFFFu;
      expected.emplace_back(registers[2 * c], bits & 0xF);
      expected.emplace_back(registers[2 * c + 1], bits >> 4);
    }
    expected.emplace_back(0x010C, 0x0100 + band);
  }
  EXPECT_EQ(writes, expected);
  const std::string saved = ReadFile(log);
  EXPECT_EQ(saved.rfind("   \n\n# Load PEQ Design " + std::filesystem::path(design).filename().string() +
                            "\n\n   \n\n# Write Num PEQ Filters\n\n",
                        0),
            0u)
      << saved;
}

// A board that takes connections and never answers: a 300-write script pays one time-out and
// counts the rest as not sent, instead of waiting 300 times. The bound is generous (one
// time-out is 3 s; without the mend the run takes 15 minutes).
TEST(CliProgram, AScriptAgainstABoardThatWentSilentEndsAfterOneTimeOut) {
  const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(silent, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(silent, 512), 0);  // connections queue up and are never answered
  socklen_t length = sizeof address;
  ::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);
  std::string script;
  for (int i = 0; i < 300; ++i) script += "Write 0x0024 0x" + std::to_string(1000 + i) + "\n";
  const std::string path = WriteFile("silent.txt", script);

  const auto start = std::chrono::steady_clock::now();
  const Outcome outcome = Start({"--link", "ethernet", "--host", "127.0.0.1", "--port",
                                 std::to_string(ntohs(address.sin_port)), "run", path});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(outcome.code, cli::kExitFailure);
  EXPECT_EQ(outcome.err, "Tonvisor: Getting Return Code Falied\n"
                         "Tonvisor: 300 of 300 register writes of the script did not reach the chip. The first, line 1 "
                         "\"Write 0x0024 0x1000\": the board at 127.0.0.1:" +
                             std::to_string(ntohs(address.sin_port)) +
                             " sent no return code during the write of register 0x0024 (no answer within the "
                             "time-out).\n");
  ::close(silent);
}

}  // namespace
}  // namespace tonvisor
