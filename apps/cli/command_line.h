#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_settings.h"

namespace tonvisor::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // an access, the connection or a file failed
inline constexpr int kExitUsage = 2;    // the command line was wrong; nothing was done

enum class LinkKind { I2c, Spi, Ethernet };

// One command, checked and with its numbers already read.
struct Command {
  enum class Kind { Read, Write, Modify, Run, Op, Dump, Devices, Snapshot, Diff, PeqLoad, PeqResponse, Show };
  Kind kind = Kind::Read;
  std::string text;  // the command as the user gave it, for messages
  std::uint16_t address = 0;
  std::uint16_t keepMask = 0;
  std::uint16_t value = 0;
  std::string path;                    // run: the script; snapshot: the file; diff, show: the snapshot;
                                       // peq: the design file (or, for response, a preset)
  std::string secondPath;              // diff A B: the snapshot compared with path (no chip)
  std::string operation;               // op: the operation's name
  std::vector<std::string> arguments;  // op: its decimal arguments, as given
  std::optional<double> rateHz;        // peq --rate: the chip's sample rate
  std::vector<double> atHz;            // peq response --at: the frequencies asked for
  bool json = false;                   // peq response --format json
};

struct Options {
  LinkKind link = LinkKind::I2c;
  std::uint16_t i2cAddress = 0x0A;
  std::optional<std::string> host;  // missing is told at connect time, as the panel does
  std::uint32_t port = 30;
  bool simulate = false;
  std::optional<std::string> device;     // --device: a bridge's serial or index
  std::uint32_t i2cClockHz = kI2cStandardClockHz;  // --i2c-clock
  std::optional<std::string> saveLog;
  bool names = false;
  bool json = false;  // --format json: read, dump and diff print JSON
  bool help = false;
  bool version = false;  // --version: print the program's name and version, nothing else
  std::vector<Command> commands;
};

// Whether a command needs the chip (every one but diff of two snapshot files, show of a snapshot
// file and peq response).
bool NeedsChip(const Command& command);

struct ParseOutcome {
  std::optional<Options> options;  // nothing: a usage error, told in error
  std::string error;
};

// Reads the arguments that follow the program name. Options come first; the first word that
// is not an option starts a command that takes every word after it (so "op
// ConfigureDacVolume -0.5017" keeps its negative argument). Commands given with -c run first,
// in their order, then that one.
ParseOutcome ParseCommandLine(std::span<const std::string> args);

// Splits the text of a -c command at blanks; single or double quotes keep blanks inside one
// word. Nothing (with the reason in error) for an unterminated quote.
std::optional<std::vector<std::string>> SplitCommandText(std::string_view text, std::string& error);

// A register-map name (exact) or a hexadecimal address (0 to FFFF, 0x optional, nothing else).
std::optional<std::uint16_t> ParseRegister(std::string_view text);

std::string UsageText();

}  // namespace tonvisor::cli
