#include "tools/snapshot.h"

#include <cstdio>
#include <iterator>
#include <span>
#include <tuple>
#include <ctime>
#include <memory>

#include "codec/codec_fields.h"
#include "codec/register_map.h"
#include "link/typed_text.h"
#include "link/user_action.h"
#include "tools/atomic_file.h"
#include "tools/script_file.h"

namespace tonvisor {

namespace {

constexpr std::string_view kNotRestored = "# not restored: ";
constexpr std::string_view kNotRead = "# not read: ";
constexpr std::string_view kRestoreNote = "# restored in bring-up order, the DAC muted until the last line\n";

// The order a chip is brought up in, and so the order its registers are restored in: power
// first, then the clocks, the I2S port and the routing, the analog blocks and converters, and
// the audio processor last, its blocks set before it is switched on. The read-only registers
// close the table; nothing writes them.
constexpr std::uint16_t kRestoreOrder[] = {
    // Power
    reg::CHIP_LINREG_CTRL_REG, reg::CHIP_REF_CTRL_REG, reg::CHIP_ANA_POWER_REG, reg::CHIP_DIG_POWER_REG,
    // Clocks
    reg::CHIP_CLK_TOP_CTRL_REG, reg::CHIP_PLL_CTRL_REG, reg::CHIP_CLK_CTRL_REG,
    // I2S and routing
    reg::CHIP_I2S0_CTRL_REG, reg::CHIP_I2S1_CTRL_REG, reg::CHIP_PAD_STRENGTH_REG, reg::CHIP_SSS_CTRL_REG,
    // Analog blocks and converters
    reg::CHIP_ANA_TEST1_REG, reg::CHIP_ANA_TEST2_REG, reg::CHIP_SHORT_CTRL_REG, reg::CHIP_MIC_CTRL_REG,
    reg::CHIP_ANA_ADC_CTRL_REG, reg::CHIP_LINE_OUT_CTRL_REG, reg::CHIP_LINE_OUT_VOL_REG, reg::CHIP_ANA_HP_CTRL_REG,
    reg::CHIP_ANA_CTRL_REG, reg::CHIP_ADCDAC_CTRL_REG, reg::CHIP_DAC_VOL_REG, reg::CHIP_SPKR_VOL_REG,
    // Audio processor
    reg::DAP_PEQ_REG, reg::DAP_FILTER_COEF_ACCESS_REG, reg::DAP_COEF_WR_B0_MSB_REG, reg::DAP_COEF_WR_B0_LSB_REG,
    reg::DAP_COEF_WR_B1_MSB_REG, reg::DAP_COEF_WR_B1_LSB_REG, reg::DAP_COEF_WR_B2_MSB_REG,
    reg::DAP_COEF_WR_B2_LSB_REG, reg::DAP_COEF_WR_A1_MSB_REG, reg::DAP_COEF_WR_A1_LSB_REG,
    reg::DAP_COEF_WR_A2_MSB_REG, reg::DAP_COEF_WR_A2_LSB_REG, reg::DAP_AUDIO_EQ_BASS_BAND0_REG,
    reg::DAP_AUDIO_EQ_BAND1_REG, reg::DAP_AUDIO_EQ_BAND2_REG, reg::DAP_AUDIO_EQ_BAND3_REG,
    reg::DAP_AUDIO_EQ_TREBLE_BAND4_REG, reg::DAP_AUDIO_EQ_REG, reg::DAP_BASS_ENHANCE_CTRL_REG,
    reg::DAP_BASS_ENHANCE_REG, reg::DAP_KRVL_SURROUND_REG, reg::DAP_AVC_THRESHOLD_REG, reg::DAP_AVC_ATTACK_REG,
    reg::DAP_AVC_DECAY_REG, reg::DAP_AVC_CTRL_REG, reg::DAP_MAIN_CHAN_REG, reg::DAP_MIX_CHAN_REG, reg::DAP_CONTROL_REG,
    // Read-only
    reg::CHIP_ID_REG, reg::CHIP_ANA_STATUS_REG};
static_assert(std::size(kRestoreOrder) == std::tuple_size_v<decltype(RegisterMap)>,
              "every named register has its place in the restore order");

// The DAC's two mute bits in CHIP_ADCDAC_CTRL_REG: set before the first restoring write and
// put back as they belong after the last, so the restore makes no noise under a live signal.
constexpr std::uint16_t kDacMuted = field::WriteDacMute.mask();

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

RegisterReading* findIn(ChipSnapshot& snapshot, std::uint16_t address) {
  return const_cast<RegisterReading*>(snapshot.find(address));
}

// The text in double quotes. Appended piece by piece: GCC 12 at -O3 takes "\"" + string for an
// overlapping copy and warns.
std::string quoted(std::string_view text) {
  std::string result;
  result.reserve(text.size() + 2);
  result += '"';
  result += text;
  result += '"';
  return result;
}

std::string trimmedLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
  return std::string(line);
}

// "# not restored: NAME = 0xVALUE (why)" gives the register and its value; "# not read: NAME"
// the register alone.
bool readNoteLine(std::string_view line, ChipSnapshot& snapshot, std::string& error) {
  const bool restoredNote = line.starts_with(kNotRestored);
  if (!restoredNote && !line.starts_with(kNotRead)) return true;  // any other comment
  line.remove_prefix(restoredNote ? kNotRestored.size() : kNotRead.size());
  const std::size_t nameEnd = line.find_first_of(" \n\r");
  const std::string_view name = line.substr(0, nameEnd);
  const std::optional<std::uint16_t> address = LookupRegisterAddress(name);
  if (!address) {
    error = quoted(name) + " is not a register of the KRVL7300";
    return false;
  }
  if (!restoredNote) return true;
  const std::size_t equals = line.find("= ");
  const std::optional<std::uint16_t> value =
      equals == std::string_view::npos ? std::nullopt : ReadScriptHex16(line.substr(equals + 2));
  if (!value) {
    error = quoted(trimmedLine(line)) + " gives no value";
    return false;
  }
  findIn(snapshot, *address)->value = value;
  return true;
}

std::optional<std::uint16_t> bitsOf(std::optional<std::uint16_t> value, std::uint16_t mask, int lowBit) {
  if (!value) return std::nullopt;
  return static_cast<std::uint16_t>((*value & mask) >> lowBit);
}

}  // namespace

std::vector<RegisterField> RegisterFields(std::uint16_t address) {
  std::vector<RegisterField> fields;
  for (const CodecField* field : CodecFields()) {
    if (field->address != address) continue;
    const std::uint16_t mask = field->mask();
    bool shared = false;
    for (RegisterField& known : fields) {
      if (known.mask != mask) continue;
      known.name += '/';
      known.name += field->name;
      shared = true;
    }
    if (shared) continue;
    int high = 15;
    while (high > 0 && (mask & (1u << high)) == 0) --high;
    fields.push_back({std::string(field->name), field, mask, high, field->bits.lowBit});
  }
  return fields;
}

ChipSnapshot UnknownChip() {
  ChipSnapshot snapshot;
  snapshot.registers.reserve(RegisterMap.size());
  for (const RegisterEntry& row : RegisterMap) {
    snapshot.registers.push_back({static_cast<std::uint16_t>(row.address), row.name, std::nullopt});
  }
  return snapshot;
}

std::string LocalTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

const RegisterReading* ChipSnapshot::find(std::uint16_t address) const {
  for (const RegisterReading& reading : registers) {
    if (reading.address == address) return &reading;
  }
  return nullptr;
}

ReadAllResult ReadAllRegisters(DeviceLink& link, const std::function<bool(std::size_t, std::size_t)>& progress) {
  ReadAllResult result;
  result.snapshot = UnknownChip();
  UserAction action(link);
  const std::size_t total = result.snapshot.registers.size();
  for (std::size_t i = 0; i < total; ++i) {
    RegisterReading& reading = result.snapshot.registers[i];
    const RegisterEntry* row = FindRegister(reading.address);
    // Each read lands in the link's cache as it goes by.
    if (row != nullptr && row->traits.readable) reading.value = link.Read(reading.address).value;
    if (progress && !progress(i + 1, total)) {
      result.cancelled = i + 1 < total;
      break;
    }
  }
  result.tally = action.tally();
  if (!result.cancelled) link.cache().filled();
  return result;
}

std::string LinkDescription(const DeviceLink& link) {
  const LinkSettings& settings = link.settings();
  switch (link.selectedLink()) {
    case LinkKind::I2c: {
      char device[8];
      std::snprintf(device, sizeof device, "0x%02X", static_cast<unsigned>(settings.i2cAddress & 0x7Fu));
      return std::string("I2C at device address ") + device;
    }
    case LinkKind::Spi:
      return "SPI";
    case LinkKind::Ethernet:
      return "Ethernet through the board at " + settings.ethernetAddress + ":" + std::to_string(settings.ethernetPort);
    case LinkKind::None:
      break;
  }
  return "no link";
}

std::span<const std::uint16_t> RestoreOrder() { return kRestoreOrder; }

namespace {

// A write line in the name form Save Script writes, so a snapshot reads like a saved log.
std::string WriteLine(std::uint16_t address, std::uint16_t value) {
  return RenderLogEntry({WriteLog::Entry::Kind::Write, std::string(WriteLog::kWriteText), address, value},
                        WriteForm::Name);
}

}  // namespace

std::string RenderSnapshot(const ChipSnapshot& snapshot, std::string_view when, std::string_view link) {
  std::string text = "# KRVL7300 snapshot, " + std::string(when) + ", " + std::string(link) + "\n";
  const RegisterReading* dac = snapshot.find(reg::CHIP_ADCDAC_CTRL_REG);
  const bool muteAround = dac != nullptr && dac->value;
  if (muteAround) {
    text += kRestoreNote;
    text += WriteLine(dac->address, *dac->value | kDacMuted);
  }
  std::string notes;
  for (const std::uint16_t address : kRestoreOrder) {
    const RegisterReading* found = snapshot.find(address);
    if (found == nullptr) continue;
    const RegisterReading& reading = *found;
    if (!reading.value) {
      notes += std::string(kNotRead) + std::string(reading.name) + "\n";
    } else if (const auto why = NotRestoredByWrite(reading.address)) {
      notes += std::string(kNotRestored) + std::string(reading.name) + " = " + FormatPrefixedHex4(*reading.value) +
               " (" + std::string(*why) + ")\n";
    } else if (!(muteAround && &reading == dac)) {
      text += WriteLine(reading.address, *reading.value);
    }
  }
  // The last write puts the DAC's mute back as it was read.
  if (muteAround) text += WriteLine(dac->address, *dac->value);
  return text + notes;
}

bool WriteSnapshotFile(const std::string& path, const ChipSnapshot& snapshot, std::string_view when,
                       std::string_view link) {
  return WriteFileAtomically(path, RenderSnapshot(snapshot, when, link));
}

std::optional<ChipSnapshot> ReadSnapshotFile(const std::string& path, std::string& error) {
  FilePtr file(std::fopen(path.c_str(), "r"));
  if (!file) {
    error = "cannot open " + path;
    return std::nullopt;
  }
  ChipSnapshot snapshot = UnknownChip();
  ScriptLineReader reader(file.get());
  std::string line;
  std::size_t lineNumber = 0;
  while (reader.next(line)) {
    ++lineNumber;
    const ScriptLine parsed = ParseScriptLine(line);
    std::string problem;
    if (parsed.kind == ScriptLine::Kind::Comment) {
      readNoteLine(line, snapshot, problem);
    } else if (parsed.kind == ScriptLine::Kind::MalformedWrite) {
      problem = quoted(trimmedLine(line)) + " needs a register and a hexadecimal value";
    } else if (parsed.kind == ScriptLine::Kind::Write) {
      const std::optional<std::uint16_t> address =
          parsed.address ? parsed.address : LookupRegisterAddress(parsed.registerName);
      RegisterReading* reading = address ? findIn(snapshot, *address) : nullptr;
      if (reading == nullptr) {
        problem = quoted(trimmedLine(line)) + " writes no register of the KRVL7300";
      } else {
        reading->value = parsed.value;
      }
    }
    if (!problem.empty()) {
      error = path + ", line " + std::to_string(lineNumber) + ": " + problem;
      return std::nullopt;
    }
  }
  if (reader.failed()) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  return snapshot;
}

std::vector<RegisterDifference> CompareSnapshots(const ChipSnapshot& before, const ChipSnapshot& after) {
  std::vector<RegisterDifference> differences;
  for (const RegisterEntry& row : RegisterMap) {
    const auto address = static_cast<std::uint16_t>(row.address);
    const RegisterReading* old = before.find(address);
    const RegisterReading* now = after.find(address);
    const std::optional<std::uint16_t> oldValue = old ? old->value : std::nullopt;
    const std::optional<std::uint16_t> newValue = now ? now->value : std::nullopt;
    if (oldValue == newValue) continue;
    RegisterDifference difference{address, row.name, oldValue, newValue, {}};
    const std::uint16_t changed = oldValue && newValue ? static_cast<std::uint16_t>(*oldValue ^ *newValue) : 0xFFFF;
    std::uint16_t covered = 0;
    for (const RegisterField& field : RegisterFields(address)) {
      covered |= field.mask;
      if ((changed & field.mask) == 0) continue;
      difference.fields.push_back({field.name, field.highBit, field.lowBit, bitsOf(oldValue, field.mask, field.lowBit),
                                   bitsOf(newValue, field.mask, field.lowBit)});
    }
    const auto rest = static_cast<std::uint16_t>(~covered);
    if ((changed & rest) != 0) {
      difference.fields.push_back({covered == 0 ? "value" : "other bits", 15, 0, bitsOf(oldValue, rest, 0),
                                   bitsOf(newValue, rest, 0)});
    }
    differences.push_back(std::move(difference));
  }
  return differences;
}

AccessTally WriteDifferences(DeviceLink& link, const std::vector<RegisterDifference>& differences,
                             std::string_view snapshotName) {
  UserAction action(link);
  WriteLog& log = link.writeLog();
  log.appendComment("   \n");
  std::string name(snapshotName);
  for (char& c : name) {
    if (c == '\n' || c == '\r') c = ' ';  // the comment stays one line
  }
  log.appendComment("# Write the differences from snapshot " + name + "\n");

  // The restorable differences with a known value, in the restore order.
  std::vector<const RegisterDifference*> writes;
  for (const std::uint16_t address : kRestoreOrder) {
    for (const RegisterDifference& difference : differences) {
      if (difference.address == address && difference.after && !NotRestoredByWrite(address)) {
        writes.push_back(&difference);
      }
    }
  }
  if (writes.empty()) return action.tally();

  // The DAC is muted for the restore and its control register written last: to the snapshot's
  // value when it differs, else back to what it held. A DAC that cannot be muted (or whose
  // control register cannot be read) is not restored under: nothing more is written.
  const AccessResult muted = link.Modify(reg::CHIP_ADCDAC_CTRL_REG, field::WriteDacMute.keepMask(), kDacMuted);
  if (!muted.ok() || !muted.value) return action.tally();
  std::uint16_t dacControl = *muted.value;
  for (const RegisterDifference* difference : writes) {
    if (difference->address == reg::CHIP_ADCDAC_CTRL_REG) {
      dacControl = *difference->after;
      continue;
    }
    link.Write(difference->address, *difference->after);
  }
  link.Write(reg::CHIP_ADCDAC_CTRL_REG, dacControl);
  return action.tally();
}

}  // namespace tonvisor
