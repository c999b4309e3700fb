#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/codec_fields.h"
#include "link/access.h"
#include "link/device_link.h"

namespace tonvisor {

// One named register as it was read: no value when the read brought none (it is unknown, never
// taken for 0).
struct RegisterReading {
  std::uint16_t address = 0;
  std::string_view name;
  std::optional<std::uint16_t> value;
};

// The chip's named registers at one moment, in the register map's order.
struct ChipSnapshot {
  std::vector<RegisterReading> registers;

  const RegisterReading* find(std::uint16_t address) const;
};

// Every named register with nothing known about it yet.
ChipSnapshot UnknownChip();

// The local time as a snapshot's first line gives it: "2026-12-07 10:42:05".
std::string LocalTimeText();

struct ReadAllResult {
  ChipSnapshot snapshot;
  AccessTally tally;
  bool cancelled = false;  // progress asked to stop; the registers not reached are unknown
};

// Reads every named register on the selected link as one user action (each distinct message
// once). progress is told after each read how many of how many are done; returning false
// stops the reading there.
ReadAllResult ReadAllRegisters(DeviceLink& link,
                               const std::function<bool(std::size_t done, std::size_t total)>& progress = {});

// How the link reached the chip, for a snapshot's first line: "I2C at device address 0x0A",
// "SPI", "Ethernet through the board at 127.0.0.1:30".
std::string LinkDescription(const DeviceLink& link);

// The named registers in the order a chip is brought up and restored in: power, clocks, I2S
// and routing, analog blocks and converters, audio processor (read-only ones last).
std::span<const std::uint16_t> RestoreOrder();

// A snapshot as a script that, run, puts the chip back as it was read: a comment naming the
// time and link, one write per register (by name) in the restore order, the DAC muted by the
// first write and its control register written back last, and as comments the registers a
// write does not restore ("# not restored: CHIP_ID_REG = 0xA011 (read-only)") and those that
// could not be read ("# not read: CHIP_ANA_STATUS_REG").
std::string RenderSnapshot(const ChipSnapshot& snapshot, std::string_view when, std::string_view link);
// False when the file cannot be created or written whole; an old file is then left as it was.
bool WriteSnapshotFile(const std::string& path, const ChipSnapshot& snapshot, std::string_view when,
                       std::string_view link);

// Reads a snapshot back: its write lines and its "not restored" lines give values, every other
// named register is unknown. Nothing, with the reason in error, when the file cannot be read or
// names a register the map does not know.
std::optional<ChipSnapshot> ReadSnapshotFile(const std::string& path, std::string& error);

// A field of a register as the codec's field table has it; operations that set the same bits
// are one field ("WriteGeq0Volume/WriteToneBass").
struct RegisterField {
  std::string name;
  const CodecField* field = nullptr;  // the first operation that sets these bits
  std::uint16_t mask = 0;
  int highBit = 0;
  int lowBit = 0;

  std::uint16_t valueIn(std::uint16_t registerValue) const {
    return static_cast<std::uint16_t>((registerValue & mask) >> lowBit);
  }
};
std::vector<RegisterField> RegisterFields(std::uint16_t address);

// One field of a register whose value differs, from the codec's field table; bits no field
// covers are reported together as "other bits".
struct FieldDifference {
  std::string name;  // the operation that sets the field (several sharing the bits: "A/B")
  int highBit = 0;
  int lowBit = 0;
  std::optional<std::uint16_t> before;  // the field's value, shifted down to bit 0
  std::optional<std::uint16_t> after;
};

struct RegisterDifference {
  std::uint16_t address = 0;
  std::string_view name;
  std::optional<std::uint16_t> before;
  std::optional<std::uint16_t> after;
  std::vector<FieldDifference> fields;
};

// The registers whose values differ (a value known on one side only counts as different), in
// the register map's order, each with the fields that differ.
std::vector<RegisterDifference> CompareSnapshots(const ChipSnapshot& before, const ChipSnapshot& after);

// Writes the registers that differ back to their snapshot value (the restorable ones with a
// known value), after one comment naming the snapshot, in the restore order with the DAC
// muted first and its control register written last. When the DAC cannot be muted nothing is
// written. One user action.
AccessTally WriteDifferences(DeviceLink& link, const std::vector<RegisterDifference>& differences,
                             std::string_view snapshotName);

}  // namespace tonvisor
