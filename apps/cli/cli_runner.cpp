#include "cli_runner.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <ostream>

#include "codec/codec_operations.h"
#include "codec/operation_index.h"
#include "codec/register_map.h"
#include "command_line.h"
#include "link/device_link.h"
#include "sim/simulated_bridge.h"
#include "tonvisor/version.h"
#include "tools/script_file.h"

namespace tonvisor::cli {

namespace {

constexpr std::string_view kProgram = "tonvisor-cli: ";

class DiscardingMessenger final : public Messenger {
 public:
  void show(const Message&) override {}
  using Messenger::show;
};

std::string hex4(std::uint16_t value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%04X", static_cast<unsigned>(value));
  return buffer;
}

// Tries every op command on a link with no connection type, which reaches no chip and tells
// nobody anything, so that an unknown name or arguments that do not fit are found before the
// first command touches the chip.
std::optional<std::string> checkOperations(const std::vector<Command>& commands) {
  const auto bridge = MakeAbsentBridge();
  DiscardingMessenger quiet;
  DeviceLink nowhere(*bridge, quiet);
  nowhere.settings().connectionType.clear();
  CodecOperations codec(nowhere);
  for (const Command& command : commands) {
    if (command.kind != Command::Kind::Op) continue;
    std::string error;
    if (!CallOperationByName(codec, command.operation, command.arguments, error)) {
      return "\"" + command.text + "\": " + error;
    }
  }
  return std::nullopt;
}

std::string operationsText() {
  std::string text = "\nOperations (op NAME ARG...):\n";
  for (const OperationInfo& info : ListOperations()) {
    text += "  ";
    text += info.name;
    if (!info.arguments.empty()) {
      text += ' ';
      text += info.arguments;
    }
    text += '\n';
  }
  return text;
}

class Session {
 public:
  Session(const Options& options, DeviceLink& link, StreamMessenger& messenger, std::ostream& out, std::ostream& err)
      : m_options(options), m_link(link), m_codec(link), m_messenger(messenger), m_out(out), m_err(err) {}

  // What Connect does on the Initialization page: empty the log, then open the link or
  // check and store the board's address and port.
  bool connect() {
    m_link.writeLog().clear();
    LinkSettings& settings = m_link.settings();
    switch (m_options.link) {
      case LinkKind::I2c:
        settings.connectionType = "I2C";
        if (m_link.i2c().I2cOpen(m_options.i2cAddress) != status::kOk) {
          tell("I2C Initialization Error");
          noBridgeHint();
          return false;
        }
        return true;
      case LinkKind::Spi:
        settings.connectionType = "SPI";
        if (m_link.spi().SpiOpen() != status::kOk) {
          tell("SPI Initialization Error");
          noBridgeHint();
          return false;
        }
        return true;
      case LinkKind::Ethernet: {
        settings.connectionType = "Ethernet";
        settings.ethernetAddress = m_options.host.value_or("");
        settings.ethernetPort = m_options.port;
        in_addr address{};
        if (!m_options.host || inet_pton(AF_INET, m_options.host->c_str(), &address) != 1 || address.s_addr == 0) {
          tell(" Invalid IP Address ");
          return false;
        }
        if (m_options.port == 0) {
          tell(" Invalid Socket ");
          return false;
        }
        return true;
      }
    }
    return false;
  }

  // Runs one command; false when it failed (and the user has been told why).
  bool run(const Command& command) {
    const int messagesBefore = m_messenger.count();
    const bool succeeded = dispatch(command);
    // Every message the link shows reports something that did not happen.
    return succeeded && m_messenger.count() == messagesBefore;
  }

  bool saveLog() {
    if (!m_options.saveLog) return true;
    RenderedLines lines;
    lines.render(m_link.writeLog(), 0, m_options.names ? WriteForm::Name : WriteForm::Address);
    if (!WriteScriptFile(*m_options.saveLog, lines)) {
      tell(" Error Creating File");
      return false;
    }
    return true;
  }

 private:
  void tell(std::string_view text) { m_messenger.show(text, kApplicationTitle, Owner::none()); }

  void noBridgeHint() {
    if (!m_options.simulate) {
      m_err << kProgram << "no USB bridge could be opened; --simulate talks to a simulated chip\n";
    }
  }

  bool failedWith(const Command& command, Status status) {
    m_err << kProgram << '"' << command.text << "\" failed with status " << status << '\n';
    return false;
  }

  // Reads one register; nothing when no value arrived (the reason has been told).
  std::optional<std::uint16_t> read(const Command& command, std::uint16_t address) {
    const int messagesBefore = m_messenger.count();
    std::uint16_t value = 0;
    const Status status = m_link.ReadRegister(address, &value);
    if (status != status::kOk) {
      failedWith(command, status);
      return std::nullopt;
    }
    // Over SPI and Ethernet a read that delivers nothing still returns 0; it says so in a
    // message instead.
    if (m_messenger.count() != messagesBefore) return std::nullopt;
    return value;
  }

  bool dispatch(const Command& command) {
    switch (command.kind) {
      case Command::Kind::Read: {
        const auto value = read(command, command.address);
        if (!value) return false;
        m_out << hex4(*value) << '\n';
        return true;
      }
      case Command::Kind::Write: {
        const Status status = m_link.WriteRegister(command.address, command.value);
        return status == status::kOk || failedWith(command, status);
      }
      case Command::Kind::Modify: {
        const Status status = m_link.ModifyRegister(command.address, command.keepMask, command.value);
        return status == status::kOk || failedWith(command, status);
      }
      case Command::Kind::Run:
        return RunScriptFile(m_link, command.path, {Owner::none(), {}}).opened;
      case Command::Kind::Op: {
        std::string error;
        const auto status = CallOperationByName(m_codec, command.operation, command.arguments, error);
        if (!status) {
          m_err << kProgram << '"' << command.text << "\": " << error << '\n';
          return false;
        }
        return *status == status::kOk || failedWith(command, *status);
      }
      case Command::Kind::Dump:
        return dump(command);
    }
    return false;
  }

  bool dump(const Command& command) {
    std::size_t width = 0;
    for (const RegisterEntry& row : RegisterMap) width = std::max(width, row.name.size());
    for (const RegisterEntry& row : RegisterMap) {
      const auto address = static_cast<std::uint16_t>(row.address);
      // One failed read ends the dump: over a dead link every further read would only wait
      // out its own time-out and say the same.
      const auto value = read(command, address);
      if (!value) return false;
      m_out << row.name << std::string(width - row.name.size() + 2, ' ') << hex4(address) << "  " << hex4(*value)
            << '\n';
    }
    return true;
  }

  const Options& m_options;
  DeviceLink& m_link;
  CodecOperations m_codec;
  StreamMessenger& m_messenger;
  std::ostream& m_out;
  std::ostream& m_err;
};

}  // namespace

int RunCli(std::span<const std::string> args, std::ostream& out, std::ostream& err, const Environment& environment) {
  ParseOutcome parsed = ParseCommandLine(args);
  if (parsed.options && !parsed.options->help && !parsed.options->version) {
    if (const auto error = checkOperations(parsed.options->commands)) {
      parsed.options.reset();
      parsed.error = *error;
    }
  }
  if (!parsed.options) {
    err << kProgram << parsed.error << "\n\n" << UsageText();
    return kExitUsage;
  }
  const Options& options = *parsed.options;
  if (options.help) {
    out << UsageText() << operationsText();
    return kExitOk;
  }
  if (options.version) {
    out << "tonvisor-cli " << kVersion << "\n";
    return kExitOk;
  }

  std::unique_ptr<ChipModel> ownChip;
  std::unique_ptr<UsbBridge> bridge;
  if (options.simulate) {
    ChipModel* chip = environment.simulatedChip;
    if (chip == nullptr) {
      ownChip = std::make_unique<ChipModel>();
      chip = ownChip.get();
    }
    bridge = std::make_unique<SimulatedBridge>(*chip);
  } else {
    bridge = MakeAbsentBridge();
  }
  StreamMessenger messenger(err);
  DeviceLink link(*bridge, messenger, environment.ethernet);
  Session session(options, link, messenger, out, err);

  if (!session.connect()) return kExitFailure;
  bool succeeded = true;
  for (const Command& command : options.commands) {
    if (!session.run(command)) {
      succeeded = false;
      break;
    }
  }
  // The log is saved also after a failure: it shows how far the commands got.
  if (!session.saveLog()) succeeded = false;
  out.flush();
  return succeeded && messenger.count() == 0 ? kExitOk : kExitFailure;
}

}  // namespace tonvisor::cli
