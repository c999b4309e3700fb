#include <gtest/gtest.h>

#include <algorithm>
#include <span>

#include "codec/register_map.h"
#include "link/connect.h"
#include "sim/chip_model.h"
#include "sim/simulated_bridge.h"
#include "support/recording_messenger.h"
#include "tools/script_file.h"
#include "tools/snapshot.h"
#include "tools/temp_files.h"

namespace tonvisor {
namespace {

using testing::ReadFile;
using testing::RecordingMessenger;
using testing::TempPath;
using testing::WriteFile;

struct SnapshotTest : ::testing::Test {
  SnapshotTest() { EXPECT_TRUE(Connect(link, {ChipModel::kI2cDeviceAddress, {}, {}}, Owner::none())); }

  ChipSnapshot readAll() {
    const ReadAllResult result = ReadAllRegisters(link);
    EXPECT_TRUE(result.tally.allWentThrough());
    return result.snapshot;
  }

  ChipModel chip{ChipModel::Behaviour::Chip};
  SimulatedBridge bridge{chip};
  RecordingMessenger messages;
  DeviceLink link{bridge, messages};
};

// The registers a log's write entries went to, in order.
std::vector<std::uint16_t> WrittenAddresses(const WriteLog& log) {
  std::vector<std::uint16_t> addresses;
  for (std::size_t i = 0; i < log.count(); ++i) {
    if (log.entry(i).isWrite()) addresses.push_back(log.entry(i).address);
  }
  return addresses;
}

TEST_F(SnapshotTest, ASavedSnapshotRunAsAScriptPutsTheChipBackAndLeavesTheOthersAlone) {
  chip.write(reg::CHIP_DIG_POWER_REG, 0x0073);
  chip.write(reg::DAP_COEF_WR_B0_MSB_REG, 0x4000);
  const ChipSnapshot before = readAll();
  const std::string path = TempPath("snapshot.txt");
  ASSERT_TRUE(WriteSnapshotFile(path, before, "2026-12-07 10:00", LinkDescription(link)));

  const std::string text = ReadFile(path);
  EXPECT_TRUE(text.starts_with("# KRVL7300 snapshot, 2026-12-07 10:00, I2C at device address 0x0A\n")) << text;
  EXPECT_NE(text.find("Write   \tCHIP_DIG_POWER_REG" + std::string(22, ' ') + "\t0x0073\n"), std::string::npos);
  EXPECT_NE(text.find("# not restored: CHIP_ID_REG = 0xA011 (read-only)\n"), std::string::npos);
  EXPECT_NE(text.find("# not restored: DAP_COEF_WR_B0_MSB_REG = 0x4000 (a filter coefficient on its way into a band)\n"),
            std::string::npos);

  // Other writes change the chip; the snapshot, run, undoes them: in the restore order, the
  // DAC muted by the first write and put back by the last.
  for (const RegisterEntry& row : RegisterMap) chip.write(static_cast<std::uint16_t>(row.address), 0x5A5A);
  link.writeLog().clear();
  const ScriptRunResult run = RunScriptFile(link, path, {Owner::none(), {}, {}});
  EXPECT_TRUE(run.allWentThrough());
  EXPECT_TRUE(messages.messages.empty());
  std::vector<std::uint16_t> expected{reg::CHIP_ADCDAC_CTRL_REG};
  for (const std::uint16_t address : RestoreOrder()) {
    if (!NotRestoredByWrite(address) && address != reg::CHIP_ADCDAC_CTRL_REG) expected.push_back(address);
  }
  expected.push_back(reg::CHIP_ADCDAC_CTRL_REG);
  EXPECT_EQ(WrittenAddresses(link.writeLog()), expected);
  const std::uint16_t dacControl = *before.find(reg::CHIP_ADCDAC_CTRL_REG)->value;
  EXPECT_EQ(chip.read(reg::CHIP_ADCDAC_CTRL_REG), dacControl);
  // Entry 3, after the separator and the two comment lines, is the first write: it mutes.
  EXPECT_EQ(link.writeLog().entry(3).value, dacControl | 0x000C);

  std::size_t restored = 0;
  for (const RegisterReading& reading : before.registers) {
    if (NotRestoredByWrite(reading.address)) {
      // Never written by the snapshot: the read-only ones kept their own value, the
      // coefficient registers what the other writes left.
      for (std::size_t i = 0; i < link.writeLog().count(); ++i) {
        const WriteLog::Entry& entry = link.writeLog().entry(i);
        EXPECT_FALSE(entry.isWrite() && entry.address == reading.address) << reading.name;
      }
      continue;
    }
    EXPECT_EQ(chip.read(reading.address), *reading.value) << reading.name;
    ++restored;
  }
  EXPECT_EQ(restored, RegisterMap.size() - 13);
  EXPECT_EQ(chip.read(reg::CHIP_ID_REG), ChipModel::kPartId);
  std::string error;
  const std::optional<ChipSnapshot> back = ReadSnapshotFile(path, error);
  ASSERT_TRUE(back) << error;
  EXPECT_TRUE(CompareSnapshots(before, *back).empty());
}

TEST_F(SnapshotTest, ComparingNamesEachFieldThatChangedWithItsOldAndNewValue) {
  const ChipSnapshot before = readAll();
  chip.write(reg::CHIP_CLK_CTRL_REG, 0x0004);     // rate 48 kHz (2) to 44.1 kHz (1)
  chip.write(reg::CHIP_ANA_CTRL_REG, 0x0110);     // ADC mute (bit 0) off
  chip.write(reg::CHIP_ANA_HP_CTRL_REG, 0x9818);  // bit 15, which no operation sets
  chip.write(reg::DAP_MIX_CHAN_REG, 0x1234);      // a whole-register value
  const std::vector<RegisterDifference> differences = CompareSnapshots(before, readAll());
  ASSERT_EQ(differences.size(), 4u);

  EXPECT_EQ(differences[0].name, "CHIP_CLK_CTRL_REG");
  ASSERT_EQ(differences[0].fields.size(), 1u);
  EXPECT_EQ(differences[0].fields[0].name, "ConfigureSampleRate");
  EXPECT_EQ(differences[0].fields[0].highBit, 3);
  EXPECT_EQ(differences[0].fields[0].lowBit, 2);
  EXPECT_EQ(differences[0].fields[0].before, 2);
  EXPECT_EQ(differences[0].fields[0].after, 1);

  EXPECT_EQ(differences[1].name, "CHIP_ANA_HP_CTRL_REG");
  ASSERT_EQ(differences[1].fields.size(), 1u);
  EXPECT_EQ(differences[1].fields[0].name, "other bits");
  EXPECT_EQ(differences[1].fields[0].after, 0x8000);

  EXPECT_EQ(differences[2].name, "CHIP_ANA_CTRL_REG");
  ASSERT_EQ(differences[2].fields.size(), 1u);
  EXPECT_EQ(differences[2].fields[0].name, "WriteAdcMute");
  EXPECT_EQ(differences[2].fields[0].highBit, 0);
  EXPECT_EQ(differences[2].fields[0].before, 1);
  EXPECT_EQ(differences[2].fields[0].after, 0);

  EXPECT_EQ(differences[3].name, "DAP_MIX_CHAN_REG");
  EXPECT_EQ(differences[3].fields[0].name, "WriteDapMixerVolume");
  EXPECT_EQ(differences[3].after, 0x1234);
}

TEST_F(SnapshotTest, WritingTheDifferencesRestoresOnlyThoseInBringUpOrderWithTheDacMuted) {
  const ChipSnapshot saved = readAll();
  chip.write(reg::DAP_CONTROL_REG, 0x0001);         // the processor, switched on last
  chip.write(reg::CHIP_DAC_VOL_REG, 0x6060);
  chip.write(reg::CHIP_CLK_CTRL_REG, 0x0004);       // clocks
  chip.write(reg::CHIP_ANA_POWER_REG, 0x0000);      // power, first
  chip.write(reg::DAP_COEF_WR_A2_LSB_REG, 0x000F);  // not written back
  link.writeLog().clear();
  const AccessTally tally = WriteDifferences(link, CompareSnapshots(readAll(), saved), "good.txt");
  EXPECT_TRUE(tally.allWentThrough());
  EXPECT_EQ(link.writeLog().entry(1).text, "# Write the differences from snapshot good.txt\n");
  EXPECT_EQ(WrittenAddresses(link.writeLog()),
            (std::vector<std::uint16_t>{reg::CHIP_ADCDAC_CTRL_REG, reg::CHIP_ANA_POWER_REG, reg::CHIP_CLK_CTRL_REG,
                                        reg::CHIP_DAC_VOL_REG, reg::DAP_CONTROL_REG, reg::CHIP_ADCDAC_CTRL_REG}));
  EXPECT_EQ(link.writeLog().entry(2).value & 0x000C, 0x000C);  // muted first
  for (const RegisterReading& reading : saved.registers) {
    if (!NotRestoredByWrite(reading.address)) {
      EXPECT_EQ(chip.read(reading.address), *reading.value) << reading.name;
    }
  }

  // The DAC's own control register, when it differs, is the last write, with its saved value.
  chip.write(reg::CHIP_ADCDAC_CTRL_REG, 0x0000);
  chip.write(reg::CHIP_DAC_VOL_REG, 0x6060);
  link.writeLog().clear();
  WriteDifferences(link, CompareSnapshots(readAll(), saved), "good.txt");
  EXPECT_EQ(WrittenAddresses(link.writeLog()),
            (std::vector<std::uint16_t>{reg::CHIP_ADCDAC_CTRL_REG, reg::CHIP_DAC_VOL_REG, reg::CHIP_ADCDAC_CTRL_REG}));
  EXPECT_EQ(chip.read(reg::CHIP_ADCDAC_CTRL_REG), *saved.find(reg::CHIP_ADCDAC_CTRL_REG)->value);
}

// Without a muted DAC nothing is restored: over SPI the mute (a read-modify-write) is refused.
TEST_F(SnapshotTest, WritingTheDifferencesWritesNothingWhenTheDacCannotBeMuted) {
  const ChipSnapshot saved = readAll();
  chip.write(reg::CHIP_DAC_VOL_REG, 0x6060);
  const std::vector<RegisterDifference> differences = CompareSnapshots(readAll(), saved);
  link.settings().connectionType = "SPI";
  ASSERT_EQ(link.spi().SpiOpen(), status::kOk);
  const std::uint64_t writes = chip.writeCount();
  EXPECT_FALSE(WriteDifferences(link, differences, "good.txt").allWentThrough());
  EXPECT_EQ(chip.writeCount(), writes);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{" Modify Register Not Supported"});
}

TEST(RestoreOrder, NamesEveryRegisterOnce) {
  std::vector<std::uint16_t> sorted(RestoreOrder().begin(), RestoreOrder().end());
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::uint16_t> named;
  for (const RegisterEntry& row : RegisterMap) named.push_back(static_cast<std::uint16_t>(row.address));
  EXPECT_EQ(sorted, named);
}

TEST_F(SnapshotTest, ValuesThatCouldNotBeReadAreUnknownNeverZero) {
  link.settings().connectionType = "SPI";
  const ReadAllResult result = ReadAllRegisters(link);
  EXPECT_EQ(result.tally.failed, RegisterMap.size());
  EXPECT_EQ(messages.texts(), std::vector<std::string>{" Read Register Not Supported"});  // once
  for (const RegisterReading& reading : result.snapshot.registers) EXPECT_FALSE(reading.value) << reading.name;

  const std::string path = TempPath("unknown.txt");
  ASSERT_TRUE(WriteSnapshotFile(path, result.snapshot, "now", LinkDescription(link)));
  const std::string text = ReadFile(path);
  EXPECT_EQ(text.find("Write"), std::string::npos);
  EXPECT_NE(text.find("# not read: CHIP_ANA_STATUS_REG\n"), std::string::npos);
  std::string error;
  const std::optional<ChipSnapshot> back = ReadSnapshotFile(path, error);
  ASSERT_TRUE(back) << error;
  EXPECT_FALSE(back->find(reg::CHIP_DAC_VOL_REG)->value);

  link.settings().connectionType = "I2C";
  const std::vector<RegisterDifference> differences = CompareSnapshots(*back, readAll());
  EXPECT_EQ(differences.size(), RegisterMap.size());  // unknown against known differs everywhere
  EXPECT_FALSE(differences[0].before);
}

TEST(SnapshotFile, AFileThatNamesNoRegisterOrNoValueIsRefusedWithItsLine) {
  std::string error;
  EXPECT_FALSE(ReadSnapshotFile(TempPath("missing.txt"), error));
  EXPECT_NE(error.find("cannot open"), std::string::npos);
  EXPECT_FALSE(ReadSnapshotFile(WriteFile("bad.txt", "# snapshot\nWrite CHIP_NOPE_REG 0x0001\n"), error));
  EXPECT_NE(error.find("line 2: \"Write CHIP_NOPE_REG 0x0001\" writes no register"), std::string::npos) << error;
  EXPECT_FALSE(ReadSnapshotFile(WriteFile("novalue.txt", "Write CHIP_ID_REG\n"), error));
  EXPECT_NE(error.find("line 1"), std::string::npos) << error;
  EXPECT_FALSE(ReadSnapshotFile(WriteFile("note.txt", "# not restored: CHIP_ID_REG = zz (read-only)\n"), error));
  const std::optional<ChipSnapshot> fine =
      ReadSnapshotFile(WriteFile("fine.txt", "# any comment\nwrite 0x0024 0x0101\nWrite CHIP_ID_REG A011\n"), error);
  ASSERT_TRUE(fine) << error;
  EXPECT_EQ(fine->find(reg::CHIP_ANA_CTRL_REG)->value, 0x0101);
  EXPECT_EQ(fine->find(reg::CHIP_ID_REG)->value, 0xA011);
}

}  // namespace
}  // namespace tonvisor
