#include "command_line.h"

#include "backends/chip_connection.h"
#include "codec/register_map.h"
#include "link/device_link.h"
#include "link/typed_text.h"

namespace tonvisor::cli {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string joined(std::span<const std::string> words) {
  std::string text;
  for (const std::string& word : words) {
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

// peq load FILE [--rate HZ], peq response FILE|PRESET [--rate HZ] [--at HZ,HZ,...]
// [--format text|json]; the options may also be written --rate=HZ.
bool parsePeq(std::span<const std::string> arguments, Command& command, std::string& error) {
  const bool response = !arguments.empty() && arguments[0] == "response";
  if (arguments.empty() || (arguments[0] != "load" && !response)) {
    error = "\"" + command.text + "\": expected peq load FILE or peq response FILE|PRESET";
    return false;
  }
  command.kind = response ? Command::Kind::PeqResponse : Command::Kind::PeqLoad;
  bool pathGiven = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    std::string word = arguments[i];
    std::optional<std::string> value;
    if (const auto equals = word.find('='); word.starts_with("--") && equals != std::string::npos) {
      value = word.substr(equals + 1);
      word.resize(equals);
    }
    const bool known = word == "--rate" || (response && (word == "--at" || word == "--format"));
    if (!known) {
      if (word.starts_with("--") || pathGiven) {
        error = "\"" + command.text + "\": unexpected \"" + arguments[i] + "\"";
        return false;
      }
      command.path = word;
      pathGiven = true;
      continue;
    }
    if (!value) {
      if (i + 1 == arguments.size()) {
        error = word + " needs a value";
        return false;
      }
      value = arguments[++i];
    }
    if (word == "--rate") {
      const NumberReading<double> rate = ReadFiniteNumber(*value);
      if (!rate.value || !(*rate.value > 0.0) || *rate.value > 1e6) {
        error = "--rate must be the sample rate in Hz (above 0, at most 1000000), not \"" + *value + "\"";
        return false;
      }
      command.rateHz = rate.value;
    } else if (word == "--format") {
      if (*value != "text" && *value != "json") {
        error = "--format must be text or json, not \"" + *value + "\"";
        return false;
      }
      command.json = *value == "json";
    } else {  // --at
      command.atHz.clear();
      std::string_view list = *value;
      while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view item = list.substr(0, comma);
        const NumberReading<double> hz = ReadFiniteNumber(item);
        if (!hz.value || !(*hz.value > 0.0)) {
          error = "--at takes frequencies in Hz above 0, separated by commas, not \"" + *value + "\"";
          return false;
        }
        command.atHz.push_back(*hz.value);
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
      }
    }
  }
  if (!pathGiven) {
    error = "\"" + command.text + "\": expected " +
            (response ? "peq response FILE|PRESET [--rate HZ] [--at HZ,HZ,...] [--format json]"
                      : "peq load FILE [--rate HZ]");
    return false;
  }
  return true;
}

// Checks one command and reads its numbers; the reason in error when it does not fit.
std::optional<Command> parseCommand(std::span<const std::string> words, std::string& error) {
  if (words.empty()) {
    error = "an empty command";
    return std::nullopt;
  }
  Command command;
  command.text = joined(words);
  const std::string& name = words[0];
  const auto arguments = words.subspan(1);

  auto expect = [&](std::size_t count, std::string_view form) {
    if (arguments.size() == count) return true;
    error = "\"" + command.text + "\": expected " + std::string(form);
    return false;
  };
  auto registerAt = [&](std::size_t index) {
    const auto address = ParseRegister(arguments[index]);
    if (!address) {
      error = "\"" + arguments[index] + "\" is neither a register name nor a hexadecimal address";
    }
    return address;
  };
  auto hexAt = [&](std::size_t index) {
    const auto value = ReadStrictHex16(arguments[index]);
    if (!value) error = "\"" + arguments[index] + "\" is not a hexadecimal number from 0 to FFFF";
    return value;
  };

  if (name == "read") {
    command.kind = Command::Kind::Read;
    if (!expect(1, "read REG")) return std::nullopt;
    const auto address = registerAt(0);
    if (!address) return std::nullopt;
    command.address = *address;
  } else if (name == "write") {
    command.kind = Command::Kind::Write;
    if (!expect(2, "write REG VALUE")) return std::nullopt;
    const auto address = registerAt(0);
    if (!address) return std::nullopt;
    const auto value = hexAt(1);
    if (!value) return std::nullopt;
    command.address = *address;
    command.value = *value;
  } else if (name == "modify") {
    command.kind = Command::Kind::Modify;
    if (!expect(3, "modify REG KEEPMASK VALUE")) return std::nullopt;
    const auto address = registerAt(0);
    if (!address) return std::nullopt;
    const auto keepMask = hexAt(1);
    if (!keepMask) return std::nullopt;
    const auto value = hexAt(2);
    if (!value) return std::nullopt;
    command.address = *address;
    command.keepMask = *keepMask;
    command.value = *value;
  } else if (name == "run") {
    command.kind = Command::Kind::Run;
    if (!expect(1, "run SCRIPT")) return std::nullopt;
    command.path = arguments[0];
  } else if (name == "op") {
    command.kind = Command::Kind::Op;
    if (arguments.empty()) {
      error = "\"op\": expected op NAME [ARG...]";
      return std::nullopt;
    }
    command.operation = arguments[0];
    command.arguments.assign(arguments.begin() + 1, arguments.end());
  } else if (name == "dump") {
    command.kind = Command::Kind::Dump;
    if (!expect(0, "dump with no arguments")) return std::nullopt;
  } else if (name == "devices") {
    command.kind = Command::Kind::Devices;
    if (!expect(0, "devices with no arguments")) return std::nullopt;
  } else if (name == "snapshot") {
    command.kind = Command::Kind::Snapshot;
    if (!expect(1, "snapshot FILE")) return std::nullopt;
    command.path = arguments[0];
  } else if (name == "diff") {
    command.kind = Command::Kind::Diff;
    if (arguments.size() != 1 && arguments.size() != 2) {
      error = "\"" + command.text + "\": expected diff SNAPSHOT (the chip against it) or diff SNAPSHOT SNAPSHOT";
      return std::nullopt;
    }
    command.path = arguments[0];
    if (arguments.size() == 2) command.secondPath = arguments[1];
  } else if (name == "show") {
    command.kind = Command::Kind::Show;
    if (arguments.size() > 1) {
      error = "\"" + command.text + "\": expected show (the chip) or show SNAPSHOT";
      return std::nullopt;
    }
    if (arguments.size() == 1) command.path = arguments[0];
  } else if (name == "peq") {
    if (!parsePeq(arguments, command, error)) return std::nullopt;
  } else {
    error = "unknown command \"" + name + "\"";
    return std::nullopt;
  }
  return command;
}

}  // namespace

bool NeedsChip(const Command& command) {
  if (command.kind == Command::Kind::PeqResponse) return false;
  if (command.kind == Command::Kind::Show) return command.path.empty();
  return !(command.kind == Command::Kind::Diff && !command.secondPath.empty());
}

std::optional<std::uint16_t> ParseRegister(std::string_view text) {
  if (const auto address = LookupRegisterAddress(text)) return address;
  return ReadStrictHex16(text);
}

std::optional<std::vector<std::string>> SplitCommandText(std::string_view text, std::string& error) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (true) {
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i == text.size()) break;
    std::string word;
    while (i < text.size() && !isBlank(text[i])) {
      const char c = text[i++];
      if (c != '"' && c != '\'') {
        word += c;
        continue;
      }
      const std::size_t close = text.find(c, i);
      if (close == std::string_view::npos) {
        error = "unterminated quote in \"" + std::string(text) + "\"";
        return std::nullopt;
      }
      word.append(text.substr(i, close - i));
      i = close + 1;
    }
    words.push_back(std::move(word));
  }
  return words;
}

ParseOutcome ParseCommandLine(std::span<const std::string> args) {
  ParseOutcome outcome;
  Options options;
  std::string& error = outcome.error;
  std::vector<Command> firstCommands;

  std::size_t i = 0;
  // An option's value: the next word, or what follows "=" in "--option=value".
  auto valueOf = [&](const std::string& option, std::optional<std::string> inlineValue) -> std::optional<std::string> {
    if (inlineValue) return inlineValue;
    if (i + 1 >= args.size()) {
      error = option + " needs a value";
      return std::nullopt;
    }
    return args[++i];
  };

  for (; i < args.size(); ++i) {
    std::string word = args[i];
    if (word.empty() || word[0] != '-') break;  // the command starts here
    std::optional<std::string> inlineValue;
    if (word.starts_with("--")) {
      if (const auto equals = word.find('='); equals != std::string::npos) {
        inlineValue = word.substr(equals + 1);
        word.resize(equals);
      }
    }
    const bool takesValue =
        word == "--link" || word == "--i2c-address" || word == "--host" || word == "--port" || word == "--save-log" ||
        word == "--device" || word == "--i2c-clock" || word == "--format" || word == "-c";
    if (!takesValue && inlineValue) {
      error = word + " takes no value";
      return outcome;
    }

    if (word == "-h" || word == "--help") {
      options.help = true;
    } else if (word == "--version") {
      options.version = true;
    } else if (word == "--simulate") {
      options.simulate = true;
    } else if (word == "--names") {
      options.names = true;
    } else if (!takesValue) {
      error = "unknown option " + word;
      return outcome;
    } else {
      const auto value = valueOf(word, inlineValue);
      if (!value) return outcome;
      if (word == "--link") {
        if (EqualsIgnoringCase(*value, "i2c")) {
          options.link = LinkKind::I2c;
        } else if (EqualsIgnoringCase(*value, "spi")) {
          options.link = LinkKind::Spi;
        } else if (EqualsIgnoringCase(*value, "ethernet")) {
          options.link = LinkKind::Ethernet;
        } else {
          error = "--link must be i2c, spi or ethernet, not \"" + *value + "\"";
          return outcome;
        }
      } else if (word == "--i2c-address") {
        const auto address = ReadStrictHex16(*value);
        if (!address || *address > kMaxI2cDeviceAddress) {
          error = "--i2c-address must be a hexadecimal 7-bit address (0 to 7F), not \"" + *value + "\"";
          return outcome;
        }
        options.i2cAddress = *address;
      } else if (word == "--host") {
        if (!ReadDottedIpv4(*value)) {
          error = "--host must be a dotted IPv4 address, not \"" + *value + "\"";
          return outcome;
        }
        options.host = *value;
      } else if (word == "--port") {
        const auto port = ReadPort(*value);
        if (!port) {
          error = "--port must be a whole number from 0 to 65535, not \"" + *value + "\"";
          return outcome;
        }
        options.port = *port;
      } else if (word == "--device") {
        if (value->empty()) {
          error = "--device needs a bridge's serial or index (tonvisor-cli devices lists them)";
          return outcome;
        }
        options.device = *value;
      } else if (word == "--i2c-clock") {
        const NumberReading<int> kilohertz = ReadDecimalInt(*value);
        if (!kilohertz.value || !IsI2cClockKhz(*kilohertz.value)) {
          error = "--i2c-clock must be 100 or 400 (kHz), not \"" + *value + "\"";
          return outcome;
        }
        options.i2cClockHz = static_cast<std::uint32_t>(*kilohertz.value) * 1000;
      } else if (word == "--format") {
        if (*value != "text" && *value != "json") {
          error = "--format must be text or json, not \"" + *value + "\"";
          return outcome;
        }
        options.json = *value == "json";
      } else if (word == "--save-log") {
        if (value->empty()) {
          error = "--save-log needs a file name";
          return outcome;
        }
        options.saveLog = *value;
      } else {  // -c
        const auto words = SplitCommandText(*value, error);
        if (!words) return outcome;
        const auto command = parseCommand(*words, error);
        if (!command) return outcome;
        firstCommands.push_back(*command);
      }
    }
  }

  options.commands = std::move(firstCommands);
  if (i < args.size()) {
    const auto command = parseCommand(args.subspan(i), error);
    if (!command) return outcome;
    options.commands.push_back(*command);
  }

  if (options.help || options.version) {
    outcome.options = std::move(options);
    return outcome;
  }
  if (options.names && !options.saveLog) {
    error = "--names goes with --save-log";
    return outcome;
  }
  if (options.commands.empty()) {
    error = "no command given";
    return outcome;
  }
  if (options.device && options.simulate) {
    error = "--device names a USB bridge; --simulate uses none";
    return outcome;
  }
  for (const Command& command : options.commands) {
    if (command.kind == Command::Kind::Devices && options.commands.size() > 1) {
      error = "devices lists the USB bridges and goes alone, without other commands";
      return outcome;
    }
  }
  outcome.options = std::move(options);
  return outcome;
}

std::string UsageText() {
  return R"(Usage: tonvisor-cli [OPTIONS] COMMAND [ARG...]
       tonvisor-cli [OPTIONS] -c "COMMAND ARG..." [-c "COMMAND ARG..." ...]

Reads and writes the registers of a KRVL7300 codec over I2C or SPI through the USB bridge,
or through a register board on the network.

Options:
  --link i2c|spi|ethernet    the link to the chip (default i2c)
  --i2c-address HEX          the codec's 7-bit I2C device address (default A)
  --i2c-clock 100|400        the I2C clock in kHz (default 100)
  --device SERIAL|INDEX      the USB bridge to use, as `devices` lists it (default: the first)
  --host IPV4                the board's address (ethernet; required)
  --port N                   the board's TCP port (ethernet; default 30)
  --simulate                 talk to a simulated chip instead of the USB bridge
  --save-log FILE            after the commands, save the write log as a script
  --names                    save register writes with names instead of addresses
  --format text|json         how read, dump, diff, show and peq response print (default text)
  -c "COMMAND ARG..."        a command; give -c several times to run several in order
  -h, --help                 show this help
  --version                  print the program's version

Commands:
  read REG                   print the register's value as 0xNNNN
  write REG VALUE            write a register
  modify REG KEEPMASK VALUE  read-modify-write: the bits set in KEEPMASK keep their value
  run SCRIPT                 run a script file (comment and write lines)
  op NAME [ARG...]           run a codec operation by name, with decimal arguments (each
                             within the codes of its field, e.g. 0 to 127 for a volume)
  dump                       read every named register; print name, address and value
  devices                    list the USB bridges (FT2232H) plugged in: index, serial, description
  snapshot FILE              read every named register and save them as a script that,
                             run, puts the chip back as it is now
  diff SNAPSHOT              compare the chip with a snapshot, field by field
  diff SNAPSHOT SNAPSHOT     compare two snapshots (the chip is not used)
  show                       read every named register; print each field by name and meaning
                             (ConfigureSampleRate = 48 kHz)
  show SNAPSHOT              the same for a snapshot file (the chip is not used)
  peq load FILE [--rate HZ]  load a parametric-EQ design file into the chip's seven bands;
                             a file without a rate line needs the chip's rate in --rate
  peq response FILE|PRESET [--rate HZ] [--at HZ,HZ,...] [--format json]
                             print "HZ DB" for a design or a preset (Flat, Rock, Classical,
                             Dance, Acoustic; at 48000 Hz unless --rate) as the chip's
                             coefficients make it: every 1/12 octave from 20 Hz to half the
                             rate, or at the frequencies given (the chip is not used)

REG is a register name (CHIP_ANA_CTRL_REG) or a hexadecimal address (0x24 or 24); VALUE
and KEEPMASK are hexadecimal, with or without 0x.

Commands run in order and stop at the first one that fails; --save-log saves the log
all the same. Messages from the chip link go to standard error.
Exit status: 0 every command succeeded (and diff found no difference), 1 the connection, an
access, a command or the log file failed (or diff found differences), 2 the command line was
wrong (nothing was done).
)";
}

}  // namespace tonvisor::cli
