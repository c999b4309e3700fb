#include "cli_runner.h"

#include <algorithm>
#include <memory>
#include <ostream>

#include "backends/chip_connection.h"
#include "backends/usb_backends.h"
#include "codec/codec_operations.h"
#include "codec/operation_index.h"
#include "codec/peq_design.h"
#include "codec/register_map.h"
#include "command_line.h"
#include "link/device_link.h"
#include "link/user_action.h"
#include "link/typed_text.h"
#include "peq_command.h"
#include "tonvisor/version.h"
#include "snapshot_output.h"
#include "tools/script_file.h"
#include "tools/snapshot.h"

namespace tonvisor::cli {

namespace {

constexpr std::string_view kProgram = "tonvisor-cli: ";

class DiscardingMessenger final : public Messenger {
 public:
  void show(const Message&) override {}
  using Messenger::show;
};

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
  Session(const Options& options, const UsbBackend& backend, DeviceLink& link, StreamMessenger& messenger,
          std::ostream& out, std::ostream& err)
      : m_options(options),
        m_backend(backend),
        m_link(link),
        m_codec(link),
        m_messenger(messenger),
        m_out(out),
        m_err(err) {}

  // Connect, as the Initialization page does it.
  bool connect() {
    ChipConnection connection;
    connection.link = m_options.link == LinkKind::I2c   ? tonvisor::LinkKind::I2c
                      : m_options.link == LinkKind::Spi ? tonvisor::LinkKind::Spi
                                                        : tonvisor::LinkKind::Ethernet;
    connection.i2cAddress = m_options.i2cAddress;
    connection.i2cClockHz = m_options.i2cClockHz;
    connection.host = m_options.host;
    connection.port = m_options.port;
    if (ConnectChip(m_link, connection)) return true;
    if (m_options.link == LinkKind::I2c) noBridgeHint(m_link.i2c().openResult());
    if (m_options.link == LinkKind::Spi) noBridgeHint(m_link.spi().openResult());
    return false;
  }

  // Runs one command; false when it failed (and the user has been told why). A command is one
  // user action: each distinct message of the link is shown once.
  bool run(const Command& command) {
    const int messagesBefore = m_messenger.count();
    bool succeeded = false;
    std::string failures;
    {
      UserAction action(m_link);
      succeeded = dispatch(command);
      failures = action.failureSummary();
    }
    // A script run names its own failed writes, with their lines.
    if (!failures.empty() && command.kind != Command::Kind::Run) {
      m_err << kProgram << '"' << command.text << "\": " << failures << '\n';
    }
    // Every message the link shows reports something that did not happen.
    return succeeded && failures.empty() && m_messenger.count() == messagesBefore;
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

  void noBridgeHint(const BridgeResult& opened) {
    if (m_backend.name == "none") {
      m_err << kProgram << "USB cannot be used here: " << m_backend.note << "; --simulate talks to a simulated chip\n";
    } else if (opened.code == bridge::kDeviceNotFound) {
      m_err << kProgram << "without a bridge, --simulate talks to a simulated chip\n";
    }
  }

  // Reads one register; nothing when no value arrived (the reason is told after the command).
  std::optional<std::uint16_t> read(std::uint16_t address) { return m_link.Read(address).value; }

  bool dispatch(const Command& command) {
    switch (command.kind) {
      case Command::Kind::Read: {
        const auto value = read(command.address);
        if (m_options.json) {
          m_out << RegisterJson(command.address, value) << '\n';
        } else if (value) {
          m_out << FormatPrefixedHex4(*value) << '\n';
        }
        return value.has_value();
      }
      case Command::Kind::Write:
        return m_link.Write(command.address, command.value).ok();
      case Command::Kind::Modify:
        return m_link.Modify(command.address, command.keepMask, command.value).ok();
      case Command::Kind::Run:
        return RunScriptFile(m_link, command.path, {Owner::none(), {}, {}}).allWentThrough();
      case Command::Kind::Op: {
        std::string error;
        if (!CallOperationByName(m_codec, command.operation, command.arguments, error)) {
          m_err << kProgram << '"' << command.text << "\": " << error << '\n';
          return false;
        }
        return true;
      }
      case Command::Kind::Dump:
        return dump();
      case Command::Kind::Devices:
        break;  // listed before anything connects
      case Command::Kind::Snapshot:
        return snapshot(command);
      case Command::Kind::Diff:
        return diff(command);
      case Command::Kind::PeqLoad:
      case Command::Kind::PeqResponse:
        return peq(command);
      case Command::Kind::Show:
        return show(command);
    }
    return false;
  }

  bool snapshot(const Command& command) {
    const ReadAllResult all = ReadAllRegisters(m_link);
    // Saved also when some reads failed: the file says which registers are unknown.
    if (!WriteSnapshotFile(command.path, all.snapshot, LocalTimeText(), LinkDescription(m_link))) {
      m_err << kProgram << '"' << command.text << "\": cannot write " << command.path << '\n';
      return false;
    }
    return all.tally.allWentThrough();
  }

  // show: the chip as it is now; show A: the snapshot A. Every field by name and meaning.
  bool show(const Command& command) {
    if (!command.path.empty()) {
      std::string error;
      const std::optional<ChipSnapshot> saved = ReadSnapshotFile(command.path, error);
      if (!saved) {
        m_err << kProgram << '"' << command.text << "\": " << error << '\n';
        return false;
      }
      PrintFields(m_out, *saved, m_options.json);
      return true;
    }
    const ReadAllResult all = ReadAllRegisters(m_link);
    PrintFields(m_out, all.snapshot, m_options.json);
    return all.tally.allWentThrough();
  }

  // diff A: A against the chip as it is now; diff A B: A against B. True when they are equal.
  bool diff(const Command& command) {
    std::string error;
    const std::optional<ChipSnapshot> before = ReadSnapshotFile(command.path, error);
    if (!before) {
      m_err << kProgram << '"' << command.text << "\": " << error << '\n';
      return false;
    }
    std::optional<ChipSnapshot> after;
    bool readAll = true;
    if (command.secondPath.empty()) {
      ReadAllResult live = ReadAllRegisters(m_link);
      readAll = live.tally.allWentThrough();
      after = std::move(live.snapshot);
    } else {
      after = ReadSnapshotFile(command.secondPath, error);
      if (!after) {
        m_err << kProgram << '"' << command.text << "\": " << error << '\n';
        return false;
      }
    }
    const std::vector<RegisterDifference> differences = CompareSnapshots(*before, *after);
    PrintDifferences(m_out, differences, m_options.json);
    return readAll && differences.empty();
  }

  // The design was checked before the run; it is read again here as it is now.
  bool peq(const Command& command) {
    std::string error;
    int exitCode = kExitFailure;
    const std::optional<PeqPlan> plan = PlanPeqCommand(command, error, exitCode);
    if (!plan) {
      m_err << kProgram << '"' << command.text << "\": " << error << '\n';
      return false;
    }
    if (command.kind == Command::Kind::PeqResponse) {
      PrintPeqResponse(m_out, *plan, m_options.json || command.json);
      return true;
    }
    return LoadPeqDesign(m_codec, plan->name, plan->table).allWentThrough();
  }

  bool dump() {
    std::size_t width = 0;
    for (const RegisterEntry& row : RegisterMap) width = std::max(width, row.name.size());
    bool allRead = true;
    if (m_options.json) m_out << "[";
    for (const RegisterEntry& row : RegisterMap) {
      const auto address = static_cast<std::uint16_t>(row.address);
      const auto value = read(address);
      if (m_options.json) {
        m_out << (address == RegisterMap.front().address ? "" : ", ") << RegisterJson(address, value);
      } else if (value) {
        m_out << row.name << std::string(width - row.name.size() + 2, ' ') << FormatPrefixedHex4(address) << "  "
              << FormatPrefixedHex4(*value) << '\n';
      }
      // One failed read ends the dump: over a dead link every further read would only wait
      // out its own time-out and say the same.
      if (!value) {
        allRead = false;
        break;
      }
    }
    if (m_options.json) m_out << "]\n";
    return allRead;
  }

  const Options& m_options;
  const UsbBackend& m_backend;
  DeviceLink& m_link;
  CodecOperations m_codec;
  StreamMessenger& m_messenger;
  std::ostream& m_out;
  std::ostream& m_err;
};

// `devices`: one line per bridge, "INDEX  SERIAL  DESCRIPTION", or why its strings could
// not be read.
int listDevices(const Environment& environment, std::ostream& out, std::ostream& err) {
  std::unique_ptr<ftdi::FtdiUsb> own;
  ftdi::FtdiUsb* usb = environment.usb;
  if (usb == nullptr) {
    own = ftdi::MakeLibFtdiUsb();
    usb = own.get();
  }
  std::vector<ftdi::DeviceInfo> devices;
  if (const ftdi::PortStatus listed = usb->list(devices); !listed.ok()) {
    err << kProgram << "the USB bus cannot be read: " << listed.text << '\n';
    return kExitFailure;
  }
  if (devices.empty()) {
    err << kProgram << "no USB bridge (FT2232H, 0403:6010) is plugged in\n";
    return kExitOk;
  }
  std::size_t width = 6;
  for (const ftdi::DeviceInfo& device : devices) width = std::max(width, device.serial.size());
  for (const ftdi::DeviceInfo& device : devices) {
    out << device.index << "  ";
    if (!device.problem.empty()) {
      out << "(" << device.problem << (device.problem.starts_with("no permission") ? ": see README, Hardware" : "")
          << ")\n";
      continue;
    }
    out << device.serial << std::string(width - device.serial.size() + 2, ' ') << device.description << '\n';
  }
  return kExitOk;
}

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
    // Called with nothing at all, the usage is what was asked for; after a mistake, the one
    // line that says what was wrong is what matters.
    err << kProgram << parsed.error << '\n';
    if (args.empty()) {
      err << '\n' << UsageText();
    } else {
      err << "Try 'tonvisor-cli --help'.\n";
    }
    return kExitUsage;
  }
  const Options& options = *parsed.options;
  // A design that cannot be made is found before the first command touches the chip.
  if (!options.help && !options.version) {
    for (const Command& command : options.commands) {
      if (command.kind != Command::Kind::PeqLoad && command.kind != Command::Kind::PeqResponse) continue;
      std::string error;
      int exitCode = kExitFailure;
      if (!PlanPeqCommand(command, error, exitCode)) {
        err << kProgram << '"' << command.text << "\": " << error << '\n';
        return exitCode;
      }
    }
  }
  if (options.help) {
    out << UsageText() << operationsText();
    return kExitOk;
  }
  if (options.version) {
    out << "tonvisor-cli " << kVersion << "\n";
    return kExitOk;
  }

  if (options.commands.front().kind == Command::Kind::Devices) return listDevices(environment, out, err);

  const UsbBackend backend =
      ChooseUsbBackend({options.simulate, options.device, environment.simulatedChip, environment.usb});
  StreamMessenger messenger(err);
  DeviceLink link(*backend.bridge, messenger, environment.ethernet);
  Session session(options, backend, link, messenger, out, err);

  // Two snapshot files are compared without the chip: no link is opened for them.
  const bool needsChip = std::any_of(options.commands.begin(), options.commands.end(), NeedsChip);
  if (needsChip && !session.connect()) return kExitFailure;
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
